#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "app/inspect/fingerprint.h"
#include "app/inspect/inspect_layout.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "sim/core/text.h"
#include "tests/inspect/expect_failure.h"
#include "tests/inspect/sim_pc.h"
#include "tests/sim_storage/host_tools.h"

namespace velta::testing {
namespace {

// SHA-256 of the text's UTF-16LE bytes, as the host's own tools compute it.
std::string Sha256sumOfUtf16le(const std::string& ascii) {
    TempImage file("identity.txt");
    {
        std::ofstream out(file.path(), std::ios::binary);
        out << ascii;
    }
    auto r = RunCommand("iconv -f UTF-8 -t UTF-16LE " + file.path() + " | sha256sum");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output.substr(0, 64);
}

std::string Joined(const LayoutInspection& r) {
    std::string text = sim::ToUtf8(r.identityText);
    for (const auto& line : r.snapshot.partitionLines) text += "|" + sim::ToUtf8(line);
    return text;
}

TEST(Fingerprint, GptIdentityTextAndDigest) {
    SimPc pc;
    pc.StandardGpt();
    sim::Disk& d = *pc.machine.storage.FindDisk(0);
    d.identity = {std::string("ATA     "), std::string("ST1000"), std::string("CC43"), std::nullopt};
    LayoutInspection r = InspectLayout(false);
    const std::string identity =
        "\\\\?\\Volume{7a1b2c3d-0001-11ef-9abc-00155d000003}\\|0|512|512|137438953472|11"
        "|4154412020202020|535431303030|43433433|"
        "|GPT|{3F2504E0-4F89-11D3-9A0C-0305E82C3301}|17408|137438936576";
    const std::string entries =
        "|#1 1048576 104857600 {C12A7328-F81F-11D2-BA4B-00A0C93EC93B} {0C0FFEE0-BEEF-4ABC-8DEF-012345678901} 9223372036854775808"
        "|#2 105906176 16777216 {E3C9E316-0B5C-4DB8-817D-F92DF00215AE} {0C0FFEE0-BEEF-4ABC-8DEF-012345678902} 0"
        "|#3 122683392 64424509440 {EBD0A0A2-B9E5-4433-87C0-68B6B72699C7} {0C0FFEE0-BEEF-4ABC-8DEF-012345678903} 0"
        "|#4 64547192832 42949672960 {EBD0A0A2-B9E5-4433-87C0-68B6B72699C7} {0C0FFEE0-BEEF-4ABC-8DEF-012345678904} 0"
        "|#5 107496865792 629145600 {DE94BBA4-06D1-4D40-A16A-BFD50179D6AC} {0C0FFEE0-BEEF-4ABC-8DEF-012345678905} 9223372036854775809";
    EXPECT_EQ(sim::ToUtf8(r.identityText), identity);
    EXPECT_EQ(Joined(r), identity + entries);
    EXPECT_EQ(sim::ToUtf8(r.snapshot.fingerprint), Sha256sumOfUtf16le(identity + entries));
}

TEST(Fingerprint, MbrIdentityTextAndDigest) {
    SimPc pc;
    pc.StandardMbr();
    sim::Disk& d = *pc.machine.storage.FindDisk(0);
    d.busType = 0x11;  // NVMe
    d.physicalSectorSize = 4096;
    d.identity = {std::nullopt, std::string("NVMe X"), std::string(""), std::string("S3Z ")};
    LayoutInspection r = InspectLayout(false);
    const std::string identity =
        "\\\\?\\Volume{7a1b2c3d-0001-11ef-9abc-00155d000002}\\|0|512|4096|68719476736|17"
        "||4e564d652058||53335a20"
        "|MBR|472727119|512|68719476736";
    const std::string entries =
        "|#1 1048576 524288000 0x07|#2 525336576 32212254720 0x07"
        "|#0 32737591296 21474836480 0x0f [Extended]|#3 32738639872 10737418240 0x07 [Logical]"
        "|#0 43476058112 5369757696 0x05 [EBR link]|#4 43477106688 5368709120 0x0c [Logical]";
    EXPECT_EQ(sim::ToUtf8(r.identityText), identity);
    EXPECT_EQ(Joined(r), identity + entries);
    EXPECT_EQ(sim::ToUtf8(r.snapshot.fingerprint), Sha256sumOfUtf16le(identity + entries));
}

TEST(Fingerprint, EmptyTextGivesThePublishedDigestOfNothing) {
    SimPc pc;
    EXPECT_EQ(sim::ToUtf8(ComputeFingerprint(u"")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
}

// Any change to what identifies the layout changes the fingerprint; a drive letter does not.
TEST(Fingerprint, ChangesExactlyWithTheLayoutIdentity) {
    struct Case {
        const char* name;
        std::function<void(SimPc&)> change;
        bool changes;
    } cases[] = {
        {"nothing", [](SimPc&) {}, false},
        {"drive letter for a volume", [](SimPc& pc) { pc.machine.storage.FindVolumeByMountPoint(u"D:\\")->mountPoints.push_back(u"E:\\"); }, false},
        {"partition length", [](SimPc& pc) { ASSERT_EQ(pc.machine.storage.ResizePartition(0, 4, 30 * GiB), 0u); }, true},
        {"partition type",
         [](SimPc& pc) {
             pc.GptDisk(0, 128 * GiB,
                        {{MiB, 100 * MiB, sim::gpt_type::EfiSystem, PartGuid(1), 0x8000000000000000ull, u"EFI"},
                         {101 * MiB, 16 * MiB, sim::gpt_type::MicrosoftReserved, PartGuid(2), 0, u""},
                         {117 * MiB, 60 * GiB, sim::gpt_type::BasicData, PartGuid(3), 0, u""},
                         {117 * MiB + 60 * GiB, 40 * GiB, sim::gpt_type::Recovery, PartGuid(4), 0, u""},
                         {117 * MiB + 100 * GiB, 600 * MiB, sim::gpt_type::Recovery, PartGuid(5), 0x8000000000000001ull, u""}});
         },
         true},
        {"partition GUID and attributes",
         [](SimPc& pc) {
             pc.GptDisk(0, 128 * GiB,
                        {{MiB, 100 * MiB, sim::gpt_type::EfiSystem, PartGuid(1), 0x8000000000000000ull, u"EFI"},
                         {101 * MiB, 16 * MiB, sim::gpt_type::MicrosoftReserved, PartGuid(2), 0, u""},
                         {117 * MiB, 60 * GiB, sim::gpt_type::BasicData, PartGuid(3), 0, u""},
                         {117 * MiB + 60 * GiB, 40 * GiB, sim::gpt_type::BasicData, PartGuid(9), 0, u""},
                         {117 * MiB + 100 * GiB, 600 * MiB, sim::gpt_type::Recovery, PartGuid(5), 1, u""}});
         },
         true},
        {"Windows volume GUID", [](SimPc& pc) { pc.machine.storage.FindVolumeByMountPoint(u"C:\\")->guid.Data4[7] = 0x33; }, true},
        {"disk serial", [](SimPc& pc) { pc.machine.storage.FindDisk(0)->identity.serial = "other"; }, true},
    };
    std::u16string before;
    {
        SimPc pc;
        pc.StandardGpt();
        before = InspectLayout(false).snapshot.fingerprint;
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        pc.StandardGpt();
        c.change(pc);
        auto after = InspectLayout(false).snapshot.fingerprint;
        EXPECT_EQ(after != before, c.changes);
    }
    SimPc a;
    a.StandardMbr();
    auto mbr = InspectLayout(false).snapshot.fingerprint;
    a.machine.storage.FindDisk(0)->bytes.Write(440, "\x01\x02\x03\x04", 4);  // the disk signature
    EXPECT_NE(InspectLayout(false).snapshot.fingerprint, mbr);
}

TEST(Fingerprint, NtfsAndHashFailuresEndAsStatus10) {
    using sim::Machine;
    auto standard = [] {
        auto pc = std::make_unique<SimPc>();
        pc->StandardGpt();
        return pc;
    };
    auto ntfsReply = [](Machine& m, std::uint64_t total, std::uint64_t free, std::uint32_t cluster, std::size_t size) {
        std::vector<std::uint8_t> b(size, 0);
        if (size >= 96) {
            velta::StoreLe64(b.data() + 16, total);
            velta::StoreLe64(b.data() + 24, free);
            velta::StoreLe32(b.data() + 44, cluster);
        }
        m.storage.FindVolumeByMountPoint(u"C:\\")->ntfsDataReply = b;
    };
    const FailureCase cases[] = {
        {"volume information", [](Machine& m) { m.faults.Fail("GetVolumeInformationW", 1, 21); }, u"GetVolumeInformation", 21},
        {"open NTFS volume", [](Machine& m) { m.faults.Fail("CreateFileW", 3, 32); }, u"Open NTFS volume", 32},
        {"NTFS data call", [](Machine& m) { m.faults.Fail("FSCTL_GET_NTFS_VOLUME_DATA", 1, 1); }, u"FSCTL_GET_NTFS_VOLUME_DATA", 1},
        {"2 MiB clusters",
         [](Machine& m) {
             auto* c = m.storage.FindVolumeByMountPoint(u"C:\\");
             auto& disk = m.storage.FindDisk(0)->bytes;
             sim::WriteNtfsBootSector(disk, c->extents[0].offset, c->extents[0].length, 512, 2 * 1024 * 1024);
         },
         u"NTFS geometry", 13},
        {"95 bytes returned", [=](Machine& m) { ntfsReply(m, 1000, 10, 4096, 95); }, u"NTFS geometry", 13},
        {"no clusters", [=](Machine& m) { ntfsReply(m, 0, 0, 4096, 96); }, u"NTFS geometry", 13},
        {"more free than total", [=](Machine& m) { ntfsReply(m, 1000, 1001, 4096, 96); }, u"NTFS geometry", 13},
        {"negative free", [=](Machine& m) { ntfsReply(m, 1000, ~0ull, 4096, 96); }, u"NTFS geometry", 13},
        {"cluster size 0", [=](Machine& m) { ntfsReply(m, 1000, 10, 0, 96); }, u"NTFS geometry", 13},
        {"cluster size 3072", [=](Machine& m) { ntfsReply(m, 1000, 10, 3072, 96); }, u"NTFS geometry", 13},
        {"bytes beyond 64 bits", [=](Machine& m) { ntfsReply(m, 1ull << 60, 10, 65536, 96); }, u"NTFS geometry", 13},
        {"hash provider", [](Machine& m) { m.faults.Fail("BCryptOpenAlgorithmProvider", 1, 0xC0000225u); },
         u"BCryptOpenAlgorithmProvider", 13},
        {"hash", [](Machine& m) { m.faults.Fail("BCryptHash", 1, 0xC000000Du); }, u"BCryptHash", 13},
    };
    for (const auto& c : cases) ExpectInspectionFails(c, standard);
}

TEST(Fingerprint, DescriptorIdentifiersAtTheirOffsets) {
    struct Case {
        const char* name;
        sim::DeviceIdentity identity;
        const char* elements;  // elements 7 to 10
    } cases[] = {
        {"all present", {std::string("ATA  "), std::string("Disk"), std::string("1"), std::string("X9")},
         "|4154412020|4469736b|31|5839"},
        {"no serial", {std::string("ATA"), std::string("Disk"), std::string("1"), std::nullopt}, "|415441|4469736b|31|"},
        {"none", {std::nullopt, std::nullopt, std::nullopt, std::nullopt}, "||||"},
        {"empty strings", {std::string(""), std::string(""), std::string(""), std::string("")}, "||||"},
        {"bytes as they are", {std::string("\xff\x7f"), std::string("a"), std::string("b"), std::string("c")},
         "|ff7f|61|62|63"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimPc pc;
        pc.StandardGpt();
        pc.machine.storage.FindDisk(0)->identity = c.identity;
        ProbedLayout probe;
        probe.Run();
        std::string text = sim::ToUtf8(probe.record.identityText);
        std::string after = "|137438953472|11";
        auto at = text.find(after);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(text.substr(at + after.size(), text.find("|GPT|") - at - after.size()), c.elements);
    }
}

}  // namespace
}  // namespace velta::testing
