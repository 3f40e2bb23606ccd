#include <gtest/gtest.h>

#include <functional>

#include "app/inspect/inspect_layout.h"
#include "app/inspect/volume_mapping.h"
#include "platform/win/constants.h"
#include "sim/core/text.h"
#include "tests/inspect/sim_pc.h"

namespace velta::testing {
namespace {

std::u16string PathOf(std::uint8_t guid) {
    sim::Volume v;
    v.guid = VolGuid(guid);
    return v.GuidPath();
}

TEST(ReadNtfsFacts, SizesFromTheFileSystem) {
    struct Case {
        const char* name;
        std::u16string fileSystem;
        std::uint32_t cluster;
        bool ntfs;
    } cases[] = {
        {"4 KiB clusters", u"NTFS", 4096, true},
        {"64 KiB clusters", u"NTFS", 65536, true},
        {"name in lowercase", u"ntfs", 4096, true},
        {"FAT32", u"FAT32", 4096, false},
        {"ReFS", u"ReFS", 65536, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        pc.GptDisk(0, 64 * GiB, {{MiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(1), 0, u""}});
        sim::Volume& v = pc.NtfsVolume(0, 1, {u"C:\\"}, 3 * GiB + 1, 1, c.cluster);
        v.fileSystem = c.fileSystem;
        NtfsFacts f = ReadNtfsFacts(v.GuidPath(), 10 * GiB);
        EXPECT_EQ(f.isNtfs, c.ntfs);
        // The boot sector leaves one sector out; clusters round that down, used bytes round up.
        std::uint64_t total = (10 * GiB - 512) / c.cluster * c.cluster;
        std::uint64_t used = (3 * GiB + c.cluster) / c.cluster * c.cluster;
        EXPECT_EQ(f.totalBytes, c.ntfs ? total : 0);
        EXPECT_EQ(f.freeBytes, c.ntfs ? total - used : 0);
        EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
    }
}

TEST(ReadNtfsFacts, FatWindowsVolumeGivesZeroSizesWithoutAnError) {
    SimPc pc;
    pc.StandardGpt();
    pc.machine.storage.FindVolumeByMountPoint(u"C:\\")->fileSystem = u"FAT32";
    LayoutInspection r = InspectLayout(false);
    EXPECT_EQ(r.snapshot.windowsVolumeBytes, 0u);
    EXPECT_EQ(r.snapshot.windowsUsedBytes, 0u);
    EXPECT_EQ(r.snapshot.fingerprint.size(), 64u);
}

TEST(ReadNtfsFacts, WindowsVolumeFactsOfTheInspection) {
    SimPc pc;
    pc.StandardGpt();
    LayoutInspection r = InspectLayout(false);
    EXPECT_EQ(r.snapshot.windowsVolumeBytes, 60 * GiB - 4096);
    EXPECT_EQ(r.snapshot.windowsUsedBytes, 20 * GiB);
    EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
}

TEST(ParseVolumeGuid, TakesTheThirtyEightCharactersFromTheFirstBrace) {
    SimPc pc;
    struct Case {
        std::u16string text;
        bool ok;
    } cases[] = {
        {PathOf(7), true},
        {u"{7A1B2C3D-0001-11EF-9ABC-00155D000007}", true},
        {u"Volume{7a1b2c3d-0001-11ef-9abc-00155d000007}tail", true},
        {u"\\\\?\\Volume{7a1b2c3d-0001-11ef-9abc-00155d00000", false},  // 37 characters from the brace
        {u"7a1b2c3d-0001-11ef-9abc-00155d000007", false},
        {u"{bad}{7a1b2c3d-0001-11ef-9abc-00155d000007}", false},  // only the first brace is tried
        {u"{7a1b2c3d-0001-11ef-9abc-00155d00000g}", false},
        {u"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(sim::ToUtf8(c.text));
        win::GUID g{};
        EXPECT_EQ(ParseVolumeGuid(c.text, &g), c.ok);
        if (c.ok) {
            EXPECT_EQ(g, VolGuid(7));
        }
    }
}

struct CandidateResult {
    CandidatePass pass;
    LayoutInspection record;
};

// Probes the layout and runs the candidate pass on it.
CandidateResult Candidate() {
    ProbedLayout probe;
    probe.Run();
    CandidateResult out;
    out.pass = RunCandidatePass(probe.ctx);
    out.record = probe.record;
    return out;
}

TEST(CandidatePass, DataNeighbourWithItsVolume) {
    SimPc pc;
    pc.StandardGpt();
    auto c = Candidate();
    ASSERT_TRUE(c.pass.candidate);
    EXPECT_EQ(c.pass.candidate->number, 4u);
    EXPECT_EQ(c.pass.logicalCount, 0u);
    EXPECT_FALSE(c.pass.firstLogical);
    EXPECT_FALSE(c.pass.anyExtended);
    const LayoutSnapshot& s = c.record.snapshot;
    EXPECT_EQ(c.record.candidateVolumePath, PathOf(4));
    EXPECT_EQ(sim::ToUtf8(s.candidateVolumeName), "D:");
    EXPECT_EQ(sim::ToUtf8(s.candidateDrive), "D:");
    EXPECT_EQ(s.candidateTotalBytes, 40 * GiB - 4096);
    EXPECT_EQ(s.candidateFreeBytes, 30 * GiB - 4096);
    EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
}

TEST(CandidatePass, VolumeNamesAndBestEffortFailures) {
    struct Case {
        const char* name;
        std::function<void(sim::Machine&)> arrange;
        const char* volumeName;  // "guid" for the volume GUID path
        const char* drive;
        bool sizes;
        bool path;
    } cases[] = {
        {"no volume on the partition", [](sim::Machine& m) { m.storage.Volumes().pop_back(); }, "", "", false, false},
        {"only a folder mount point", [](sim::Machine& m) { m.storage.Volumes()[1].mountPoints = {u"C:\\Data\\"}; },
         "guid", "", true, true},
        {"no mount point", [](sim::Machine& m) { m.storage.Volumes()[1].mountPoints.clear(); }, "guid", "", true, true},
        {"drive root after a folder",
         [](sim::Machine& m) { m.storage.Volumes()[1].mountPoints = {u"C:\\Data\\", u"C:\\X\\", u"D:\\"}; }, "D:", "D:",
         true, true},
        {"two volumes on the partition",
         [](sim::Machine& m) {
             sim::Volume twin = m.storage.Volumes()[1];
             twin.guid = VolGuid(9);
             m.storage.AddVolume(twin);
         },
         "", "", false, false},
        {"a volume spanning the partition and more",
         [](sim::Machine& m) { m.storage.Volumes()[1].extents.push_back({1, 0, GiB}); }, "", "", false, false},
        {"volume enumeration fails", [](sim::Machine& m) { m.faults.Fail("FindFirstVolumeW", 1, 5); }, "", "", false, false},
        {"volume cannot be opened", [](sim::Machine& m) { m.faults.Fail("CreateFileW", 2, 5); }, "", "", false, false},
        {"mount point query fails", [](sim::Machine& m) { m.faults.Fail("GetVolumePathNamesForVolumeNameW", 1, 5); },
         "guid", "", true, true},
        {"free space query fails", [](sim::Machine& m) { m.faults.Fail("GetDiskFreeSpaceExW", 1, 21); }, "D:", "", false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        pc.StandardGpt();
        ProbedLayout probe;
        probe.Run();  // before the arranged faults, which count from here
        c.arrange(pc.machine);
        CandidatePass pass = RunCandidatePass(probe.ctx);
        ASSERT_TRUE(pass.candidate);
        const LayoutSnapshot& s = probe.record.snapshot;
        std::string expectedName = std::string(c.volumeName) == "guid" ? sim::ToUtf8(PathOf(4)) : c.volumeName;
        EXPECT_EQ(probe.record.candidateVolumePath, c.path ? PathOf(4) : u"");
        EXPECT_EQ(sim::ToUtf8(s.candidateVolumeName), expectedName);
        EXPECT_EQ(sim::ToUtf8(s.candidateDrive), c.drive);
        EXPECT_EQ(s.candidateTotalBytes != 0, c.sizes);
        EXPECT_EQ(s.candidateFreeBytes != 0, c.sizes);
        EXPECT_EQ(pc.machine.handles.OpenCount(), 2u);  // only the inspection's own volume and disk
    }
}

TEST(CandidatePass, ChoosesTheLowestDataOrLogicalStartAfterWindows) {
    struct Case {
        const char* name;
        std::function<void(SimPc&)> build;
        std::optional<std::uint32_t> candidate;
        std::uint32_t logicals;
        std::optional<std::uint32_t> firstLogical;
        bool anyExtended;
    } cases[] = {
        {"recovery between Windows and data",
         [](SimPc& pc) {
             pc.GptDisk(0, 64 * GiB,
                        {{MiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(1), 0, u""},
                         {30 * GiB, 5 * GiB, sim::gpt_type::BasicData, PartGuid(2), 0, u""},
                         {10 * GiB + MiB, 600 * MiB, sim::gpt_type::Recovery, PartGuid(3), 0, u""},
                         {20 * GiB, 5 * GiB, sim::gpt_type::BasicData, PartGuid(4), 0, u""}});
         },
         4, 0, std::nullopt, false},
        {"only a data partition before Windows",
         [](SimPc& pc) {
             pc.GptDisk(0, 64 * GiB,
                        {{20 * GiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(1), 0, u""},
                         {MiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(2), 0, u""}});
         },
         std::nullopt, 0, std::nullopt, false},
        {"logical partition after Windows",
         [](SimPc& pc) {
             pc.MbrDisk(0, 64 * GiB, {{MiB, 10 * GiB, 0x07}, {10 * GiB + MiB, 20 * GiB, 0x0f}},
                        {{10 * GiB + 2 * MiB, GiB, 0x07}, {11 * GiB + 3 * MiB, GiB, 0x27}});
         },
         2, 2, 2, true},
        {"empty container",
         [](SimPc& pc) { pc.MbrDisk(0, 64 * GiB, {{MiB, 10 * GiB, 0x07}, {10 * GiB + MiB, 20 * GiB, 0x05}}); },
         std::nullopt, 0, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        c.build(pc);
        pc.NtfsVolume(0, 1, {u"C:\\"}, GiB, 1);
        auto r = Candidate();
        EXPECT_EQ(r.pass.candidate ? std::optional<std::uint32_t>(r.pass.candidate->number) : std::nullopt, c.candidate);
        EXPECT_EQ(r.pass.logicalCount, c.logicals);
        EXPECT_EQ(r.pass.firstLogical ? std::optional<std::uint32_t>(r.pass.firstLogical->number) : std::nullopt,
                  c.firstLogical);
        EXPECT_EQ(r.pass.anyExtended, c.anyExtended);
        EXPECT_TRUE(r.record.candidateVolumePath.empty());  // no candidate volume here
    }
}

TEST(CandidatePass, NoWindowsPartitionMeansNoCandidate) {
    SimPc pc;
    pc.StandardGpt();
    ProbedLayout probe;
    probe.Run();
    probe.record.windowsEntry = PartitionEntry{};
    EXPECT_FALSE(RunCandidatePass(probe.ctx).candidate);
}

TEST(FindVolumeOnPartition, MatchesDiskStartAndLengthExactly) {
    SimPc pc;
    pc.StandardGpt();
    PartitionEntry d{117 * MiB + 60 * GiB, 40 * GiB, 4, PartitionKind::Data};
    EXPECT_EQ(FindVolumeOnPartition(0, d), PathOf(4));
    EXPECT_EQ(FindVolumeOnPartition(1, d), u"");
    PartitionEntry shorter = d;
    shorter.length -= MiB;
    EXPECT_EQ(FindVolumeOnPartition(0, shorter), u"");
    EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
}

}  // namespace
}  // namespace velta::testing
