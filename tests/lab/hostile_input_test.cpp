// The lab against hostile input: every machine file and every image ends in a clear answer,
// an exit code 2 naming the file and the member, or a run that reports what Windows would.
// Each row runs the real veltamoor-lab as a child process, under a time limit.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "sim/storage/partition_table.h"
#include "tests/support/process.h"

namespace velta::testing {
namespace {

const std::string kLab = std::string(VELTA_HOST_BUILD_DIR) + "/veltamoor-lab";
const std::string kDir = std::string(VELTA_HOST_BUILD_DIR) + "/hostile-input";

void Write(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), {});
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A 64 MiB GPT image made by sgdisk: partition 1 at 1 MiB, 32 MiB long, basic data.
std::string GptImage(const std::string& name) {
    std::string path = kDir + "/" + name;
    RunProcess({"rm", "-f", path});
    EXPECT_EQ(RunProcess({"truncate", "-s", "64M", path}).exitCode, 0);
    auto r = RunProcess({"sgdisk", "-o", "-n", "1:2048:+32M", "-t", "1:0700", path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

// Rewrites both GPT headers of an image (and their entry arrays), then restamps the CRCs
// the way a careful tool would, so that only the named fields are wrong.
struct GptPatch {
    std::function<void(std::uint8_t* header)> header;
    std::function<void(std::uint8_t* entries)> entries;  // the first 128 entries
    bool recomputeEntriesCrc = true;
};

void PatchGpt(const std::string& path, const GptPatch& patch) {
    auto bytes = ReadAll(path);
    const std::uint64_t ss = 512;
    const std::uint64_t last = bytes.size() / ss - 1;
    for (std::uint64_t lba : {std::uint64_t{1}, last}) {
        std::uint8_t* h = bytes.data() + lba * ss;
        std::uint64_t entriesLba = velta::LoadLe64(h + 72);
        std::uint8_t* e = bytes.data() + entriesLba * ss;
        if (patch.entries) patch.entries(e);
        if (patch.recomputeEntriesCrc) velta::StoreLe32(h + 88, sim::Crc32(e, 128 * 128));
        if (patch.header) patch.header(h);
        velta::StoreLe32(h + 16, 0);
        velta::StoreLe32(h + 16, sim::Crc32(h, velta::LoadLe32(h + 12)));
    }
    WriteAll(path, bytes);
}

// A machine file whose disk 0 is this image, with C: as a plain extent (so that a disk
// whose table cannot be used still has a Windows volume).
std::string ImageMachine(const std::string& image, const std::string& extra = "") {
    return R"({"disks": [{"number": 0, "image": ")" + image + R"(")" + extra +
           R"(}], "volumes": [{"extents": [{"disk": 0, "offset": "1 MiB", "length": "32 MiB"}], "mountPoints": ["C:\\"]}]})";
}

// A consistent GPT machine: C: on partition 1, D: on partition 2. `p1` and `c` are the
// members of the first partition and of C:; `disk` and `top` are added to the disk and the
// document.
const std::string kP1 = R"("start": "1 MiB", "length": "40 GiB")";
const std::string kC = R"("disk": 0, "partition": 1, "mountPoints": ["C:\\"], "used": "10 GiB")";
std::string GptMachine(const std::string& disk = "", const std::string& p1 = kP1, const std::string& c = kC,
                       const std::string& top = "") {
    return R"({)" + top + R"("disks": [{"number": 0, "size": "64 GiB", "style": "gpt")" + disk +
           R"(, "partitions": [{)" + p1 + R"(}, {"start": "41 GiB", "length": "20 GiB"}]}],
             "volumes": [{)" + c + R"(}, {"disk": 0, "partition": 2, "mountPoints": ["D:\\"], "used": "1 GiB"}]})";
}

struct Row {
    const char* what;
    std::string command;  // "check" or "run"
    std::string machine;  // JSON text, or "@path" for a path as it stands
    std::vector<std::string> args;
    int exitCode;
    std::string err;    // for exit code 2: the member and message after the file name
    std::string out;    // a text standard output must hold
    std::string notOut = "";  // a text standard output must not hold
};

ProcessResult RunRow(const Row& row, const std::string& machinePath) {
    std::vector<std::string> argv{"timeout", "30", kLab, row.command};
    if (row.command == "run") argv.insert(argv.end(), {"--machine"});
    argv.push_back(machinePath);
    if (row.command == "run") argv.push_back("--");
    argv.insert(argv.end(), row.args.begin(), row.args.end());
    return RunProcess(argv);
}

class HostileInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RunProcess({"rm", "-rf", kDir});
        RunProcess({"mkdir", "-p", kDir + "/a-directory"});
        ASSERT_EQ(RunProcess({"mkfifo", kDir + "/a-fifo"}).exitCode, 0);
        Write(kDir + "/empty.img", "");
    }
};

TEST_F(HostileInput, EveryFileEndsInAClearAnswer) {
    // Images, each generated for its row.
    std::string wrapped = GptImage("wrapped-entry.img");
    PatchGpt(wrapped, {nullptr, [](std::uint8_t* e) {
                           // An LBA whose byte offset wraps past 2^64 to 1 MiB.
                           velta::StoreLe64(e + 32, (1ull << 55) + 2048);
                           velta::StoreLe64(e + 40, (1ull << 55) + 2048 + 65535);
                       }});
    std::string alternateOnly = GptImage("alternate-beyond.img");
    PatchGpt(alternateOnly, {[](std::uint8_t* h) {
                                 if (velta::LoadLe64(h + 24) == 1) velta::StoreLe64(h + 32, 1ull << 40);
                             },
                             nullptr});
    std::string bothBeyond = GptImage("entries-beyond.img");
    PatchGpt(bothBeyond, {[](std::uint8_t* h) { velta::StoreLe64(h + 72, 1ull << 60); }, nullptr, false});
    std::string hugeArray = GptImage("huge-array.img");
    PatchGpt(hugeArray, {[](std::uint8_t* h) { velta::StoreLe32(h + 80, 1u << 24); }, nullptr, false});
    std::string hugeEntries = GptImage("huge-entry-size.img");
    PatchGpt(hugeEntries, {[](std::uint8_t* h) { velta::StoreLe32(h + 84, 1u << 31); }, nullptr, false});
    std::string reversed = GptImage("reversed-entry.img");
    PatchGpt(reversed, {nullptr, [](std::uint8_t* e) { velta::StoreLe64(e + 40, 100); }});
    // An MBR image whose slot reaches 2^32 sectors past a 64 MiB disk.
    std::string mbrOverflow = kDir + "/mbr-overflow.img";
    {
        RunProcess({"rm", "-f", mbrOverflow});
        RunProcess({"truncate", "-s", "64M", mbrOverflow});
        auto sf = RunProcess({"sh", "-c", "printf 'label: dos\\nstart=2048, size=65536, type=7\\n' | sfdisk -q \"$0\"",
                              mbrOverflow});
        ASSERT_EQ(sf.exitCode, 0) << sf.err;
        auto bytes = ReadAll(mbrOverflow);
        velta::StoreLe32(bytes.data() + 446 + 16 + 8, 0xFFFFFF00u);  // slot 2: start near 2^32 sectors
        velta::StoreLe32(bytes.data() + 446 + 16 + 12, 0xFFFFFFFFu);
        bytes[446 + 16 + 4] = 0x07;
        WriteAll(mbrOverflow, bytes);
    }
    // A GPT written with 4096-byte sectors, loaded as if they were 512.
    std::string gpt4k = kDir + "/gpt-4096.img";
    {
        sim::DiskBytes d(64ull << 20);
        sim::WriteGpt(d, 4096, {0x12345678, 0x1234, 0x4234, {0x80, 1, 2, 3, 4, 5, 6, 7}},
                      {{1 << 20, 32 << 20, sim::gpt_type::BasicData, {0xabcdef01, 1, 0x4001, {0x80, 1, 1, 1, 1, 1, 1, 1}}, 0, u""}});
        d.SaveImage(gpt4k);
    }

    const std::string scanFailure = "GPT/MBR partition style";
    const Row rows[] = {
        // Paths that are not files: the machine file itself, and images.
        {"machine file is a directory", "check", "@" + kDir + "/a-directory", {}, 2, kDir + "/a-directory is a directory", ""},
        {"machine file is a FIFO", "run", "@" + kDir + "/a-fifo", {"--scan"}, 2, kDir + "/a-fifo is not a regular file", ""},
        {"machine file is a device", "check", "@/dev/zero", {}, 2, "/dev/zero is not a regular file", ""},
        {"image is a directory", "check", R"({"disks": [{"number": 0, "image": "a-directory"}]})", {}, 2,
         "disks[0].image: " + kDir + "/a-directory is a directory", ""},
        {"image is a FIFO", "check", R"({"disks": [{"number": 0, "image": "a-fifo"}]})", {}, 2,
         "disks[0].image: " + kDir + "/a-fifo is neither a regular file nor a block device", ""},
        {"image is a character device", "check", R"({"disks": [{"number": 0, "image": "/dev/zero"}]})", {}, 2,
         "disks[0].image: /dev/zero is neither a regular file nor a block device", ""},
        {"image is empty", "check", R"({"disks": [{"number": 0, "image": "empty.img"}]})", {}, 2,
         "disks[0].image: the image size (0 bytes) must be a non-zero multiple of the logical sector size (512)", ""},
        // Arithmetic that overflows, in entries and in raw images.
        {"entry whose start + length passes 2^64", "check",
         GptMachine("", R"("start": "1 MiB", "length": 18446744073708503040)"), {}, 2,
         "disks[0].partitions[0]: the partition (start 1048576, length 18446744073708503040) must end on the disk", ""},
        {"MBR entry beyond 32-bit sectors", "check",
         R"({"disks": [{"number": 0, "size": "4 TiB", "style": "mbr", "partitions": [{"start": "2 TiB", "length": "1 GiB"}]}]})", {}, 2,
         "disks[0].partitions[0].start: beyond what an MBR entry can hold (2^32 sectors of 512 bytes)", ""},
        {"GPT entry whose LBA times the sector size wraps", "run", ImageMachine("wrapped-entry.img"), {"--scan"}, 1, "",
         scanFailure, "#1 1048576"},
        {"MBR image with a slot far past the disk end", "run", ImageMachine("mbr-overflow.img"), {"--scan"}, 0, "",
         "#2 2199023124480 2199023255040 0x07", "internal error"},
        // GPT headers naming LBAs beyond the disk, and arrays far larger than any real table.
        {"primary header's alternate LBA beyond the disk: the backup serves", "run",
         ImageMachine("alternate-beyond.img"), {"--scan"}, 0, "", "#1 1048576 33554432 ", scanFailure},
        {"both entry arrays beyond the disk", "run", ImageMachine("entries-beyond.img"), {"--scan"}, 1, "", scanFailure},
        {"an entry array of 2^24 entries", "run", ImageMachine("huge-array.img"), {"--scan"}, 1, "", scanFailure},
        {"entries of 2 GiB each", "run", ImageMachine("huge-entry-size.img"), {"--scan"}, 1, "", scanFailure},
        {"an entry ending before it starts", "run", ImageMachine("reversed-entry.img"), {"--scan"}, 1, "", scanFailure},
        {"a table found only at the other sector size", "check", ImageMachine("gpt-4096.img"), {}, 2,
         "disks[0].image: no partition table is found with 512-byte logical sectors, but a GPT is with 4096-byte "
         "sectors: set \"logicalSectorSize\": 4096", ""},
        // Facts no Windows PC reports.
        {"used bytes above the file system's size", "check", GptMachine("", kP1, R"("disk": 0, "partition": 1, "mountPoints": ["C:\\"], "used": "41 GiB")"), {}, 2,
         "volumes[0].used: more than the file system's size", ""},
        {"file system larger than its partition", "check", GptMachine("", kP1, kC + R"(, "size": "41 GiB")"), {}, 2,
         "volumes[0].size: a file system cannot be larger than its partition (42949672960 bytes)", ""},
        {"cluster size not a power of two", "check", GptMachine("", kP1, kC + R"(, "clusterSize": 3072)"), {}, 2,
         "volumes[0].clusterSize: must be a power of two from 512 bytes to 2 MiB", ""},
        {"cluster size beyond NTFS", "check", GptMachine("", kP1, kC + R"(, "clusterSize": "4 MiB")"), {}, 2,
         "volumes[0].clusterSize: must be a power of two from 512 bytes to 2 MiB", ""},
        {"physical sector smaller than the logical one", "check",
         GptMachine(R"(, "logicalSectorSize": 4096, "physicalSectorSize": 512)"), {}, 2,
         "disks[0].physicalSectorSize: must not be smaller than the logical sector size (4096)", ""},
        {"zero partition length", "check", GptMachine("", R"("start": "1 MiB", "length": 0)"), {}, 2,
         "disks[0].partitions[0].length: must not be 0", ""},
        {"disk beyond signed 64-bit geometry", "check",
         R"({"disks": [{"number": 0, "size": "9223372036854775808"}]})", {}, 2,
         "disks[0].size: a disk larger than 2^63 - 1 bytes cannot be reported by the disk geometry", ""},
        {"mount point without its backslash", "check", GptMachine("", kP1, R"("disk": 0, "partition": 1, "mountPoints": ["C:"])"), {}, 2,
         "volumes[0].mountPoints[0]: expected a drive root such as \"C:\\\\\" or a folder path ending in a backslash", ""},
        {"folder mount point not ending in a backslash", "check",
         GptMachine("", kP1, R"("disk": 0, "partition": 1, "mountPoints": ["C:\\", "C:\\Data"])"), {}, 2,
         "volumes[0].mountPoints[1]: expected a drive root", ""},
        {"NUL in a text", "check", GptMachine("", kP1, kC + R"(, "label": "Sys\u0000tem")"), {}, 2,
         "volumes[0].label: must not contain NUL characters", ""},
        {"0 for a default", "check", GptMachine("", kP1, kC + R"(, "clusterSize": 0)"), {}, 2,
         "volumes[0].clusterSize: must not be 0; leave the member out for the default (4096)", ""},
        {"0 for the alignment descriptor's default", "check", GptMachine(R"(, "alignmentLogicalSectorSize": 0)"), {}, 2,
         "disks[0].alignmentLogicalSectorSize: must not be 0; leave the member out for the default", ""},
        // JSON.
        {"duplicate member", "check", GptMachine(R"(, "size": "32 GiB")"), {}, 2,
         "disks[0].size: appears twice in the same object", ""},
        {"description that is not text", "check", GptMachine("", kP1, kC, R"("description": 5, )"), {}, 2,
         "description: expected a string", ""},
        {"number text with a sign", "check", GptMachine(R"(, "busType": "+11")"), {}, 2,
         "disks[0].busType: expected a bus type name", ""},
        {"number text with a space", "check",
         R"({"disks": [{"number": 0, "size": "1 GiB", "style": "mbr", "signature": " 7"}]})", {}, 2,
         "disks[0].signature: expected a whole number in decimal or with 0x, such as 7 or 0x07", ""},
        {"\"010\" is ten and \"09\" is nine", "run",
         R"({"disks": [{"number": 0, "size": "8 GiB", "style": "mbr", "partitions": [
              {"start": "1 MiB", "length": "1 GiB", "type": "010"}, {"start": "2 GiB", "length": "4 GiB", "type": "09"}]}],
             "volumes": [{"disk": 0, "partition": 2, "mountPoints": ["C:\\"], "used": "1 GiB"}]})",
         {"--scan"}, 0, "", "#1 1048576 1073741824 0x0a\n#2 2147483648 4294967296 0x09\n"},
        // Layouts that are invalid but occur stay expressible.
        {"overlapping GPT partitions load", "run",
         GptMachine("", R"("start": "1 MiB", "length": "41 GiB")"), {"--scan"}, 0, "", "#2 44023414784 21474836480 "},
        {"an MBR partition crossing 2 TiB loads", "run",
         R"({"disks": [{"number": 0, "size": "3 TiB", "style": "mbr", "partitions": [{"start": "1 TiB", "length": "1536 GiB"}]}],
             "volumes": [{"disk": 0, "partition": 1, "mountPoints": ["C:\\"], "used": "1 GiB"}]})",
         {"--scan"}, 0, "", "#1 1099511627776 1649267441664 0x07"},
        // The lab's own rules.
        {"no disk holds the Windows volume", "check",
         R"({"disks": [{"number": 0, "size": "1 GiB"}], "volumes": [{"extents": [{"disk": 0, "offset": 0, "length": "1 MiB"}], "mountPoints": ["D:\\"]}]})",
         {}, 2, "windowsDirectory: no disk holds the Windows volume: no volume is mounted at C:\\ or at a folder above C:\\Windows", ""},
    };
    int index = 0;
    for (const auto& row : rows) {
        std::string path;
        if (row.machine.rfind("@", 0) == 0) {
            path = row.machine.substr(1);
        } else {
            path = kDir + "/row" + std::to_string(index) + ".json";
            Write(path, row.machine);
        }
        ++index;
        auto r = RunRow(row, path);
        EXPECT_EQ(r.exitCode, row.exitCode) << row.what << "\n  stderr: " << r.err;
        if (row.exitCode == 2) {
            std::string expected = "veltamoor-lab: machine file " + path + ": " + row.err;
            EXPECT_EQ(r.err.substr(0, expected.size()), expected) << row.what;
            EXPECT_EQ(r.out, "") << row.what;
        } else {
            EXPECT_EQ(r.err, "") << row.what;
            EXPECT_NE(r.out.find(row.out), std::string::npos) << row.what << "\n  stdout: " << r.out;
            if (!row.notOut.empty()) {
                EXPECT_EQ(r.out.find(row.notOut), std::string::npos) << row.what << "\n" << r.out;
            }
        }
        EXPECT_EQ(r.out.find("An internal error occurred."), std::string::npos) << row.what;
    }
}

TEST(LabCommandLine, HelpRunWithoutAFileAndUnknownCommands) {
    auto help = RunProcess({kLab, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: veltamoor-lab demo\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    auto noFile = RunProcess({kLab, "run", "--machine"});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_EQ(noFile.out, "");
    EXPECT_EQ(noFile.err.rfind("veltamoor-lab: --machine needs a machine file\nusage:", 0), 0u) << noFile.err;
    auto unknown = RunProcess({kLab, "inspect"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("usage: veltamoor-lab demo"), std::string::npos);
    EXPECT_EQ(unknown.out, "");
}

}  // namespace
}  // namespace velta::testing
