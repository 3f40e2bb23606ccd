// The real Veltamoor.exe under Wine: console modes, languages, output encoding, exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/process.h"
#include "tests/support/wine.h"

namespace velta::testing {
namespace {

const std::string kUsageEn =
    "Usage\nVeltamoor.exe [--lang zh|en] [--scan | --preview MiB | --extract-marker PATH]\n";
const std::string kUsageZh =
    "\xE7\x94\xA8\xE6\xB3\x95\n"
    "Veltamoor.exe [--lang zh|en] [--scan | --preview MiB | --extract-marker PATH]\n";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WineVeltamoor : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = WindowsProgram("Veltamoor.exe");
        std::ifstream probe(program_);
        ASSERT_TRUE(probe.good()) << program_ << " is missing: build it with `make windows`";
        dir_ = std::string(VELTA_HOST_BUILD_DIR) + "/wine-scratch-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RunProcess({"rm", "-rf", dir_});
        RunProcess({"mkdir", "-p", dir_});
    }
    std::string program_;
    std::string dir_;
};

TEST_F(WineVeltamoor, HelpPrintsTheExactUsageBytes) {
    auto en = RunWine({program_, "--help"}, "en_US.UTF-8");
    EXPECT_EQ(en.exitCode, 0);
    EXPECT_EQ(en.out, kUsageEn);
    auto zh = RunWine({program_, "--lang", "zh", "--help"}, "en_US.UTF-8");
    EXPECT_EQ(zh.exitCode, 0);
    EXPECT_EQ(zh.out, kUsageZh);
}

TEST_F(WineVeltamoor, SystemLanguageFollowsTheLanguageWineStartsWith) {
    struct Case {
        const char* locale;
        const std::string& usage;
    } cases[] = {{"zh_CN.UTF-8", kUsageZh}, {"zh_TW.UTF-8", kUsageZh}, {"en_US.UTF-8", kUsageEn},
                 {"de_DE.UTF-8", kUsageEn}};
    for (const auto& c : cases) {
        auto r = RunWine({program_, "--help"}, c.locale);
        EXPECT_EQ(r.exitCode, 0) << c.locale;
        EXPECT_EQ(r.out, c.usage) << c.locale;
    }
    // An explicit --lang wins over the system language.
    auto r = RunWine({program_, "--lang", "en", "--help"}, "zh_CN.UTF-8");
    EXPECT_EQ(r.out, kUsageEn);
}

TEST_F(WineVeltamoor, OutputRedirectedToAFileIsUtf8WithoutBom) {
    std::string out = dir_ + "/usage.txt";
    auto r = RunProcess({"sh", "-c", "wine \"$0\" --lang zh --help > \"$1\"", program_, out},
                        {{"WINEPREFIX", WinePrefix()}, {"WINEDEBUG", "-all"}, {"LC_ALL", "en_US.UTF-8"},
                         {"DISPLAY", "\x01unset"}});
    EXPECT_EQ(r.exitCode, 0);
    std::string bytes = ReadFile(out);
    EXPECT_EQ(bytes, kUsageZh);
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
}

TEST_F(WineVeltamoor, BadLanguageExitsTwoWithoutOutput) {
    for (const char* language : {"fr", "zhx", "ZH"}) {
        auto r = RunWine({program_, "--lang", language, "--scan"});
        EXPECT_EQ(r.exitCode, 2) << language;
        EXPECT_EQ(r.out, "") << language;
    }
    auto r = RunWine({program_, "--lang", "zh"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
}

TEST_F(WineVeltamoor, UnknownArgumentsPrintUsageAndExitTwo) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--SCAN"}, {"--help", "x"}, {"--scan", "--lang", "zh"},
                                          {"--preview"}}) {
        args.insert(args.begin(), program_);
        auto r = RunWine(args);
        EXPECT_EQ(r.exitCode, 2) << args[1];
        EXPECT_EQ(r.out, kUsageEn) << args[1];
    }
    auto bad = RunWine({program_, "--preview", "1.5"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.out, "");
}

TEST_F(WineVeltamoor, ExtractMarkerWritesTheBuiltMarkerImage) {
    std::string target = dir_ + "/marker.exe";
    auto r = RunWine({program_, "--extract-marker", WinePath(target)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Boot marker helper extracted.\n");
    std::string expected = ReadFile(WindowsProgram("VeltamoorMarker.exe"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ReadFile(target), expected);

    auto zh = RunWine({program_, "--lang", "zh", "--extract-marker", WinePath(dir_ + "/marker2.exe")});
    EXPECT_EQ(zh.exitCode, 0);
    EXPECT_EQ(zh.out, "\xE5\xB7\xB2\xE6\x8F\x90\xE5\x8F\x96\xE5\x90\xAF\xE5\x8A\xA8\xE6\xA0\x87\xE8\xAE\xB0"
                      "\xE5\x8A\xA9\xE6\x89\x8B\xE3\x80\x82\n");  // 已提取启动标记助手。
}

TEST_F(WineVeltamoor, ExtractMarkerLeavesAnExistingFileAlone) {
    std::string target = dir_ + "/existing.bin";
    {
        std::ofstream f(target, std::ios::binary);
        f << "keep these bytes";
    }
    auto r = RunWine({program_, "--extract-marker", WinePath(target)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Extraction failed. The output file must not exist.\n");
    EXPECT_EQ(ReadFile(target), "keep these bytes");
}

TEST_F(WineVeltamoor, ExtractMarkerIntoAMissingFolderFails) {
    auto r = RunWine({program_, "--extract-marker", WinePath(dir_ + "/no/such/folder/m.exe")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Extraction failed. The output file must not exist.\n");
}

}  // namespace
}  // namespace velta::testing
