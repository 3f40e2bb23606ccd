#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "platform/win/constants.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/core/machine.h"
#include "sim/storage/partition_table.h"
#include "tests/sim_storage/host_tools.h"

namespace sim {
namespace {

using velta::testing::RunCommand;
using velta::testing::TempImage;

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;

const win::GUID kDiskId = GuidFromText("{11111111-2222-3333-4455-66778899AABB}");

win::GUID Id(std::uint8_t n) { return win::GUID{0xa0a0a0a0u, 0x1234, 0x5678, {0x9a, 0xbc, 0, 0, 0, 0, 0, n}}; }

TEST(Crc32, MatchesThePublishedCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(text), 9), 0xCBF43926u);
}

TEST(DiskBytes, IsSparseAndReadsZeroWhereNothingWasWritten) {
    DiskBytes d(2048 * GiB);
    std::uint8_t b[3] = {1, 2, 3};
    d.Write(2048 * GiB - 2, b, 2);
    d.Write(DiskBytes::kChunk - 1, b, 3);  // across a chunk boundary
    EXPECT_EQ(d.Read(2048 * GiB - 2, 2), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(d.Read(DiskBytes::kChunk - 1, 3), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(d.Read(GiB, 4), (std::vector<std::uint8_t>(4, 0)));
    EXPECT_EQ(d.ResidentChunks(), 3u);
    EXPECT_THROW(d.Write(2048 * GiB - 1, b, 2), std::out_of_range);
}

// A GPT that this code writes is the one sgdisk reads and verifies, and back again.
TEST(GptTable, WrittenTablesPassSgdiskAndReadBackAsWindowsReportsThem) {
    for (std::uint32_t ss : {512u, 4096u}) {
        DiskBytes d(8 * GiB);
        WriteGpt(d, ss, kDiskId,
                 {{MiB, 100 * MiB, gpt_type::EfiSystem, Id(1), 0, u"EFI system partition"},
                  {101 * MiB, 16 * MiB, gpt_type::MicrosoftReserved, Id(2), 0, u""},
                  {117 * MiB, 4 * GiB, gpt_type::BasicData, Id(3), 0, u"Basic data partition"},
                  {117 * MiB + 4 * GiB, 600 * MiB, gpt_type::Recovery, Id(4), 0x8000000000000001ull, u""}});
        TempImage img("gpt.img");
        d.SaveImage(img.path());
        if (ss == 512) {
            auto v = RunCommand("sgdisk -v " + img.path());
            EXPECT_NE(v.output.find("No problems found"), std::string::npos) << v.output;
            auto p = RunCommand("sgdisk -p " + img.path());
            EXPECT_NE(p.output.find("11111111-2222-3333-4455-66778899AABB"), std::string::npos) << p.output;
            EXPECT_TRUE(std::regex_search(p.output, std::regex(R"(\n\s+3\s+239616\s+8628223\s+4\.0 GiB\s+0700)")))
                << p.output;
        }
        TableView t = ReadTable(DiskBytes::LoadImage(img.path()), ss);
        ASSERT_EQ(t.style, TableStyle::Gpt);
        EXPECT_TRUE(t.primaryHeaderValid && t.backupHeaderValid);
        EXPECT_EQ(t.diskId, kDiskId);
        EXPECT_EQ(t.usableStart, (2 + 16384 / ss) * ss);
        EXPECT_EQ(t.usableStart + t.usableLength, 8 * GiB - (1 + 16384 / ss) * ss);
        ASSERT_EQ(t.entries.size(), 4u);
        EXPECT_EQ(t.entries[2].number, 3u);
        EXPECT_EQ(t.entries[2].offset, 117 * MiB);
        EXPECT_EQ(t.entries[2].length, 4 * GiB);
        EXPECT_EQ(t.entries[2].type, gpt_type::BasicData);
        EXPECT_EQ(t.entries[2].name, u"Basic data partition");
        EXPECT_EQ(t.entries[3].attributes, 0x8000000000000001ull);
        EXPECT_EQ(t.entries[3].id, Id(4));
    }
}

TEST(GptTable, ABrokenPrimaryFallsBackToTheBackupAndBothBrokenIsRaw) {
    DiskBytes d(GiB);
    WriteGpt(d, 512, kDiskId, {{MiB, 10 * MiB, gpt_type::BasicData, Id(1), 0, u""}});
    std::uint8_t junk = 0x5a;
    d.Write(512 + 40, &junk, 1);  // inside the primary header: its CRC no longer matches
    TableView t = ReadTable(d, 512);
    EXPECT_EQ(t.style, TableStyle::Gpt);
    EXPECT_FALSE(t.primaryHeaderValid);
    ASSERT_EQ(t.entries.size(), 1u);
    d.Write(GiB - 512 + 40, &junk, 1);
    EXPECT_EQ(ReadTable(d, 512).style, TableStyle::Raw);
    EXPECT_EQ(ReadTable(DiskBytes(GiB), 512).style, TableStyle::Raw);
}

// An sgdisk image, loaded: same starts, lengths, types and numbers as sgdisk prints.
TEST(GptTable, ReadsAnImageMadeBySgdisk) {
    TempImage img("sgdisk.img");
    ASSERT_EQ(RunCommand("truncate -s 2G " + img.path()).status, 0);
    auto made = RunCommand("sgdisk -o -U 8E5A3C7B-1D2F-4A6B-9C8D-0E1F2A3B4C5D -n 1:2048:+100M -t 1:ef00 "
                           "-n 2:0:+16M -t 2:0c01 -n 3:0:+1G -t 3:0700 -n 4:0:0 -t 4:2700 " + img.path());
    ASSERT_EQ(made.status, 0) << made.output;
    TableView t = ReadTable(DiskBytes::LoadImage(img.path()), 512);
    ASSERT_EQ(t.style, TableStyle::Gpt);
    EXPECT_EQ(t.diskId, GuidFromText("8E5A3C7B-1D2F-4A6B-9C8D-0E1F2A3B4C5D"));
    auto listing = RunCommand("sgdisk -p " + img.path()).output;
    std::regex row(R"(\n\s+(\d+)\s+(\d+)\s+(\d+)\s)");
    std::vector<std::array<std::uint64_t, 3>> rows;
    for (auto it = std::sregex_iterator(listing.begin(), listing.end(), row); it != std::sregex_iterator(); ++it)
        rows.push_back({std::stoull((*it)[1]), std::stoull((*it)[2]), std::stoull((*it)[3])});
    ASSERT_EQ(rows.size(), 4u) << listing;
    ASSERT_EQ(t.entries.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(t.entries[i].number, rows[i][0]);
        EXPECT_EQ(t.entries[i].offset, rows[i][1] * 512);
        EXPECT_EQ(t.entries[i].length, (rows[i][2] - rows[i][1] + 1) * 512);
    }
    EXPECT_EQ(t.entries[0].type, gpt_type::EfiSystem);
    EXPECT_EQ(t.entries[1].type, gpt_type::MicrosoftReserved);
    EXPECT_EQ(t.entries[2].type, gpt_type::BasicData);
    EXPECT_EQ(t.entries[3].type, gpt_type::Recovery);
}

std::vector<MbrPartitionSpec> Logicals(std::uint64_t from, int count, std::uint64_t each) {
    std::vector<MbrPartitionSpec> out;
    for (int i = 0; i < count; ++i) out.push_back({from + MiB + static_cast<std::uint64_t>(i) * (each + MiB), each, 0x07});
    return out;
}

// The EBR chain that this code writes is the one sfdisk reads, and Windows' view of it.
TEST(MbrTable, WrittenChainPassesSfdiskAndReadsAsFourEntriesPerEbr) {
    DiskBytes d(4 * GiB);
    WriteMbr(d, 512, 0xA1B2C3D4u,
             {{MiB, 500 * MiB, 0x07, true}, {501 * MiB, 2 * GiB, 0x07}, {501 * MiB + 2 * GiB, GiB, 0x0f}},
             Logicals(501 * MiB + 2 * GiB, 3, 200 * MiB));
    TempImage img("mbr.img");
    d.SaveImage(img.path());
    auto dump = RunCommand("sfdisk --dump " + img.path());
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_NE(dump.output.find("label-id: 0xa1b2c3d4"), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("img5 : start=     5222400, size=      409600, type=7"), std::string::npos)
        << dump.output;
    EXPECT_NE(dump.output.find("img7 : start=     6045696, size=      409600, type=7"), std::string::npos)
        << dump.output;
    auto verify = RunCommand("sfdisk --verify " + img.path());
    EXPECT_EQ(verify.status, 0) << verify.output;

    TableView t = ReadTable(d, 512);
    ASSERT_EQ(t.style, TableStyle::Mbr);
    EXPECT_EQ(t.mbrSignature, 0xA1B2C3D4u);
    ASSERT_EQ(t.entries.size(), 4u + 3 * 4);
    EXPECT_TRUE(t.entries[0].active);
    EXPECT_TRUE(t.entries[2].container);
    EXPECT_EQ(t.entries[2].number, 0u);
    EXPECT_EQ(t.entries[3].length, 0u);  // empty slot
    EXPECT_TRUE(t.entries[4].logical);
    EXPECT_EQ(t.entries[4].number, 3u);
    EXPECT_EQ(t.entries[4].offset, 502 * MiB + 2 * GiB);
    EXPECT_TRUE(t.entries[5].link);
    EXPECT_EQ(t.entries[5].offset, 702 * MiB + 2 * GiB);   // the second EBR
    EXPECT_EQ(t.entries[5].length, 201 * MiB);           // EBR through its logical partition
    EXPECT_EQ(t.entries[12].number, 5u);
    EXPECT_FALSE(t.entries[13].Used());  // the last EBR has no link
    auto bytes = EncodeDriveLayout(t);
    ASSERT_EQ(bytes.size(), 48u + 16 * 144);
    EXPECT_EQ(velta::LoadLe32(bytes.data() + 4), 16u);
    EXPECT_EQ(bytes[48 + 4 * 144 + win::partition_info::MbrPartitionType], 0x07);
}

TEST(MbrTable, ReadsAnImageMadeBySfdiskWithLogicalPartitions) {
    TempImage img("sfdisk.img");
    ASSERT_EQ(RunCommand("truncate -s 3G " + img.path()).status, 0);
    auto made = RunCommand("printf 'label: dos\\nlabel-id: 0x0badcafe\\n2048,1048576,7,*\\n,2097152,7\\n,,5\\n,524288,7\\n,524288,b\\n,,7\\n' "
                           "| sfdisk --no-reread " + img.path());
    ASSERT_EQ(made.status, 0) << made.output;
    TableView t = ReadTable(DiskBytes::LoadImage(img.path()), 512);
    ASSERT_EQ(t.style, TableStyle::Mbr);
    EXPECT_EQ(t.mbrSignature, 0x0badcafeu);
    auto dump = RunCommand("sfdisk --dump " + img.path()).output;
    std::regex row(R"(img(\d+) : start=\s*(\d+), size=\s*(\d+), type=([0-9a-f]+))");
    std::vector<LayoutEntry> parts;
    for (const auto& e : t.entries)
        if (e.Used() && !e.link) parts.push_back(e);
    std::size_t i = 0;
    for (auto it = std::sregex_iterator(dump.begin(), dump.end(), row); it != std::sregex_iterator(); ++it, ++i) {
        ASSERT_LT(i, parts.size()) << dump;
        EXPECT_EQ(parts[i].offset, std::stoull((*it)[2]) * 512) << dump;
        EXPECT_EQ(parts[i].length, std::stoull((*it)[3]) * 512) << dump;
        EXPECT_EQ(parts[i].mbrType, std::stoul((*it)[4], nullptr, 16)) << dump;
    }
    EXPECT_EQ(i, 6u) << dump;
    EXPECT_EQ(parts.size(), 6u);
}

TEST(Storage, ResizePartitionRewritesTheTableTheVolumeAndItsNtfs) {
    Machine m;
    Disk& d = m.storage.AddDisk(0, 4 * GiB);
    WriteGpt(d.bytes, 512, kDiskId,
             {{MiB, GiB, gpt_type::BasicData, Id(1), 0, u""}, {GiB + MiB, GiB, gpt_type::BasicData, Id(2), 0, u""}});
    WriteNtfsBootSector(d.bytes, GiB + MiB, GiB, 512, 4096);
    Volume volume;
    volume.mountPoints = {u"D:\\"};
    volume.usedBytes = 300 * MiB;
    Volume& v = m.storage.AddVolumeOnPartition(0, 2, volume);
    std::u16string path = v.GuidPath();
    EXPECT_EQ(m.storage.FileSystemBytes(v), GiB - 4096);

    EXPECT_EQ(m.storage.ResizePartition(0, 2, 250 * MiB), win::ERROR_DISK_FULL);
    EXPECT_EQ(m.storage.ResizePartition(0, 1, GiB + 512), win::ERROR_INVALID_PARAMETER);  // overlaps #2
    EXPECT_EQ(m.storage.ResizePartition(0, 2, 513 * MiB + 1), win::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m.storage.ResizePartition(0, 3, GiB), win::ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(m.storage.ResizePartition(0, 2, 512 * MiB), 0u);

    TableView t = d.Table();
    EXPECT_TRUE(t.primaryHeaderValid && t.backupHeaderValid);
    EXPECT_EQ(t.entries[1].length, 512 * MiB);
    Volume* after = m.storage.FindVolume(path);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->extents[0].length, 512 * MiB);
    auto boot = ReadNtfsBootSector(d.bytes, GiB + MiB);
    ASSERT_TRUE(boot);
    EXPECT_EQ(boot->totalSectors, 512 * MiB / 512 - 1);
    EXPECT_TRUE(ReadNtfsBootSector(d.bytes, GiB + MiB + 512 * MiB - 512));  // the backup moved in

    TempImage img("resized.img");
    d.bytes.SaveImage(img.path());
    auto verify = RunCommand("sgdisk -v " + img.path());
    EXPECT_NE(verify.output.find("No problems found"), std::string::npos) << verify.output;
}

TEST(Storage, ResizeOfALogicalPartitionKeepsTheChainValidForSfdisk) {
    Machine m;
    Disk& d = m.storage.AddDisk(0, 4 * GiB);
    WriteMbr(d.bytes, 512, 0x12345678u, {{MiB, GiB, 0x07}, {GiB + MiB, 2 * GiB, 0x05}},
             Logicals(GiB + MiB, 2, 500 * MiB));
    ASSERT_EQ(m.storage.ResizePartition(0, 2, 300 * MiB), 0u);
    EXPECT_EQ(m.storage.ResizePartition(0, 3, 2 * GiB), win::ERROR_INVALID_PARAMETER);  // past the container
    TableView t = d.Table();
    EXPECT_EQ(t.FindPartition(2)->length, 300 * MiB);
    EXPECT_EQ(t.entries[5].length, 501 * MiB);  // the link still spans the second EBR's partition
    TempImage img("resized-mbr.img");
    d.bytes.SaveImage(img.path());
    auto dump = RunCommand("sfdisk --dump " + img.path());
    EXPECT_NE(dump.output.find("size=      614400, type=7"), std::string::npos) << dump.output;
    EXPECT_EQ(RunCommand("sfdisk --verify " + img.path()).status, 0);
}

}  // namespace
}  // namespace sim
