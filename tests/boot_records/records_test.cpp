// Byte images of the handoff records, built by hand byte for byte.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/boot_records.h"

namespace velta {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "31 4d 54 56 ..." -> bytes; blanks and line breaks are ignored.
Bytes Hex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

template <std::size_t N>
Bytes Image(const std::uint8_t (&image)[N]) {
    return Bytes(image, image + N);
}

constexpr Guid kGuidA{0x01234567, 0x89AB, 0xCDEF, {0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87}};
constexpr Guid kGuidB{0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
constexpr Guid kGuidC{0xA0B0C0D0, 0xE0F0, 0x0102, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};
constexpr Guid kGuidD{0xDEADBEEF, 0xFEED, 0xFACE, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}};

// Every field distinct, so a field written at the wrong offset or width shows.
BootPlan SamplePlan() {
    BootPlan p;
    p.magic = static_cast<std::uint32_t>(BootPlanKind::MoveLogical);
    p.diskNumber = 3;
    p.windowsPartitionNumber = 2;
    p.sourcePartitionNumber = 5;
    p.bytesPerSector = 512;
    p.mbrSignature = 0xA1B2C3D4;
    p.gptDiskId = kGuidA;
    p.windowsPartitionId = kGuidB;
    p.sourcePartitionId = kGuidC;
    p.sourceVolumeId = kGuidD;
    p.diskSize = 0x0000001D1A94A200ull;
    p.windowsStart = 0x0000000000100000ull;
    p.windowsLength = 0x0000000A00000000ull;
    p.sourceStart = 0x0000000A00200000ull;
    p.sourceLength = 0x0000000780000000ull;
    p.shift = 0x0000000280000000ull;
    return p;
}

const Bytes kSamplePlanImage = Hex(
    "32 4d 54 56"  // 0x00 magic 'VTM2': digit, 'M', 'T', 'V'
    "03 00 00 00"  // 0x04 diskNumber
    "02 00 00 00"  // 0x08 windowsPartitionNumber
    "05 00 00 00"  // 0x0C sourcePartitionNumber
    "00 02 00 00"  // 0x10 bytesPerSector
    "d4 c3 b2 a1"  // 0x14 mbrSignature
    "67 45 23 01 ab 89 ef cd f0 e1 d2 c3 b4 a5 96 87"  // 0x18 gptDiskId
    "44 33 22 11 66 55 88 77 99 aa bb cc dd ee ff 00"  // 0x28 windowsPartitionId
    "d0 c0 b0 a0 f0 e0 02 01 03 04 05 06 07 08 09 0a"  // 0x38 sourcePartitionId
    "ef be ad de ed fe ce fa 10 20 30 40 50 60 70 80"  // 0x48 sourceVolumeId
    "00 a2 94 1a 1d 00 00 00"  // 0x58 diskSize
    "00 00 10 00 00 00 00 00"  // 0x60 windowsStart
    "00 00 00 00 0a 00 00 00"  // 0x68 windowsLength
    "00 00 20 00 0a 00 00 00"  // 0x70 sourceStart
    "00 00 00 80 07 00 00 00"  // 0x78 sourceLength
    "00 00 00 80 02 00 00 00"  // 0x80 shift
);

TEST(BootPlanImage, EncodesEveryFieldAtItsOffset) {
    ASSERT_EQ(kSamplePlanImage.size(), kBootPlanSize);
    std::uint8_t image[kBootPlanSize];
    std::memset(image, 0xCC, sizeof(image));
    EncodeBootPlan(SamplePlan(), image);
    EXPECT_EQ(Image(image), kSamplePlanImage);
}

TEST(BootPlanImage, DecodesTheHandBuiltImage) {
    BootPlan p;
    ASSERT_TRUE(DecodeBootPlan(kSamplePlanImage.data(), kSamplePlanImage.size(), &p));
    BootPlan want = SamplePlan();
    EXPECT_EQ(p.magic, want.magic);
    EXPECT_EQ(p.diskNumber, want.diskNumber);
    EXPECT_EQ(p.windowsPartitionNumber, want.windowsPartitionNumber);
    EXPECT_EQ(p.sourcePartitionNumber, want.sourcePartitionNumber);
    EXPECT_EQ(p.bytesPerSector, want.bytesPerSector);
    EXPECT_EQ(p.mbrSignature, want.mbrSignature);
    EXPECT_EQ(p.gptDiskId, want.gptDiskId);
    EXPECT_EQ(p.windowsPartitionId, want.windowsPartitionId);
    EXPECT_EQ(p.sourcePartitionId, want.sourcePartitionId);
    EXPECT_EQ(p.sourceVolumeId, want.sourceVolumeId);
    EXPECT_EQ(p.diskSize, want.diskSize);
    EXPECT_EQ(p.windowsStart, want.windowsStart);
    EXPECT_EQ(p.windowsLength, want.windowsLength);
    EXPECT_EQ(p.sourceStart, want.sourceStart);
    EXPECT_EQ(p.sourceLength, want.sourceLength);
    EXPECT_EQ(p.shift, want.shift);
}

TEST(BootPlanImage, MagicBytesOfEachKind) {
    struct Case {
        BootPlanKind kind;
        const char* bytes;
    } cases[] = {
        {BootPlanKind::MovePrimary, "31 4d 54 56"},
        {BootPlanKind::MoveLogical, "32 4d 54 56"},
        {BootPlanKind::GrowOnly, "33 4d 54 56"},
    };
    for (const auto& c : cases) {
        BootPlan p;
        p.magic = static_cast<std::uint32_t>(c.kind);
        std::uint8_t image[kBootPlanSize];
        EncodeBootPlan(p, image);
        EXPECT_EQ(Bytes(image, image + 4), Hex(c.bytes));
        // Nothing but the magic is set, so the rest of the image is zero.
        EXPECT_EQ(Bytes(image + 4, image + kBootPlanSize), Bytes(kBootPlanSize - 4, 0));
    }
}

TEST(GrowPlanImage, EncodesAndDecodesAllThirtyTwoBytes) {
    const Bytes hand = Hex(
        "67 45 23 01 ab 89 ef cd f0 e1 d2 c3 b4 a5 96 87"  // 0x00 windowsVolumeId
        "00 00 30 80 02 00 00 00"                          // 0x10 growBy
        "00 00 20 00 0a 00 00 00");                        // 0x18 neighbourStart
    GrowPlan g;
    g.windowsVolumeId = kGuidA;
    g.growBy = 0x0000000280300000ull;
    g.neighbourStart = 0x0000000A00200000ull;
    std::uint8_t image[kGrowPlanSize];
    EncodeGrowPlan(g, image);
    EXPECT_EQ(Image(image), hand);

    GrowPlan back;
    ASSERT_TRUE(DecodeGrowPlan(hand.data(), hand.size(), SamplePlan(), &back));
    EXPECT_EQ(back.windowsVolumeId, kGuidA);
    EXPECT_EQ(back.growBy, g.growBy);
    EXPECT_EQ(back.neighbourStart, g.neighbourStart);
}

TEST(GrowPlanImage, SixteenBytesTakeOnlyTheVolumeIdAndDefaultTheRest) {
    const Bytes sixteen = Hex("44 33 22 11 66 55 88 77 99 aa bb cc dd ee ff 00");
    struct Case {
        BootPlanKind kind;
        std::uint64_t neighbourStart;
    } cases[] = {
        // 'VTM2': the end of the Windows partition, where its extended partition starts.
        {BootPlanKind::MoveLogical, 0x0000000A00100000ull},
        // Otherwise the source partition's start.
        {BootPlanKind::MovePrimary, 0x0000000A00200000ull},
        {BootPlanKind::GrowOnly, 0x0000000A00200000ull},
    };
    for (const auto& c : cases) {
        BootPlan plan = SamplePlan();
        plan.magic = static_cast<std::uint32_t>(c.kind);
        GrowPlan g;
        ASSERT_TRUE(DecodeGrowPlan(sixteen.data(), sixteen.size(), plan, &g));
        EXPECT_EQ(g.windowsVolumeId, kGuidB);
        EXPECT_EQ(g.growBy, plan.shift);
        EXPECT_EQ(g.neighbourStart, c.neighbourStart);

        GrowPlan absent = DefaultGrowPlan(plan);
        EXPECT_EQ(absent.windowsVolumeId, Guid{});
        EXPECT_EQ(absent.growBy, plan.shift);
        EXPECT_EQ(absent.neighbourStart, c.neighbourStart);
    }
}

TEST(ResultImages, MoveResultGrowResultAndDrawCounters) {
    MoveResult move;
    move.stage = MoveStage::LockSource;
    move.status = static_cast<std::int32_t>(0xC000003Eu);
    move.bytesMoved = 0x0000000123456789ull;
    std::uint8_t moveImage[kMoveResultSize];
    EncodeMoveResult(move, moveImage);
    EXPECT_EQ(Image(moveImage), Hex("0e 00 00 00  3e 00 00 c0  89 67 45 23 01 00 00 00"));

    GrowResult grow;
    grow.stage = GrowStage::Done;
    grow.status = 0;
    grow.partitionLength = 0x0000000C80300000ull;
    grow.ntfsBytesBefore = 0x00000009FFFFF000ull;
    grow.ntfsBytesAfter = 0x0000000C802FF000ull;
    std::uint8_t growImage[kGrowResultSize];
    EncodeGrowResult(grow, growImage);
    EXPECT_EQ(Image(growImage), Hex("07 00 00 00  00 00 00 00"
                                    "00 00 30 80 0c 00 00 00"
                                    "00 f0 ff ff 09 00 00 00"
                                    "00 f0 2f 80 0c 00 00 00"));

    DrawCounters draw;
    draw.drawCalls = 7;
    draw.drawSuccesses = 6;
    draw.lastDrawStatus = static_cast<std::int32_t>(0xC0000001u);
    std::uint8_t drawImage[kDrawCountersSize];
    EncodeDrawCounters(draw, drawImage);
    EXPECT_EQ(Image(drawImage), Hex("07 00 00 00  06 00 00 00  01 00 00 c0"));

    // Statuses are signed: an error reads back negative.
    MoveResult m;
    ASSERT_TRUE(DecodeMoveResult(moveImage, sizeof(moveImage), &m));
    EXPECT_EQ(m.stage, MoveStage::LockSource);
    EXPECT_LT(m.status, 0);
    EXPECT_EQ(m.bytesMoved, move.bytesMoved);
    GrowResult g;
    ASSERT_TRUE(DecodeGrowResult(growImage, sizeof(growImage), &g));
    EXPECT_EQ(g.stage, GrowStage::Done);
    EXPECT_EQ(g.partitionLength, grow.partitionLength);
    EXPECT_EQ(g.ntfsBytesBefore, grow.ntfsBytesBefore);
    EXPECT_EQ(g.ntfsBytesAfter, grow.ntfsBytesAfter);
    DrawCounters d;
    ASSERT_TRUE(DecodeDrawCounters(drawImage, sizeof(drawImage), &d));
    EXPECT_EQ(d.drawCalls, 7u);
    EXPECT_EQ(d.drawSuccesses, 6u);
    EXPECT_EQ(d.lastDrawStatus, draw.lastDrawStatus);
}

TEST(RecordDecoders, AcceptOnlyTheExactSize) {
    const BootPlan plan = SamplePlan();
    struct Case {
        const char* record;
        std::vector<std::size_t> accepted;
        bool (*decode)(const std::uint8_t*, std::size_t, const BootPlan&);
    } cases[] = {
        {"BootPlan", {136},
         [](const std::uint8_t* d, std::size_t n, const BootPlan&) {
             BootPlan p;
             return DecodeBootPlan(d, n, &p);
         }},
        {"GrowPlan", {16, 32},
         [](const std::uint8_t* d, std::size_t n, const BootPlan& plan) {
             GrowPlan g;
             return DecodeGrowPlan(d, n, plan, &g);
         }},
        {"MoveResult", {16},
         [](const std::uint8_t* d, std::size_t n, const BootPlan&) {
             MoveResult r;
             return DecodeMoveResult(d, n, &r);
         }},
        {"GrowResult", {32},
         [](const std::uint8_t* d, std::size_t n, const BootPlan&) {
             GrowResult r;
             return DecodeGrowResult(d, n, &r);
         }},
        {"DrawCounters", {12},
         [](const std::uint8_t* d, std::size_t n, const BootPlan&) {
             DrawCounters c;
             return DecodeDrawCounters(d, n, &c);
         }},
    };
    const Bytes buffer(200, 0x5A);
    for (const auto& c : cases) {
        for (std::size_t size = 0; size <= 140; ++size) {
            bool want = false;
            for (std::size_t a : c.accepted) want = want || size == a;
            EXPECT_EQ(c.decode(buffer.data(), size, plan), want) << c.record << " of " << size << " bytes";
        }
    }
}

}  // namespace
}  // namespace velta
