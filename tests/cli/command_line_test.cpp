// The argument grammar, language choice, console attachment and exit codes of the entry,
// run against the simulated PC's console.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/entry.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"
#include "app/ui/host/main_window_standin.h"
#include "tests/support/run_program.h"

namespace velta {
namespace {

using testing::RunVeltamoor;

const std::string kUsageEn =
    "Usage\nVeltamoor.exe [--lang zh|en] [--scan | --preview MiB | --extract-marker PATH]\n";
const std::string kUsageZh =
    "\xE7\x94\xA8\xE6\xB3\x95\n"  // 用法
    "Veltamoor.exe [--lang zh|en] [--scan | --preview MiB | --extract-marker PATH]\n";

constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::uint16_t kChineseSimplified = 0x0804;
constexpr std::uint16_t kChineseTraditional = 0x0404;
constexpr std::uint16_t kChineseHongKong = 0x0C04;

struct GrammarCase {
    std::u16string args;
    std::uint16_t language;
    int exitCode;
    std::string output;  // UTF-8 bytes expected in the redirected output
};

TEST(CommandLine, GrammarAndExitCodesThroughARedirectedOutput) {
    const GrammarCase cases[] = {
        {u"--help", kEnglishUs, 0, kUsageEn},
        {u"--help", kChineseSimplified, 0, kUsageZh},
        {u"--help", kChineseTraditional, 0, kUsageZh},
        {u"--help", kChineseHongKong, 0, kUsageZh},
        {u"--help", 0x0407, 0, kUsageEn},  // German falls back to English
        {u"--lang en --help", kChineseSimplified, 0, kUsageEn},
        {u"--lang zh --help", kEnglishUs, 0, kUsageZh},
        {u"--lang", kEnglishUs, 2, kUsageEn},
        {u"--lang zh", kEnglishUs, 2, ""},
        {u"--lang en", kEnglishUs, 2, ""},
        {u"--lang fr --scan", kEnglishUs, 2, ""},
        {u"--lang zhx --scan", kEnglishUs, 2, ""},
        {u"--lang ZH --help", kEnglishUs, 2, ""},
        {u"--lang z --help", kEnglishUs, 2, ""},
        {u"--help extra", kEnglishUs, 2, kUsageEn},
        {u"--help --help", kEnglishUs, 2, kUsageEn},
        {u"--scan --lang zh", kEnglishUs, 2, kUsageEn},
        {u"--SCAN", kEnglishUs, 2, kUsageEn},
        {u"--Help", kEnglishUs, 2, kUsageEn},
        {u"scan", kEnglishUs, 2, kUsageEn},
        {u"--preview", kEnglishUs, 2, kUsageEn},
        {u"--preview 1 2", kEnglishUs, 2, kUsageEn},
        {u"--extract-marker", kEnglishUs, 2, kUsageEn},
        {u"--extract-marker a b", kEnglishUs, 2, kUsageEn},
        {u"--lang zh --lang en --help", kEnglishUs, 2, kUsageZh},
        {u"\"\"", kEnglishUs, 2, kUsageEn},  // one empty argument
        {u"--preview 0", kEnglishUs, 2, ""},
        {u"--preview -5", kEnglishUs, 2, ""},
        {u"--preview 1.5", kEnglishUs, 2, ""},
        {u"--preview \"\"", kEnglishUs, 2, ""},
        {u"--preview 17592186044416", kEnglishUs, 2, ""},
        {u"--lang zh --preview +1", kEnglishUs, 2, ""},
    };
    for (const auto& c : cases) {
        sim::Machine m;
        m.uiLanguage = c.language;
        m.console.stdoutKind = sim::StdOutKind::File;
        auto run = RunVeltamoor(m, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << sim::ToUtf8(c.args);
        EXPECT_EQ(run.redirectedBytes, c.output) << sim::ToUtf8(c.args);
        EXPECT_TRUE(run.consoleText.empty()) << sim::ToUtf8(c.args);
        EXPECT_TRUE(m.localAllocations.empty()) << "argument array not freed: " << sim::ToUtf8(c.args);
    }
}

TEST(CommandLine, ConsoleOutputIsUtf16AndEachTextIsOneWrite) {
    sim::Machine m;
    m.uiLanguage = kChineseSimplified;
    m.console.stdoutKind = sim::StdOutKind::None;  // a GUI program started from a console
    auto run = RunVeltamoor(m, u"--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(m.console.attachCalls, 1);
    EXPECT_EQ(run.consoleText,
              u"用法\nVeltamoor.exe [--lang zh|en] [--scan | --preview MiB | --extract-marker PATH]\n");
    EXPECT_EQ(run.writeCalls, 1);
    EXPECT_TRUE(run.redirectedBytes.empty());
}

TEST(CommandLine, RedirectedOutputIsUtf8WithoutBomAndBareLineFeeds) {
    for (auto kind : {sim::StdOutKind::File, sim::StdOutKind::Pipe}) {
        sim::Machine m;
        m.console.stdoutKind = kind;
        auto run = RunVeltamoor(m, u"--lang zh --help");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(m.console.attachCalls, 0) << "a redirected output is used as it is";
        ASSERT_GE(run.redirectedBytes.size(), 3u);
        EXPECT_NE(run.redirectedBytes.substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_EQ(run.redirectedBytes.find('\r'), std::string::npos);
        EXPECT_EQ(run.redirectedBytes, kUsageZh);
        EXPECT_EQ(run.writeCalls, 1);
    }
}

TEST(CommandLine, NoConsoleAndNoParentMeansOutputIsDroppedQuietly) {
    sim::Machine m;
    m.console.stdoutKind = sim::StdOutKind::None;
    m.console.parentConsole = false;
    auto run = RunVeltamoor(m, u"--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(m.console.attachCalls, 1);
    EXPECT_TRUE(run.consoleText.empty());
    EXPECT_TRUE(run.redirectedBytes.empty());
}

TEST(CommandLine, LanguageErrorsPrintNothingAndDoNotAttach) {
    sim::Machine m;
    m.console.stdoutKind = sim::StdOutKind::None;
    auto run = RunVeltamoor(m, u"--lang fr --scan");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(m.console.attachCalls, 0);
    EXPECT_EQ(run.writeCalls, 0);
}

TEST(CommandLine, NoArgumentsOpensTheWindowWithTheSystemLanguage) {
    for (auto [language, chinese] : {std::pair{kEnglishUs, false}, std::pair{kChineseSimplified, true}}) {
        sim::Machine m;
        m.uiLanguage = language;
        velta::MainWindowRecord() = {};
        velta::MainWindowRecord().result = 7;
        auto run = RunVeltamoor(m, u"");
        EXPECT_EQ(run.exitCode, 7);
        EXPECT_EQ(velta::MainWindowRecord().runs, std::vector<bool>{chinese});
        EXPECT_EQ(m.console.attachCalls, 0);
        EXPECT_TRUE(m.localAllocations.empty());
    }
}

TEST(CommandLine, ASplitFailureEndsWithOneAndNoOutput) {
    sim::Machine m;
    m.console.stdoutKind = sim::StdOutKind::File;
    m.faults.Fail("CommandLineToArgvW", 1, 8);
    auto run = RunVeltamoor(m, u"--help");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.redirectedBytes.empty());
}

TEST(CommandLine, QuotedArgumentsAreSplitTheWindowsWay) {
    sim::Machine m;
    m.console.stdoutKind = sim::StdOutKind::File;
    // A quoted mode is still one argument of length 6.
    auto run = RunVeltamoor(m, u"\"--help\"");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.redirectedBytes, kUsageEn);
}

TEST(IsChineseLanguage, UsesThePrimaryLanguageBitsOnly) {
    EXPECT_TRUE(IsChineseLanguage(0x0804));
    EXPECT_TRUE(IsChineseLanguage(0x0404));
    EXPECT_TRUE(IsChineseLanguage(0x1004));
    EXPECT_TRUE(IsChineseLanguage(0x7C04));
    EXPECT_FALSE(IsChineseLanguage(0x0409));
    EXPECT_FALSE(IsChineseLanguage(0x0411));
    EXPECT_FALSE(IsChineseLanguage(0x0444));  // Tatar: 0x44 in the low 10 bits
}

}  // namespace
}  // namespace velta

namespace velta {
namespace {

TEST(CommandLine, AnInternalFailureInAConsoleModeEndsWithOneAndItsText) {
    struct Case {
        std::u16string args;
        const char* call;
        std::string output;
    } cases[] = {
        {u"--scan", "GetVolumePathNameW", "An internal error occurred.\n"},
        {u"--lang zh --preview 100", "GetVolumePathNameW", "程序发生内部错误。\n"},
        {u"--extract-marker C:\\Users\\Public\\m.exe", "CreateFileW", "An internal error occurred.\n"},
    };
    for (const auto& c : cases) {
        sim::Machine m;
        m.console.stdoutKind = sim::StdOutKind::File;
        m.faults.Arm(sim::Fault{c.call, 1, 0, std::nullopt, false, true});
        auto run = testing::RunVeltamoor(m, c.args);
        EXPECT_EQ(run.exitCode, 1) << sim::ToUtf8(c.args);
        EXPECT_EQ(run.redirectedBytes, c.output) << sim::ToUtf8(c.args);
        EXPECT_TRUE(m.localAllocations.empty()) << "argument array not freed: " << sim::ToUtf8(c.args);
        EXPECT_EQ(m.handles.OpenCount(), 0u) << sim::ToUtf8(c.args);
    }
}

}  // namespace
}  // namespace velta
