// The scan report and the status texts, printed through the console writer of a simulated PC.
#include <gtest/gtest.h>

#include <string>

#include "app/ui/report.h"
#include "app/ui/texts.h"
#include "sim/core/machine.h"
#include "tests/support/example_report.h"

namespace velta {
namespace {

// The MBR example: Windows followed directly by an NTFS data partition D:.
LayoutSnapshot ExampleSnapshot() {
    LayoutSnapshot s;
    s.diskNumber = 0;
    s.logicalSectorSize = 512;
    s.physicalSectorSize = 4096;
    s.isGpt = false;
    s.partitionLines = {u"#1 1048576 104857600 0x07", u"#2 105906176 85899345920 0x07",
                        u"#3 86005252096 107374182400 0x07"};
    s.windowsDrive = u"C:";
    s.windowsVolumeBytes = 85899341824;
    s.windowsUsedBytes = 47459388620;
    s.neighbourText = u"#3 @ 86005252096";
    s.unallocatedRight = 0;
    s.candidateVolumeName = u"D:";
    s.sourceFreeBytes = 64961380352;
    s.shrinkable = 63887638528;
    s.maximumIncrease = 63887638528;
    s.status = ResizeStatus::RestartRequired;
    return s;
}

struct Printed {
    std::string bytes;
    int writes;
};

Printed Print(bool useChinese, const LayoutSnapshot& s) {
    sim::Machine m;
    sim::UseMachine use(m);
    m.console.stdoutKind = sim::StdOutKind::Pipe;
    PrintReport(useChinese, s);
    return {m.console.redirectedBytes, m.console.writeCalls};
}

TEST(Report, ReproducesTheEnglishExampleLineByLine) {
    auto p = Print(false, ExampleSnapshot());
    EXPECT_EQ(p.bytes, testing::kExampleReportEnglish);
    EXPECT_EQ(p.writes, 12) << "each line is one write";
}

TEST(Report, ChineseExampleKeepsNumbersAndNamesAsTheyAre) {
    auto p = Print(true, ExampleSnapshot());
    EXPECT_EQ(p.bytes,
              "维尔塔莫\n"
              "磁盘  0 MBR | 逻辑/物理扇区  512/4096 B\n"
              "分区编号 / 起始字节 / 长度 / 类型\n"
              "#1 1048576 104857600 0x07\n"
              "#2 105906176 85899345920 0x07\n"
              "#3 86005252096 107374182400 0x07\n"
              "C: 当前  80 GB | 已用  44.2 GB\n"
              "相邻分区  #3 @ 86005252096\n"
              "右侧未分配空间  0 GB\n"
              "候选供空间卷  D: | 可用  60.5 GB | 实际可缩  59.5 GB\n"
              "最多可增加  59.5 GB\n"
              "此布局需要重启扩容。\n");
}

TEST(Report, AFailedInspectionShowsTitleStatusAndDetailOnly) {
    LayoutSnapshot s;
    s.status = ResizeStatus::StorageInfoUnavailable;
    s.detail = u"Partition table size";
    EXPECT_EQ(Print(false, s).bytes,
              "Veltamoor\nThe required Windows storage information could not be read.\nPartition table size\n");
}

TEST(Report, BlocksAppearOnlyWithTheirFacts) {
    struct Case {
        const char* name;
        void (*change)(LayoutSnapshot&);
        std::string expected;
    } cases[] = {
        {"no sector size: no disk block",
         [](LayoutSnapshot& s) {
             s.logicalSectorSize = 0;
             s.neighbourText.clear();
             s.candidateVolumeName.clear();
             s.maximumIncrease = 0;
         },
         "Veltamoor\nC: Current  80 GB | Used  44.2 GB\nUnallocated space on right  0 GB\n"
         "This layout requires restarting to resize.\n"},
        {"no NTFS size: no Windows block",
         [](LayoutSnapshot& s) {
             s.windowsVolumeBytes = 0;
             s.partitionLines.clear();
         },
         "Veltamoor\nDisk  0 MBR | Logical/physical sector  512/4096 B\nPartition # / start byte / length / type\n"
         "This layout requires restarting to resize.\n"},
        {"no drive letter, GPT, status outside the table, with detail",
         [](LayoutSnapshot& s) {
             s.isGpt = true;
             s.windowsDrive.clear();
             s.partitionLines.clear();
             s.candidateVolumeName.clear();
             s.maximumIncrease = 0;
             s.unallocatedRight = 3ull << 29;
             s.status = static_cast<ResizeStatus>(11);
             s.detail = u"MSFT_Disk identity or state 0x80041008";
         },
         "Veltamoor\nDisk  0 GPT | Logical/physical sector  512/4096 B\nPartition # / start byte / length / type\n"
         "Windows volume Current  80 GB | Used  44.2 GB\nAdjacent partition  #3 @ 86005252096\n"
         "Unallocated space on right  1.5 GB\n\nMSFT_Disk identity or state 0x80041008\n"},
        {"candidate without maximum",
         [](LayoutSnapshot& s) {
             s.partitionLines.clear();
             s.maximumIncrease = 0;
             s.shrinkable = 0;
             s.status = ResizeStatus::InsufficientShrinkable;
         },
         "Veltamoor\nDisk  0 MBR | Logical/physical sector  512/4096 B\nPartition # / start byte / length / type\n"
         "C: Current  80 GB | Used  44.2 GB\nAdjacent partition  #3 @ 86005252096\nUnallocated space on right  0 GB\n"
         "Adjacent candidate  D: | Free  60.5 GB | Shrinkable  0 GB\n"
         "Windows reports insufficient shrinkable space on the adjacent volume.\n"},
    };
    for (const auto& c : cases) {
        LayoutSnapshot s = ExampleSnapshot();
        c.change(s);
        EXPECT_EQ(Print(false, s).bytes, c.expected) << c.name;
    }
    LayoutSnapshot s = ExampleSnapshot();
    s.windowsDrive.clear();
    EXPECT_NE(Print(true, s).bytes.find("\n系统卷 当前  80 GB"), std::string::npos);
}

TEST(StatusText, EveryValueHasBothLanguagesAndOutOfRangeIsEmpty) {
    for (std::uint32_t v = 0; v < kResizeStatusCount; ++v) {
        auto status = static_cast<ResizeStatus>(v);
        std::u16string zh = StatusText(true, status), en = StatusText(false, status);
        EXPECT_FALSE(zh.empty()) << v;
        EXPECT_FALSE(en.empty()) << v;
        for (char16_t c : en) EXPECT_LT(c, 0x80) << "English text " << v << " holds a non-ASCII unit";
        bool hasHan = false;
        for (char16_t c : zh) hasHan = hasHan || (c >= 0x4E00 && c <= 0x9FFF);
        EXPECT_TRUE(hasHan) << v;
    }
    for (std::uint32_t v : {11u, 12u, 0xFFFFFFFFu}) {
        ASSERT_NE(StatusText(false, static_cast<ResizeStatus>(v)), nullptr);
        EXPECT_EQ(std::u16string(StatusText(false, static_cast<ResizeStatus>(v))), u"");
        EXPECT_EQ(std::u16string(StatusText(true, static_cast<ResizeStatus>(v))), u"");
    }
    EXPECT_EQ(std::u16string(StatusText(false, ResizeStatus::Ready)), u"Ready to schedule a restart and resize.");
    EXPECT_EQ(std::u16string(StatusText(true, ResizeStatus::NotNtfs)), u"涉及的卷必须是 NTFS。");
}

TEST(Texts, EllipsisIsOneCharacter) {
    EXPECT_EQ(std::u16string(operation_text::kReading.en).size(), 16u);
    EXPECT_EQ(std::u16string(operation_text::kReading.zh).size(), 7u);
    EXPECT_EQ(std::u16string(operation_text::kReading.en).back(), u'\u2026');
}

}  // namespace
}  // namespace velta
