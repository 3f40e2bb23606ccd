// --extract-marker on the simulated PC: the image reaches a new file whole, or no file remains.
#include <gtest/gtest.h>

#include <string>

#include "app/ui/entry.h"
#include "platform/win/constants.h"
#include "sim/core/machine.h"
#include "tests/support/run_program.h"

namespace velta {
namespace {

using testing::RunVeltamoor;

const std::string kExtracted = "Boot marker helper extracted.\n";
const std::string kFailed = "Extraction failed. The output file must not exist.\n";
const std::u16string kTarget = u"C:\\Users\\Public\\marker.exe";

sim::Machine& Redirected(sim::Machine& m) {
    m.console.stdoutKind = sim::StdOutKind::File;
    return m;
}

TEST(ExtractMarker, WritesTheEmbeddedImageToANewFile) {
    sim::Machine m;
    auto run = RunVeltamoor(Redirected(m), u"--extract-marker " + kTarget);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.redirectedBytes, kExtracted);
    ASSERT_NE(m.files.Get(kTarget), nullptr);
    EXPECT_EQ(*m.files.Get(kTarget), sim::MarkerImageBytes());
    EXPECT_EQ(m.handles.OpenCount(), 0u);
}

TEST(ExtractMarker, AnExistingFileIsLeftUntouched) {
    sim::Machine m;
    std::vector<std::uint8_t> original{'k', 'e', 'e', 'p'};
    m.files.Put(kTarget, original);
    auto run = RunVeltamoor(Redirected(m), u"--extract-marker " + kTarget);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.redirectedBytes, kFailed);
    EXPECT_EQ(*m.files.Get(kTarget), original);
    EXPECT_EQ(m.faults.Calls("DeleteFileW"), 0u);
}

TEST(ExtractMarker, AFailedWriteOrFlushLeavesNoPartialFile) {
    struct Case {
        const char* name;
        sim::Fault fault;
    } cases[] = {
        {"write fails", {"WriteFile", 1, win::ERROR_DISK_FULL, std::nullopt, false}},
        {"short write", {"WriteFile", 1, 0, 7, false}},
        {"flush fails", {"FlushFileBuffers", 1, win::ERROR_WRITE_FAULT, std::nullopt, false}},
    };
    for (const auto& c : cases) {
        sim::Machine m;
        m.faults.Arm(c.fault);
        auto run = RunVeltamoor(Redirected(m), u"--extract-marker " + kTarget);
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_EQ(run.redirectedBytes, kFailed) << c.name;
        EXPECT_FALSE(m.files.Exists(kTarget)) << c.name;
        EXPECT_EQ(m.handles.OpenCount(), 0u) << c.name;
    }
}

TEST(ExtractMarker, AMissingOrEmptyResourceCreatesNothing) {
    for (int variant = 0; variant < 3; ++variant) {
        sim::Machine m;
        if (variant == 0) m.resources.items.erase({10, 101});
        if (variant == 1) m.resources.items[{10, 101}].clear();
        if (variant == 2) m.faults.Fail("LockResource", 1, 0);
        auto run = RunVeltamoor(Redirected(m), u"--extract-marker " + kTarget);
        EXPECT_EQ(run.exitCode, 1) << variant;
        EXPECT_EQ(run.redirectedBytes, kFailed) << variant;
        EXPECT_FALSE(m.files.Exists(kTarget)) << variant;
        EXPECT_EQ(m.faults.Calls("CreateFileW"), 0u) << variant;
    }
}

TEST(ExtractMarker, AMissingFolderFailsInChinese) {
    sim::Machine m;
    auto run = RunVeltamoor(Redirected(m), u"--lang zh --extract-marker C:\\nowhere\\m.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.redirectedBytes, "提取失败，输出文件必须不存在。\n");
}

}  // namespace
}  // namespace velta
