// Replies that Windows should never give are refused rather than believed: text without its
// terminating zero, a Windows directory whose reported length holds a zero, and an NTFS size
// larger than the partition that holds it.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/inspect/fixed_text.h"
#include "app/inspect/inspect_layout.h"
#include "common/little_endian.h"
#include "sim/core/text.h"
#include "tests/inspect/expect_failure.h"
#include "tests/inspect/sim_pc.h"

namespace velta::testing {
namespace {

TEST(TerminatedText, StopsAtTheFirstZeroAndNeverReadsPastTheBuffer) {
    struct Case {
        const char* name;
        std::u16string buffer;  // exactly the buffer's characters
        std::optional<std::u16string> text;
    } cases[] = {
        {"zero first", std::u16string(u"\0abc", 4), u""},
        {"zero in the middle", std::u16string(u"C:\\\0junk", 8), u"C:\\"},
        {"zero in the last place", std::u16string(u"NTFS\0", 5), u"NTFS"},
        {"two zeros", std::u16string(u"ab\0\0", 4), u"ab"},
        {"no zero at all", u"NTFSNTFS", std::nullopt},
        {"empty buffer", u"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The characters after the buffer are not zero: a reader that runs on would see them.
        std::u16string storage = c.buffer + u"XYZ";
        storage.push_back(0);
        EXPECT_EQ(TerminatedText(storage.data(), c.buffer.size()), c.text);
    }
}

std::unique_ptr<SimPc> Standard() {
    auto pc = std::make_unique<SimPc>();
    pc->StandardGpt();
    return pc;
}

TEST(UntrustedReplies, WindowsDirectoryWithAZeroInsideItsLength) {
    const FailureCase cases[] = {
        {"zero after the drive", [](sim::Machine& m) { m.windowsDirectory = std::u16string(u"C:\\\0Windows", 11); },
         u"GetSystemWindowsDirectory", 13},
        {"zero at the end", [](sim::Machine& m) { m.windowsDirectory = std::u16string(u"C:\\Windows\0", 11); },
         u"GetSystemWindowsDirectory", 13},
    };
    for (const auto& c : cases) ExpectInspectionFails(c, Standard);
}

// FSCTL_GET_NTFS_VOLUME_DATA as a driver would answer it, for the volume at `mount`.
void NtfsReply(sim::Machine& m, const char16_t* mount, std::uint64_t totalClusters, std::uint32_t cluster) {
    std::vector<std::uint8_t> b(96, 0);
    velta::StoreLe64(b.data() + 16, totalClusters);
    velta::StoreLe64(b.data() + 24, totalClusters / 2);  // free clusters
    velta::StoreLe32(b.data() + 40, 512);
    velta::StoreLe32(b.data() + 44, cluster);
    m.storage.FindVolumeByMountPoint(mount)->ntfsDataReply = b;
}

constexpr std::uint64_t kWindowsLength = 60 * GiB;  // C: of the standard PC
constexpr std::uint64_t kDataLength = 40 * GiB;     // D:, right after it

TEST(UntrustedReplies, WindowsNtfsSizeLargerThanItsPartitionIsRefused) {
    const FailureCase cases[] = {
        {"one cluster more than the partition",
         [](sim::Machine& m) { NtfsReply(m, u"C:\\", kWindowsLength / 4096 + 1, 4096); }, u"NTFS geometry", 13},
        {"twice the partition", [](sim::Machine& m) { NtfsReply(m, u"C:\\", 2 * kWindowsLength / 65536, 65536); },
         u"NTFS geometry", 13},
    };
    for (const auto& c : cases) ExpectInspectionFails(c, Standard);

    // Exactly the partition is a real (if unusual) file system.
    auto pc = Standard();
    NtfsReply(pc->machine, u"C:\\", kWindowsLength / 4096, 4096);
    LayoutSnapshot s = InspectForDisplay();
    EXPECT_EQ(s.windowsVolumeBytes, kWindowsLength);
    EXPECT_EQ(s.status, ResizeStatus::RestartRequired) << sim::ToUtf8(s.detail);
}

TEST(UntrustedReplies, SourceNtfsSizeLargerThanItsPartitionIsRefused) {
    struct Case {
        const char* name;
        std::uint64_t totalClusters;
        bool refused;
    } cases[] = {
        {"one cluster more than the partition", kDataLength / 4096 + 1, true},
        {"exactly the partition", kDataLength / 4096, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto pc = Standard();
        NtfsReply(pc->machine, u"D:\\", c.totalClusters, 4096);
        LayoutSnapshot s = InspectForDisplay();
        if (c.refused) {
            ExpectBlankFailure(s, u"NTFS geometry");
        } else {
            EXPECT_EQ(s.status, ResizeStatus::RestartRequired) << sim::ToUtf8(s.detail);
            EXPECT_EQ(s.candidateTotalBytes, kDataLength);
            EXPECT_GT(s.shrinkable, 0u);
        }
        EXPECT_EQ(pc->machine.handles.OpenCount(), 0u);
        // Without analysis the source volume is not read, so nothing is refused.
        EXPECT_EQ(InspectLayout(false).snapshot.planKind, PlanKind::AdjacentData);
    }
}

}  // namespace
}  // namespace velta::testing
