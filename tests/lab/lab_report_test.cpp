// The lab running Veltamoor.exe's command line on the example machines.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/example_report.h"
#include "tests/support/process.h"

namespace velta::testing {
namespace {

ProcessResult Lab(const std::string& machine, const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(VELTA_HOST_BUILD_DIR) + "/veltamoor-lab", "run", "--machine",
                                  std::string(VELTA_SOURCE_DIR) + "/lab/machines/" + machine, "--"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
}


TEST(LabReport, ReproducesTheExampleScanByteForByte) {
    auto r = Lab("demo.json", {"--scan"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kExampleReportEnglish);
}

TEST(LabReport, ChineseExampleStartsAsExpected) {
    auto r = Lab("demo.json", {"--lang", "zh", "--scan"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("#1 ")), "维尔塔莫\n磁盘  0 MBR | 逻辑/物理扇区  512/4096 B\n分区编号 / 起始字节 / 长度 / 类型\n");
    EXPECT_NE(r.out.find("\n此布局需要重启扩容。\n"), std::string::npos);
}

TEST(LabReport, ConsoleOutputShowsTheSameText) {
    auto r = Lab("demo.json", {"--scan"});
    auto console = RunProcess({std::string(VELTA_HOST_BUILD_DIR) + "/veltamoor-lab", "run", "--machine",
                               std::string(VELTA_SOURCE_DIR) + "/lab/machines/demo.json", "--console", "--scan"});
    EXPECT_EQ(console.exitCode, 0);
    EXPECT_EQ(console.out, r.out);
}

struct PreviewCase {
    const char* machine;
    const char* mebibytes;
    int exitCode;
    std::string lastLine;
};

TEST(LabReport, PreviewAcceptsOnlyAmountsBetweenTheBounds) {
    const std::string refused = "This layout or amount cannot produce an applicable plan.\n";
    const PreviewCase cases[] = {
        // Unallocated only: 30 GiB growable, so exactly 30720 MiB is the one valid amount.
        // C: holds 120 GiB less 4 KiB of NTFS; + 30 GiB reads 150 GB.
        {"gpt-unallocated.json", "30720", 0, "Estimated capacity after resize  150 GB\n"},
        {"gpt-unallocated.json", "30719", 2, refused},
        {"gpt-unallocated.json", "30721", 2, refused},
        {"gpt-unallocated.json", "1", 2, refused},
        // Adjacent data: nothing unallocated, 59.5 GiB (60928 MiB) shrinkable from D:.
        {"demo.json", "1", 0, "Estimated capacity after resize  80 GB\n"},
        {"demo.json", "10240", 0, "Estimated capacity after resize  90 GB\n"},
        {"demo.json", "60928", 0, "Estimated capacity after resize  139.5 GB\n"},
        {"demo.json", "60929", 2, refused},
        {"demo.json", "17592186044415", 2, refused},
    };
    for (const auto& c : cases) {
        auto r = Lab(c.machine, {"--preview", c.mebibytes});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.machine << " " << c.mebibytes << r.err;
        ASSERT_GT(r.out.size(), c.lastLine.size()) << c.machine << " " << c.mebibytes;
        EXPECT_EQ(r.out.substr(r.out.size() - c.lastLine.size()), c.lastLine) << c.machine << " " << c.mebibytes;
        auto scan = Lab(c.machine, {"--scan"});
        EXPECT_EQ(r.out.substr(0, scan.out.size()), scan.out) << "the preview begins with the report";
        EXPECT_EQ(r.out.size(), scan.out.size() + c.lastLine.size()) << "one trailer line";
    }
    auto zh = Lab("demo.json", {"--lang", "zh", "--preview", "10240"});
    EXPECT_NE(zh.out.find("\n扩容后预计容量  90 GB\n"), std::string::npos);
}

}  // namespace
}  // namespace velta::testing
