// Disks made by the host's partitioning tools, inspected through the simulated PC: the lines
// must say what sgdisk and sfdisk say.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "app/inspect/inspect_layout.h"
#include "sim/core/text.h"
#include "tests/inspect/sim_pc.h"
#include "tests/sim_storage/host_tools.h"

namespace velta::testing {
namespace {

// Formats a partition of disk 0 with mkntfs, the way Windows' format would leave it.
void MakeNtfs(sim::Machine& m, std::uint64_t startSector, std::uint64_t sectors, std::uint32_t cluster = 4096) {
    TempImage part("ntfs-part.img");
    ASSERT_EQ(RunCommand("truncate -s " + std::to_string(sectors * 512) + " " + part.path()).status, 0);
    auto made = RunCommand("mkntfs -F -f -q -s 512 -c " + std::to_string(cluster) + " -p " + std::to_string(startSector) + " -H 255 -S 63 " +
                           part.path());
    ASSERT_EQ(made.status, 0) << made.output;
    m.storage.FindDisk(0)->bytes.Place(sim::DiskBytes::LoadImage(part.path()), startSector * 512);
}

std::vector<std::string> Utf8(const std::vector<std::u16string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(sim::ToUtf8(l));
    return out;
}

TEST(ToolImages, SgdiskGptAgreesWithThePartitionLines) {
    TempImage img("sgdisk-disk.img");
    ASSERT_EQ(RunCommand("truncate -s 4G " + img.path()).status, 0);
    auto made = RunCommand("sgdisk -o -U 6B0F2C11-3D4E-4F5A-8B9C-0D1E2F3A4B5C -n 1:2048:+100M -t 1:ef00 "
                           "-n 2:0:+16M -t 2:0c01 -n 3:0:+2G -t 3:0700 -n 4:0:+1G -t 4:0700 -A 4:set:63 "
                           "-n 5:0:0 -t 5:2700 " + img.path());
    ASSERT_EQ(made.status, 0) << made.output;
    SimPc pc;
    pc.machine.storage.AddDiskFromImage(0, img.path(), 512);
    MakeNtfs(pc.machine, 239616, 4194304, 16384);  // partition 3
    sim::Volume c;
    c.guid = VolGuid(3);
    c.mountPoints = {u"C:\\"};
    c.usedBytes = GiB;
    pc.machine.storage.AddVolumeOnPartition(0, 3, c);
    LayoutInspection r = InspectLayout(false);
    EXPECT_EQ(sim::ToUtf8(r.diskGuidText), "{6B0F2C11-3D4E-4F5A-8B9C-0D1E2F3A4B5C}");
    EXPECT_EQ(r.snapshot.windowsPartitionNumber, 3u);
    // mkntfs's geometry, not the model's 4 KiB default: 16 KiB clusters of all but the backup sector.
    EXPECT_EQ(r.snapshot.windowsVolumeBytes, (4194304ull - 1) * 512 / 16384 * 16384);

    const std::map<std::string, std::string> typeOfCode = {
        {"EF00", "{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}"}, {"0C01", "{E3C9E316-0B5C-4DB8-817D-F92DF00215AE}"},
        {"0700", "{EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}"}, {"2700", "{DE94BBA4-06D1-4D40-A16A-BFD50179D6AC}"}};
    auto listing = RunCommand("sgdisk -p " + img.path()).output;
    std::regex row(R"(\n\s+(\d+)\s+(\d+)\s+(\d+)\s+\S+ \S+\s+([0-9A-F]{4}))");
    std::vector<std::string> expected;
    for (auto it = std::sregex_iterator(listing.begin(), listing.end(), row); it != std::sregex_iterator(); ++it) {
        std::string n = (*it)[1];
        std::uint64_t first = std::stoull((*it)[2]), last = std::stoull((*it)[3]);
        auto info = RunCommand("sgdisk -i " + n + " " + img.path()).output;
        std::smatch id, attrs;
        ASSERT_TRUE(std::regex_search(info, id, std::regex(R"(Partition unique GUID: ([0-9A-F-]{36}))"))) << info;
        ASSERT_TRUE(std::regex_search(info, attrs, std::regex(R"(Attribute flags: ([0-9A-F]{16}))"))) << info;
        expected.push_back("#" + n + " " + std::to_string(first * 512) + " " + std::to_string((last - first + 1) * 512) +
                           " " + typeOfCode.at((*it)[4]) + " {" + id[1].str() + "} " +
                           std::to_string(std::stoull(attrs[1], nullptr, 16)));
    }
    ASSERT_EQ(expected.size(), 5u) << listing;
    EXPECT_EQ(Utf8(r.snapshot.partitionLines), expected);
    EXPECT_EQ(r.plainDataNumbers, (std::vector<std::uint32_t>{3}));  // 4 carries attribute bit 63
}

TEST(ToolImages, SfdiskMbrWithLogicalPartitionsAgreesWithThePartitionLines) {
    TempImage img("sfdisk-disk.img");
    ASSERT_EQ(RunCommand("truncate -s 6G " + img.path()).status, 0);
    auto made = RunCommand("printf 'label: dos\\nlabel-id: 0x5ca1ab1e\\n2048,1024000,7,*\\n,4194304,7\\n,,f\\n"
                           ",1048576,7\\n,524288,b\\n,262144,7\\n' | sfdisk --no-reread -q " + img.path());
    ASSERT_EQ(made.status, 0) << made.output;
    SimPc pc;
    pc.machine.storage.AddDiskFromImage(0, img.path(), 512);
    MakeNtfs(pc.machine, 1026048, 4194304);  // partition 2
    sim::Volume c;
    c.guid = VolGuid(2);
    c.mountPoints = {u"C:\\"};
    c.usedBytes = GiB;
    pc.machine.storage.AddVolumeOnPartition(0, 2, c);
    LayoutInspection r = InspectLayout(false);
    EXPECT_EQ(r.mbrSignature, 0x5ca1ab1eu);
    EXPECT_EQ(r.snapshot.windowsPartitionNumber, 2u);

    auto dump = RunCommand("sfdisk --dump " + img.path()).output;
    std::regex row(R"(img(\d+) : start=\s*(\d+), size=\s*(\d+), type=([0-9a-f]+))");
    std::vector<std::string> expected;
    int number = 0;
    for (auto it = std::sregex_iterator(dump.begin(), dump.end(), row); it != std::sregex_iterator(); ++it) {
        std::string type = (*it)[4];
        if (type.size() == 1) type = "0" + type;
        bool extended = type == "05" || type == "0f" || type == "85";
        bool logical = std::stoi((*it)[1]) > 4;
        expected.push_back("#" + std::to_string(extended ? 0 : ++number) + " " +
                           std::to_string(std::stoull((*it)[2]) * 512) + " " +
                           std::to_string(std::stoull((*it)[3]) * 512) + " 0x" + type +
                           (extended ? " [Extended]" : logical ? " [Logical]" : ""));
    }
    ASSERT_EQ(expected.size(), 6u) << dump;
    std::vector<std::string> lines;
    for (const auto& l : Utf8(r.snapshot.partitionLines))
        if (l.find("[EBR link]") == std::string::npos) lines.push_back(l);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(r.snapshot.partitionLines.size(), 8u);  // and two links between three logical partitions
}

}  // namespace
}  // namespace velta::testing
