// Machine files: what a well-formed file builds, and the field named for every bad one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lab/machine_file.h"
#include "sim/storage/storage.h"
#include "sim/core/text.h"
#include "tests/support/process.h"

namespace sim {
namespace {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;

TEST(MachineFile, SizesTakeBinaryUnitsOrPlainBytes) {
    EXPECT_EQ(ParseSizeText("4096"), 4096u);
    EXPECT_EQ(ParseSizeText("512 B"), 512u);
    EXPECT_EQ(ParseSizeText("64 KiB"), 65536u);
    EXPECT_EQ(ParseSizeText("100 MiB"), 100 * MiB);
    EXPECT_EQ(ParseSizeText("256GiB"), 256 * GiB);
    EXPECT_EQ(ParseSizeText("2 TiB"), 2048 * GiB);
    EXPECT_EQ(ParseSizeText("16777215 TiB"), 16777215ull << 40);
    for (const char* bad : {"", "GiB", "1.5 GiB", "-1", "1 GB", "1 gib", "16777216 TiB", "99999999999999999999",
                            " 1 MiB"})
        EXPECT_FALSE(ParseSizeText(bad).has_value()) << bad;
}

TEST(MachineFile, BuildsDisksTablesAndVolumes) {
    Machine m;
    LoadMachineText(m, R"({
      "language": "zh",
      "disks": [{
        "number": 1, "size": "64 GiB", "logicalSectorSize": 512, "physicalSectorSize": 4096,
        "busType": "nvme", "serial": null, "style": "gpt",
        "diskGuid": "{11111111-2222-3333-4444-555555555555}",
        "partitions": [
          {"start": "1 MiB", "length": "100 MiB", "type": "efi"},
          {"start": "101 MiB", "length": "30 GiB", "type": "basic", "attributes": 0},
          {"start": "40 GiB", "length": "1 GiB", "type": "recovery", "attributes": "0x8000000000000001"}
        ]
      }],
      "volumes": [{
        "disk": 1, "partition": 2, "mountPoints": ["C:\\", "C:\\Mount\\System\\"], "used": "10 GiB",
        "guid": "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}",
        "bitlocker": {"protectionStatus": 1}, "supportedSize": {"min": "12 GiB", "max": "39 GiB"}
      }]
    })",
                    ".");
    EXPECT_EQ(m.uiLanguage, 0x0804);
    Disk* d = m.storage.FindDisk(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Size(), 64 * GiB);
    EXPECT_EQ(d->physicalSectorSize, 4096u);
    EXPECT_EQ(d->busType, 0x11u);
    EXPECT_FALSE(d->identity.serial.has_value());
    TableView t = d->Table();
    EXPECT_EQ(t.style, TableStyle::Gpt);
    ASSERT_NE(t.FindPartition(3), nullptr);
    EXPECT_EQ(t.FindPartition(3)->attributes, 0x8000000000000001ull);
    EXPECT_EQ(t.FindPartition(2)->offset, 101 * MiB);
    Volume* v = m.storage.FindVolumeByMountPoint(u"C:\\");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GuidPath(), u"\\\\?\\Volume{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}\\");
    EXPECT_EQ(v->mountPoints[1], u"C:\\Mount\\System\\");
    EXPECT_EQ(m.wmi.BitLockerOf(v->GuidPath()).protectionStatus, 1u);
    auto limit = m.wmi.supportedSize.at({1, 2});
    EXPECT_EQ(limit.sizeMin, 12 * GiB);
    EXPECT_EQ(limit.sizeMax, 39 * GiB);
}

TEST(MachineFile, MbrWithLogicalPartitionsAndARawImage) {
    std::string dir = std::string(VELTA_HOST_BUILD_DIR) + "/machine-file-test";
    velta::testing::RunProcess({"mkdir", "-p", dir});
    std::string image = dir + "/mbr.img";
    velta::testing::RunProcess({"rm", "-f", image});
    velta::testing::RunProcess({"truncate", "-s", "2G", image});
    auto sf = velta::testing::RunProcess(
        {"sh", "-c", "printf 'label: dos\\nlabel-id: 0x0badcafe\\nstart=2048, size=204800, type=7\\nstart=206848, type=5\\nstart=208896, size=409600, type=7\\n' | sfdisk -q \"$0\"",
         image});
    ASSERT_EQ(sf.exitCode, 0) << sf.err;

    Machine m;
    LoadMachineText(m, R"({"disks": [
        {"number": 0, "size": "8 GiB", "style": "mbr", "signature": 305419896,
         "partitions": [{"start": "1 MiB", "length": "1 GiB"}, {"start": "2 GiB", "length": "4 GiB", "type": "0x0f"}],
         "logical": [{"start": 2148532224, "length": "1 GiB"}, {"start": "3074 MiB", "length": "512 MiB", "type": 131}]},
        {"number": 1, "image": "mbr.img"}]})",
                    dir);
    TableView t0 = m.storage.FindDisk(0)->Table();
    EXPECT_EQ(t0.style, TableStyle::Mbr);
    EXPECT_EQ(t0.mbrSignature, 0x12345678u);
    ASSERT_NE(t0.FindPartition(3), nullptr);
    EXPECT_TRUE(t0.FindPartition(3)->logical);
    EXPECT_EQ(t0.FindPartition(3)->mbrType, 0x83);
    TableView t1 = m.storage.FindDisk(1)->Table();
    EXPECT_EQ(t1.mbrSignature, 0x0badcafeu);
    ASSERT_NE(t1.FindPartition(2), nullptr);
    EXPECT_EQ(t1.FindPartition(2)->offset, 208896ull * 512);
    EXPECT_TRUE(t1.FindPartition(2)->logical);
}

TEST(MachineFile, BadFilesNameTheField) {
    struct Case {
        const char* json;
        const char* field;
    } cases[] = {
        {R"({"disks": [{"number": 0}]})", "disks[0].size"},
        {R"({"disks": [{"number": 0, "size": "1.5 GiB"}]})", "disks[0].size"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "sise": 1}]})", "disks[0].sise"},
        {R"({"disks": [{"number": -1, "size": "1 GiB"}]})", "disks[0].number"},
        {R"({"disks": [{"number": 0, "size": 1000}]})", "disks[0].size"},
        {R"({"disks": [{"number": 0, "size": "1 GiB"}, {"number": 0, "size": "1 GiB"}]})", "disks[1].number"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "apm"}]})", "disks[0].style"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "diskGuid": "{1234}"}]})", "disks[0].diskGuid"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "partitions": [{"start": "1 MiB", "length": 1000}]}]})",
         "disks[0].partitions[0].length"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "partitions": [{"start": "1 MiB", "length": "1 MiB", "type": "fat"}]}]})",
         "disks[0].partitions[0].type"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "mbr", "partitions": [{"start": "1 MiB", "length": "1 MiB", "type": 256}]}]})",
         "disks[0].partitions[0].type"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "partitions": [{"start": "1 MiB", "length": "2 GiB"}]}]})",
         "disks[0].partitions[0]"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "signature": 5}]})", "disks[0].signature"},
        {R"({"disks": [{"number": 0, "image": "no-such-file.img"}]})", "disks[0].image"},
        {R"({"disks": [{"number": 0, "image": "x.img", "size": "1 GiB"}]})", "disks[0].size"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "busType": "floppy"}]})", "disks[0].busType"},
        {R"({"volumes": [{"disk": 3, "partition": 1}]})", "volumes[0].disk"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt"}], "volumes": [{"disk": 0, "partition": 1}]})",
         "volumes[0].partition"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "partitions": [{"start": "1 MiB", "length": "1 MiB"}]}],
             "volumes": [{"disk": 0, "partition": 1, "mountPoints": ["C:\\"]}, {"disk": 0, "partition": 1}]})",
         "volumes[1].partition"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "partitions": [{"start": "1 MiB", "length": "1 MiB"}, {"start": "2 MiB", "length": "1 MiB"}]}],
             "volumes": [{"disk": 0, "partition": 1, "mountPoints": ["C:\\"]}, {"disk": 0, "partition": 2, "mountPoints": ["c:"]}]})",
         "volumes[1].mountPoints[0]"},
        {R"({"disks": [{"number": 0, "size": "1 GiB", "style": "gpt", "partitions": [{"start": "1 MiB", "length": "1 MiB"}]}],
             "volumes": [{"disk": 0, "partition": 1, "supportedSize": {"min": "2 MiB", "max": "1 MiB"}}]})",
         "volumes[0].supportedSize"},
        {R"({"disks": [{"number": 0, "size": "1 GiB"}], "volumes": [{"extents": [{"disk": 0, "offset": "1 GiB", "length": "1 MiB"}]}]})",
         "volumes[0].extents[0]"},
        {R"({"disks": [{"number": 0, "size": "1 GiB"}], "volumes": [{"extents": [{"disk": 0, "offset": 0, "length": "1 MiB"}], "supportedSize": {}}]})",
         "volumes[0].supportedSize"},
        {R"({"language": "fr"})", "language"},
        {R"({"windowsDirectory": "Windows"})", "windowsDirectory"},
        {R"([1, 2])", ""},
        {R"({"disks": )", ""},
    };
    for (const auto& c : cases) {
        Machine m;
        try {
            LoadMachineText(m, c.json, ".");
            ADD_FAILURE() << "accepted: " << c.json;
        } catch (const MachineFileError& e) {
            EXPECT_EQ(e.field(), c.field) << c.json << "\n  said: " << e.what();
            EXPECT_NE(std::string(e.what()).size(), 0u);
        }
    }
}

TEST(MachineFile, TheLabNamesTheFieldAndExitsTwo) {
    std::string path = std::string(VELTA_HOST_BUILD_DIR) + "/bad-machine.json";
    {
        std::ofstream f(path);
        f << R"({"disks": [{"number": 0, "size": "lots"}]})";
    }
    auto r = velta::testing::RunProcess({std::string(VELTA_HOST_BUILD_DIR) + "/veltamoor-lab", "run", "--machine", path,
                                         "--scan"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("disks[0].size"), std::string::npos) << r.err;
    auto check = velta::testing::RunProcess({std::string(VELTA_HOST_BUILD_DIR) + "/veltamoor-lab", "check", path});
    EXPECT_EQ(check.exitCode, 2);
}

TEST(MachineFile, EveryShippedExampleLoads) {
    int examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELTA_SOURCE_DIR) + "/lab/machines")) {
        if (entry.path().extension() != ".json") continue;
        ++examples;
        Machine m;
        EXPECT_NO_THROW(LoadMachineFile(m, entry.path().string())) << entry.path();
        EXPECT_FALSE(m.storage.Volumes().empty()) << entry.path();
    }
    EXPECT_GE(examples, 4);
}

}  // namespace
}  // namespace sim
