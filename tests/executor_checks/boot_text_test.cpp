// The boot-screen progress line and texts, and the claim file's progress record.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "boot/executor/boot_text.h"
#include "common/claim_record.h"
#include "common/little_endian.h"

namespace velta::boot {
namespace {

constexpr uint64_t MiB = kMebibyte;

std::u16string Line(uint64_t moved, uint64_t total, bool chinese) {
    char16_t line[kProgressLineUnits];
    const uint32_t n = BuildProgressLine(moved, total, chinese, line);
    EXPECT_EQ(line[n], 0);
    return std::u16string(line, n);
}

TEST(ProgressLine, Table) {
    struct Case {
        uint64_t moved, total;
        bool chinese;
        const char16_t* expected;
    } cases[] = {
        {3584 * MiB, 10240 * MiB, false, u"Moving 35% (3.5/10.0 GB)"},
        {0, 10240 * MiB, false, u"Moving 0% (0.0/10.0 GB)"},
        {0, 1 * MiB, false, u"Moving 0% (0.0/0.0 GB)"},
        {4 * MiB, 9 * MiB, false, u"Moving 44% (0.0/0.0 GB)"},
        {1023 * MiB, 1024 * MiB, false, u"Moving 99% (0.9/1.0 GB)"},
        {1024 * MiB, 1024 * MiB, false, u"Moving 100% (1.0/1.0 GB)"},
        {2047 * MiB, 4096 * MiB, true, u"正在移动 49% (1.9/4.0 GB)"},
        {uint64_t{1} << 50, uint64_t{1} << 50, false, u"Moving 100% (1048576.0/1048576.0 GB)"},
    };
    for (const Case& c : cases) EXPECT_EQ(Line(c.moved, c.total, c.chinese), c.expected);
}

TEST(BootTexts, BothLanguages) {
    EXPECT_EQ(std::u16string(BootTextFor(BootText::UpdatingPartitions, false)), u"Updating partitions");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::UpdatingPartitions, true)), u"更新分区表");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ExtendingPartition, false)), u"Extending partition");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ExtendingPartition, true)), u"扩展系统分区");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ExtendingNtfs, false)), u"Extending NTFS");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ExtendingNtfs, true)), u"扩展 NTFS");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ResizeComplete, false)), u"Resize complete");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ResizeComplete, true)), u"扩容完成");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ResizeIncomplete, false)), u"Resize incomplete");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::ResizeIncomplete, true)), u"扩容未完成");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::MoveComplete, false)), u"Move complete");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::MoveComplete, true)), u"移动完成");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::MoveStopped, false)), u"Move stopped");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::MoveStopped, true)), u"移动中止");
    EXPECT_EQ(std::u16string(BootTextFor(BootText::MovingPrefix, true)), u"正在移动 ");
}

TEST(ClaimRecord, RoundTripAndLayout) {
    ClaimRecord r;
    for (size_t i = 0; i < kBootPlanSize; ++i) r.plan[i] = static_cast<uint8_t>(i * 7);
    r.bytesMoved = 0x0123456789ABCDEFull;
    r.stage = MoveStage::VerifyTarget;
    r.status = static_cast<int32_t>(0xC0000185u);
    uint8_t image[kClaimRecordSize];
    EncodeClaimRecord(r, image);
    EXPECT_EQ(image[0], 'C');
    EXPECT_EQ(image[1], 'M');
    EXPECT_EQ(image[2], 'T');
    EXPECT_EQ(image[3], 'V');
    EXPECT_EQ(LoadLe32(image + 4), 1u);
    EXPECT_EQ(image[8 + 135], static_cast<uint8_t>(135 * 7));
    EXPECT_EQ(LoadLe64(image + 0x90), r.bytesMoved);
    EXPECT_EQ(LoadLe32(image + 0x98), 9u);
    EXPECT_EQ(LoadLe32(image + 0x9C), 0xC0000185u);

    ClaimRecord back;
    ASSERT_TRUE(DecodeClaimRecord(image, sizeof image, &back));
    EXPECT_EQ(back.bytesMoved, r.bytesMoved);
    EXPECT_EQ(back.stage, r.stage);
    EXPECT_EQ(back.status, r.status);
    EXPECT_EQ(0, std::memcmp(back.plan, r.plan, kBootPlanSize));
}

TEST(ClaimRecord, RefusesShortDamagedOrForeignImages) {
    ClaimRecord r;
    r.bytesMoved = 4 * MiB;
    uint8_t image[kClaimRecordSize];
    EncodeClaimRecord(r, image);
    ClaimRecord back;
    EXPECT_FALSE(DecodeClaimRecord(image, kClaimRecordSize - 1, &back));
    EXPECT_FALSE(DecodeClaimRecord(nullptr, kClaimRecordSize, &back));
    for (size_t at : {size_t{0}, size_t{4}, size_t{20}, size_t{0x90}, size_t{0xA4}, kClaimRecordSize - 1}) {
        SCOPED_TRACE(at);
        uint8_t damaged[kClaimRecordSize];
        std::memcpy(damaged, image, sizeof image);
        damaged[at] ^= 0x10;
        EXPECT_FALSE(DecodeClaimRecord(damaged, sizeof damaged, &back));
    }
    const uint8_t empty[kClaimRecordSize] = {};
    EXPECT_FALSE(DecodeClaimRecord(empty, sizeof empty, &back));
}

}  // namespace
}  // namespace velta::boot
