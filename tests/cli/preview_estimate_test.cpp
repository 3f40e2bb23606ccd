// The --preview estimate adds the amount to the Windows volume's NTFS size only when that size
// is believable: an NTFS size larger than its partition ends in the refusal, never in a sum.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/little_endian.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"
#include "tests/inspect/sim_pc.h"
#include "tests/support/run_program.h"

namespace velta::testing {
namespace {

// A GPT disk of 64 GiB: C: (20 GiB from 1 MiB), then unallocated space to the usable end.
// The unallocated increase is 44 GiB - 2 MiB (45054 MiB): the gap, less the 33 sectors of the
// backup table, rounded down to whole MiB.
constexpr std::uint64_t kWindowsLength = 20 * GiB;
constexpr const char16_t* kAmount = u"45054";

void Build(SimPc& pc) {
    pc.GptDisk(0, 64 * GiB, {{MiB, kWindowsLength, sim::gpt_type::BasicData, PartGuid(1), 0, u""}});
    pc.NtfsVolume(0, 1, {u"C:\\"}, 5 * GiB, 1);
}

void NtfsReply(sim::Machine& m, std::uint64_t totalClusters) {
    std::vector<std::uint8_t> b(96, 0);
    velta::StoreLe64(b.data() + 16, totalClusters);
    velta::StoreLe64(b.data() + 24, totalClusters / 2);
    velta::StoreLe32(b.data() + 40, 512);
    velta::StoreLe32(b.data() + 44, 4096);
    m.storage.FindVolumeByMountPoint(u"C:\\")->ntfsDataReply = b;
}

std::string LastLine(const std::string& out) {
    std::size_t end = out.size() > 0 ? out.size() - 1 : 0;
    std::size_t start = out.rfind('\n', end == 0 ? 0 : end - 1);
    return start == std::string::npos ? out : out.substr(start + 1);
}

TEST(PreviewEstimate, OnlyABelievableNtfsSizeGivesAnEstimate) {
    const std::string refused = "This layout or amount cannot produce an applicable plan.\n";
    struct Case {
        const char* name;
        std::optional<std::uint64_t> totalClusters;  // none: the file system as on disk
        int exitCode;
        std::string lastLine;
    } cases[] = {
        // 20 GiB - 4 KiB of NTFS + 45054 MiB = 64 GiB - 2 MiB - 4 KiB, which rounds to 64 GB.
        {"NTFS as mkntfs leaves it", std::nullopt, 0, "Estimated capacity after resize  64 GB\n"},
        {"NTFS exactly as large as the partition", kWindowsLength / 4096, 0,
         "Estimated capacity after resize  64 GB\n"},
        {"NTFS one cluster larger than the partition", kWindowsLength / 4096 + 1, 2, refused},
        {"NTFS near 2^64 bytes", (~0ull / 4096) - 1, 2, refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        Build(pc);
        if (c.totalClusters) NtfsReply(pc.machine, *c.totalClusters);
        pc.machine.console.stdoutKind = sim::StdOutKind::File;
        auto run = RunVeltamoor(pc.machine, std::u16string(u"--preview ") + kAmount);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(LastLine(run.redirectedBytes), c.lastLine) << run.redirectedBytes;
        if (c.exitCode != 0)
            EXPECT_NE(run.redirectedBytes.find("The required Windows storage information could not be read."),
                      std::string::npos)
                << run.redirectedBytes;
        EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
    }
}

}  // namespace
}  // namespace velta::testing
