#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/inspect/inspect_layout.h"
#include "platform/win/constants.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/core/text.h"
#include "tests/inspect/expect_failure.h"
#include "tests/inspect/sim_pc.h"

namespace velta::testing {
namespace {

namespace dl = win::drive_layout;
namespace pi = win::partition_info;

sim::Disk& Disk0(sim::Machine& m) { return *m.storage.FindDisk(0); }

// Replaces disk 0's layout reply with its real layout, changed by `patch`.
template <typename Patch>
void PatchLayout(sim::Machine& m, Patch patch) {
    auto bytes = sim::EncodeDriveLayout(Disk0(m).Table());
    patch(bytes);
    Disk0(m).layoutReply = bytes;
}

std::uint8_t* Entry(std::vector<std::uint8_t>& layout, std::size_t i) { return layout.data() + dl::kHeaderSize + i * pi::kSize; }

std::unique_ptr<SimPc> Gpt() {
    auto pc = std::make_unique<SimPc>();
    pc->StandardGpt();
    return pc;
}

std::unique_ptr<SimPc> Mbr() {
    auto pc = std::make_unique<SimPc>();
    pc->StandardMbr();
    return pc;
}

std::vector<std::u16string> Lines(const LayoutInspection& r) { return r.snapshot.partitionLines; }

std::vector<std::string> Utf8(const std::vector<std::u16string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(sim::ToUtf8(l));
    return out;
}

TEST(PartitionRules, GptFailures) {
    using sim::Machine;
    const FailureCase cases[] = {
        {"zero disk id", [](Machine& m) { PatchLayout(m, [](auto& b) { std::fill_n(b.data() + dl::GptDiskId, 16, 0); }); },
         u"GPT disk identity", 13},
        {"usable start 0", [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(b.data() + dl::GptStartingUsableOffset, 0); }); },
         u"GPT disk identity", 13},
        {"negative usable length",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(b.data() + dl::GptUsableLength, ~0ull); }); },
         u"GPT disk identity", 13},
        {"usable start at the disk end",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(b.data() + dl::GptStartingUsableOffset, 128 * GiB); }); },
         u"GPT usable range", 13},
        {"usable length past the disk end",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(b.data() + dl::GptUsableLength, 128 * GiB - 17408 + 512); }); },
         u"GPT usable range", 13},
        {"entry of MBR style", [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe32(Entry(b, 1) + pi::PartitionStyle, 0); }); },
         u"Partition extent", 13},
        {"entry starting at 0", [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(Entry(b, 4) + pi::StartingOffset, 0); }); },
         u"Partition extent", 13},
        {"entry of negative length",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(Entry(b, 0) + pi::PartitionLength, 1ull << 63); }); },
         u"Partition extent", 13},
        {"two entries on the Windows extent",
         [](Machine& m) {
             sim::WriteGpt(Disk0(m).bytes, 512, kDiskGuid,
                           {{117 * MiB, 60 * GiB, sim::gpt_type::BasicData, PartGuid(3), 0, u""},
                            {117 * MiB, 60 * GiB, sim::gpt_type::Recovery, PartGuid(4), 0, u""}});
         },
         u"Ambiguous Windows partition", 13},
        {"two entries on the Windows extent, the first numbered 0",
         [](Machine& m) {
             sim::WriteGpt(Disk0(m).bytes, 512, kDiskGuid,
                           {{117 * MiB, 60 * GiB, sim::gpt_type::BasicData, PartGuid(3), 0, u""},
                            {117 * MiB, 60 * GiB, sim::gpt_type::BasicData, PartGuid(4), 0, u""}});
             PatchLayout(m, [](auto& b) { velta::StoreLe32(Entry(b, 0) + pi::PartitionNumber, 0); });
         },
         u"Ambiguous Windows partition", 13},
        {"GUID text", [](Machine& m) { m.faults.Fail("StringFromGUID2", 1, 0); }, u"GUID", 13},
        {"GUID text of an entry", [](Machine& m) { m.faults.Fail("StringFromGUID2", 3, 0); }, u"GUID", 13},
    };
    for (const auto& c : cases) ExpectInspectionFails(c, Gpt);
}

TEST(PartitionRules, MbrFailures) {
    using sim::Machine;
    auto rewrite = [](Machine& m, std::vector<sim::MbrPartitionSpec> primaries, std::uint32_t signature = 0x1c2d3e4f) {
        sim::WriteMbr(Disk0(m).bytes, 512, signature, primaries, {});
    };
    const FailureCase cases[] = {
        {"blank disk", [](Machine& m) { Disk0(m).bytes.Zero(0, 512); }, u"GPT/MBR partition style", 13},
        {"style 3", [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe32(b.data() + dl::PartitionStyle, 3); }); },
         u"GPT/MBR partition style", 13},
        {"signature 0", [=](Machine& m) { rewrite(m, {{MiB, 500 * MiB, 0x07, true}, {501 * MiB, 30 * GiB, 0x07}}, 0); },
         u"MBR disk signature", 13},
        {"two extended partitions",
         [=](Machine& m) {
             rewrite(m, {{MiB, 500 * MiB, 0x07, true}, {501 * MiB, 30 * GiB, 0x07}, {501 * MiB + 30 * GiB, GiB, 0x0f},
                         {502 * MiB + 31 * GiB, GiB, 0x05}});
         },
         u"Multiple MBR extended partitions", 13},
        {"empty extended partition",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(Entry(b, 2) + pi::PartitionLength, 0); }); },
         u"MBR extended partition extent", 13},
        {"extended partition of GPT style",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe32(Entry(b, 2) + pi::PartitionStyle, 1); }); },
         u"MBR extended partition extent", 13},
        {"unused entry with a length",
         [=](Machine& m) { rewrite(m, {{MiB, 500 * MiB, 0x07, true}, {501 * MiB, 30 * GiB, 0x07}, {40 * GiB, MiB, 0x00}}); },
         u"Unused MBR partition entry", 13},
        {"logical entry at offset 0",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(Entry(b, 4) + pi::StartingOffset, 0); }); },
         u"Partition extent", 13},
        {"link reaching past the container",
         [](Machine& m) { PatchLayout(m, [](auto& b) { velta::StoreLe64(Entry(b, 5) + pi::PartitionLength, 11 * GiB); }); },
         u"MBR extended partition link extent", 13},
        {"link not sector aligned",
         [](Machine& m) {
             PatchLayout(m, [](auto& b) { velta::StoreLe64(Entry(b, 5) + pi::StartingOffset, velta::LoadLe64(Entry(b, 5) + 8) + 1); });
         },
         u"MBR extended partition link extent", 13},
        {"extended entry in slot 5 without a container",
         [](Machine& m) {
             PatchLayout(m, [](auto& b) {
                 Entry(b, 2)[pi::MbrPartitionType] = 0x07;  // the container becomes a plain partition
             });
         },
         u"MBR extended partition link extent", 13},
    };
    for (const auto& c : cases) ExpectInspectionFails(c, Mbr);
}

TEST(PartitionRules, GptEntriesGetTheirLinesKindsAndLists) {
    SimPc pc;
    pc.StandardGpt();
    ProbedLayout probe;
    probe.Run();
    const LayoutInspection& r = probe.record;
    EXPECT_TRUE(r.snapshot.isGpt);
    EXPECT_EQ(sim::ToUtf8(r.diskGuidText), "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
    EXPECT_EQ(r.mbrSignature, 0u);
    EXPECT_EQ(probe.ctx.usableStart, 34u * 512);
    EXPECT_EQ(probe.ctx.usableEnd, 128 * GiB - 33 * 512);
    EXPECT_EQ(Utf8(Lines(r)), (std::vector<std::string>{
        "#1 1048576 104857600 {C12A7328-F81F-11D2-BA4B-00A0C93EC93B} {0C0FFEE0-BEEF-4ABC-8DEF-012345678901} 9223372036854775808",
        "#2 105906176 16777216 {E3C9E316-0B5C-4DB8-817D-F92DF00215AE} {0C0FFEE0-BEEF-4ABC-8DEF-012345678902} 0",
        "#3 122683392 64424509440 {EBD0A0A2-B9E5-4433-87C0-68B6B72699C7} {0C0FFEE0-BEEF-4ABC-8DEF-012345678903} 0",
        "#4 64547192832 42949672960 {EBD0A0A2-B9E5-4433-87C0-68B6B72699C7} {0C0FFEE0-BEEF-4ABC-8DEF-012345678904} 0",
        "#5 107496865792 629145600 {DE94BBA4-06D1-4D40-A16A-BFD50179D6AC} {0C0FFEE0-BEEF-4ABC-8DEF-012345678905} 9223372036854775809",
    }));
    ASSERT_EQ(r.partitions.size(), 5u);
    const PartitionKind kinds[] = {PartitionKind::Other, PartitionKind::Other, PartitionKind::Data, PartitionKind::Data,
                                   PartitionKind::Other};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(r.partitions[i].kind, kinds[i]) << i;
    EXPECT_EQ(r.plainDataNumbers, (std::vector<std::uint32_t>{3, 4}));
    ASSERT_EQ(r.gptPartitionIds.size(), 5u);
    EXPECT_EQ(r.gptPartitionIds[4].number, 5u);
    EXPECT_EQ(r.gptPartitionIds[4].id, PartGuid(5));
    EXPECT_EQ(r.snapshot.windowsPartitionNumber, 3u);
    EXPECT_EQ(r.snapshot.windowsPartitionLength, 60 * GiB);
    EXPECT_EQ(r.windowsEntry, (PartitionEntry{117 * MiB, 60 * GiB, 3, PartitionKind::Data}));
    EXPECT_EQ(r.diskSize, 128 * GiB);
}

TEST(PartitionRules, MbrEntriesGetTheirLinesKindsAndLists) {
    SimPc pc;
    pc.StandardMbr();
    ProbedLayout probe;
    probe.Run();
    const LayoutInspection& r = probe.record;
    EXPECT_FALSE(r.snapshot.isGpt);
    EXPECT_EQ(r.mbrSignature, 0x1c2d3e4fu);
    EXPECT_TRUE(r.diskGuidText.empty());
    EXPECT_EQ(probe.ctx.usableStart, 512u);
    EXPECT_EQ(probe.ctx.usableEnd, 64 * GiB);
    EXPECT_EQ(Utf8(Lines(r)), (std::vector<std::string>{
        "#1 1048576 524288000 0x07",
        "#2 525336576 32212254720 0x07",
        "#0 32737591296 21474836480 0x0f [Extended]",
        "#3 32738639872 10737418240 0x07 [Logical]",
        "#0 43476058112 5369757696 0x05 [EBR link]",
        "#4 43477106688 5368709120 0x0c [Logical]",
    }));
    ASSERT_EQ(r.partitions.size(), 5u);  // the link is no partition
    EXPECT_EQ(r.partitions[2], (PartitionEntry{32737591296, 21474836480, 0, PartitionKind::Extended}));
    EXPECT_EQ(r.partitions[3].kind, PartitionKind::Logical);
    EXPECT_EQ(r.partitions[4].kind, PartitionKind::Logical);
    EXPECT_EQ(r.partitions[0].kind, PartitionKind::Data);
    // Partition 1 is active, partition 4 is FAT32.
    EXPECT_EQ(r.plainDataNumbers, (std::vector<std::uint32_t>{2, 3}));
    EXPECT_TRUE(r.gptPartitionIds.empty());
    EXPECT_EQ(r.windowsEntry, (PartitionEntry{501 * MiB, 30 * GiB, 2, PartitionKind::Data}));
}

struct KindCase {
    const char* name;
    std::vector<sim::MbrPartitionSpec> primaries;
    std::vector<sim::MbrPartitionSpec> logicals;
    std::vector<std::string> lines;
    std::vector<PartitionKind> kinds;
    std::vector<std::uint32_t> plainData;
};

TEST(PartitionRules, MbrClassificationTable) {
    const KindCase cases[] = {
        {"partition 2 first on disk",
         {{101 * MiB, 10 * GiB, 0x07}, {MiB, 100 * MiB, 0x07}},
         {},
         {"#1 105906176 10737418240 0x07", "#2 1048576 104857600 0x07"},
         {PartitionKind::Data, PartitionKind::Data},
         {1, 2}},
        {"dynamic and other types",
         {{MiB, 10 * GiB, 0x07}, {11 * GiB, GiB, 0x42}, {12 * GiB, GiB, 0x27}},
         {},
         {"#1 1048576 10737418240 0x07", "#2 11811160064 1073741824 0x42", "#3 12884901888 1073741824 0x27"},
         {PartitionKind::Data, PartitionKind::Dynamic, PartitionKind::Other},
         {1}},
        {"active logical NTFS and an 0x85 container",
         {{MiB, 10 * GiB, 0x07}, {11 * GiB, 4 * GiB, 0x85}},
         {{11 * GiB + MiB, GiB, 0x07, true}, {12 * GiB + 2 * MiB, GiB, 0x07}},
         {"#1 1048576 10737418240 0x07", "#0 11811160064 4294967296 0x85 [Extended]",
          "#2 11812208640 1073741824 0x07 [Logical]", "#0 12885950464 1074790400 0x05 [EBR link]",
          "#3 12886999040 1073741824 0x07 [Logical]"},
         {PartitionKind::Data, PartitionKind::Extended, PartitionKind::Logical, PartitionKind::Logical},
         {1, 3}},
        // Only the EBR chain (layout index 4 on) describes logical partitions; a primary slot
        // that points into the container is still a primary entry.
        {"a primary slot inside the extended container",
         {{MiB, 10 * GiB, 0x07}, {11 * GiB, 20 * GiB, 0x0f}, {12 * GiB, GiB, 0x07}},
         {{11 * GiB + MiB, 500 * MiB, 0x07}},
         {"#1 1048576 10737418240 0x07", "#0 11811160064 21474836480 0x0f [Extended]",
          "#2 12884901888 1073741824 0x07", "#3 11812208640 524288000 0x07 [Logical]"},
         {PartitionKind::Data, PartitionKind::Extended, PartitionKind::Data, PartitionKind::Logical},
         {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        pc.MbrDisk(0, 64 * GiB, c.primaries, c.logicals);
        pc.NtfsVolume(0, 1, {u"C:\\"}, GiB, 1);
        ProbedLayout probe;
        probe.Run();
        EXPECT_EQ(Utf8(Lines(probe.record)), c.lines);
        std::vector<PartitionKind> kinds;
        for (const auto& p : probe.record.partitions) kinds.push_back(p.kind);
        EXPECT_EQ(kinds, c.kinds);
        EXPECT_EQ(probe.record.plainDataNumbers, c.plainData);
    }
}

TEST(PartitionRules, GptClassificationOfDataAttributesAndLdm) {
    SimPc pc;
    pc.GptDisk(0, 64 * GiB,
               {{MiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(1), 0, u""},
                {11 * GiB, GiB, sim::gpt_type::BasicData, PartGuid(2), 0x8000000000000001ull, u""},
                {12 * GiB, MiB, sim::gpt_type::LdmMetadata, PartGuid(3), 0, u""},
                {13 * GiB, GiB, sim::gpt_type::LdmData, PartGuid(4), 0, u""}});
    pc.NtfsVolume(0, 1, {u"C:\\"}, GiB, 1);
    ProbedLayout probe;
    probe.Run();
    std::vector<PartitionKind> kinds;
    for (const auto& p : probe.record.partitions) kinds.push_back(p.kind);
    EXPECT_EQ(kinds, (std::vector<PartitionKind>{PartitionKind::Data, PartitionKind::Data, PartitionKind::Dynamic,
                                                 PartitionKind::Dynamic}));
    EXPECT_EQ(probe.record.plainDataNumbers, (std::vector<std::uint32_t>{1}));
}

TEST(PartitionRules, MbrUsableRangeStopsAtThe32BitSectorLimit) {
    struct Case {
        std::uint32_t sector;
        std::uint64_t end;
    } cases[] = {{512, 2048 * GiB}, {4096, 3072 * GiB}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sector);
        SimPc pc;
        pc.MbrDisk(0, 3072 * GiB, {{MiB, 100 * GiB, 0x07}}, {}, 0x77, c.sector);
        pc.NtfsVolume(0, 1, {u"C:\\"}, GiB, 1);
        ProbedLayout probe;
        probe.Run();
        EXPECT_EQ(probe.ctx.usableStart, c.sector);
        EXPECT_EQ(probe.ctx.usableEnd, c.end);
        EXPECT_EQ(probe.record.diskSize, 3072 * GiB);
    }
}

TEST(PartitionRules, UnusedMbrSlotsGetNoLine) {
    SimPc pc;
    pc.MbrDisk(0, 64 * GiB, {{0, 0, 0x00}, {MiB, 10 * GiB, 0x07}});
    pc.NtfsVolume(0, 1, {u"C:\\"}, GiB, 1);
    ProbedLayout probe;
    probe.Run();
    EXPECT_EQ(Utf8(Lines(probe.record)), (std::vector<std::string>{"#1 1048576 10737418240 0x07"}));
    EXPECT_EQ(probe.record.snapshot.windowsPartitionNumber, 1u);
}

}  // namespace
}  // namespace velta::testing

namespace velta::testing {
namespace {

// Real tables that are well formed but not resizable end in a status, not an error.
TEST(PartitionRules, WellFormedButUnsupportedLayoutsGiveAStatus) {
    struct Case {
        const char* name;
        std::function<void(SimPc&)> build;
        std::uint32_t windowsPartition;
        ResizeStatus status;
    } cases[] = {
        {"Windows in a logical partition",
         [](SimPc& pc) {
             pc.MbrDisk(0, 64 * GiB, {{MiB, 10 * GiB, 0x07}, {10 * GiB + MiB, 20 * GiB, 0x0f}},
                        {{10 * GiB + 2 * MiB, 10 * GiB, 0x07}});
         },
         2, ResizeStatus::InvalidLayout},
        {"LDM data on GPT",
         [](SimPc& pc) {
             pc.GptDisk(0, 64 * GiB,
                        {{MiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(1), 0, u""},
                         {40 * GiB, GiB, sim::gpt_type::LdmData, PartGuid(2), 0, u""}});
         },
         1, ResizeStatus::UnsupportedExtents},
        {"MBR dynamic partition",
         [](SimPc& pc) { pc.MbrDisk(0, 64 * GiB, {{MiB, 10 * GiB, 0x07}, {30 * GiB, GiB, 0x42}}); }, 1,
         ResizeStatus::UnsupportedExtents},
        {"MBR primary slot inside the extended container",
         [](SimPc& pc) {
             pc.MbrDisk(0, 64 * GiB, {{MiB, 10 * GiB, 0x07}, {11 * GiB, 20 * GiB, 0x0f}, {12 * GiB, GiB, 0x07}},
                        {{11 * GiB + MiB, 500 * MiB, 0x07}});
         },
         1, ResizeStatus::InvalidLayout},
        {"MBR partition reaching past 2 TiB",
         [](SimPc& pc) { pc.MbrDisk(0, 3072 * GiB, {{MiB, 10 * GiB, 0x07}, {1536 * GiB, 1024 * GiB, 0x07}}); }, 1,
         ResizeStatus::InvalidLayout},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        c.build(pc);
        pc.NtfsVolume(0, c.windowsPartition, {u"C:\\"}, GiB, 1);
        LayoutInspection r = InspectLayout(false);
        EXPECT_EQ(r.snapshot.windowsPartitionNumber, c.windowsPartition);
        EXPECT_EQ(r.snapshot.status, c.status);
        EXPECT_EQ(r.snapshot.planKind, PlanKind::None);
        EXPECT_EQ(r.snapshot.fingerprint.size(), 64u);
    }
}

}  // namespace
}  // namespace velta::testing

namespace velta::testing {
namespace {

// A primary-slot entry inside the extended container right after Windows used to count as
// its first logical partition and be offered as the source of a shrink, a layout the boot-time
// table check then refuses after the online shrink. It now makes the layout invalid.
TEST(PartitionRules, PrimarySlotInsideTheContainerIsNeverASource) {
    struct Case {
        const char* name;
        std::vector<sim::MbrPartitionSpec> primaries;
        std::vector<sim::MbrPartitionSpec> logicals;
        PlanKind plan;
        ResizeStatus status;
    } cases[] = {
        {"only the primary slot in the container",
         {{MiB, 10 * GiB, 0x07}, {10 * GiB + MiB, 30 * GiB, 0x0f}, {10 * GiB + 2 * MiB, 20 * GiB, 0x07}},
         {},
         PlanKind::None,
         ResizeStatus::InvalidLayout},
        {"the primary slot before the chain's logical partition",
         {{MiB, 10 * GiB, 0x07}, {10 * GiB + MiB, 30 * GiB, 0x0f}, {10 * GiB + 2 * MiB, 20 * GiB, 0x07}},
         {{30 * GiB + 4 * MiB, 5 * GiB, 0x07}},
         PlanKind::None,
         ResizeStatus::InvalidLayout},
        // The same disk without the stray slot: the chain's partition is the source.
        {"a proper logical partition",
         {{MiB, 10 * GiB, 0x07}, {10 * GiB + MiB, 30 * GiB, 0x0f}},
         {{10 * GiB + 2 * MiB, 20 * GiB, 0x07}},
         PlanKind::LogicalInExtended,
         ResizeStatus::RestartRequired},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        pc.MbrDisk(0, 64 * GiB, c.primaries, c.logicals);
        pc.NtfsVolume(0, 1, {u"C:\\"}, 4 * GiB, 1);
        pc.NtfsVolume(0, 2, {u"D:\\"}, 2 * GiB, 2);
        LayoutSnapshot s = InspectForDisplay();
        EXPECT_EQ(s.planKind, c.plan);
        EXPECT_EQ(s.status, c.status) << sim::ToUtf8(s.detail);
        for (const auto& line : s.partitionLines)
            if (line.find(u"#2 ") == 0)
                EXPECT_EQ(line.find(u"[Logical]") != std::u16string::npos, c.plan != PlanKind::None)
                    << sim::ToUtf8(line);
        if (c.plan == PlanKind::None) {
            EXPECT_EQ(s.maximumIncrease, 0u);
            EXPECT_EQ(s.shrinkable, 0u);
            EXPECT_TRUE(s.neighbourText.empty());
        } else {
            EXPECT_GT(s.shrinkable, 0u) << "the sound layout still offers its shrink";
            EXPECT_EQ(s.maximumIncrease, s.shrinkable);
        }
    }
}

}  // namespace
}  // namespace velta::testing
