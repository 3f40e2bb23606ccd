// The executor's two table checks on crafted layout replies and sectors, in both modes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "boot/executor/table_checks.h"
#include "common/disk_layout.h"
#include "common/little_endian.h"
#include "platform/nt/status.h"

namespace velta::boot {
namespace {

constexpr uint64_t MiB = kMebibyte;
using Mode = TableCheckMode;

const Guid kDiskId = {0x1111, 0x2, 0x3, {1, 1, 1, 1, 1, 1, 1, 1}};
const Guid kWindowsId = {0x2222, 0x2, 0x3, {2, 2, 2, 2, 2, 2, 2, 2}};
const Guid kSourceId = {0x3333, 0x2, 0x3, {3, 3, 3, 3, 3, 3, 3, 3}};
const Guid kOtherId = {0x4444, 0x2, 0x3, {4, 4, 4, 4, 4, 4, 4, 4}};

struct Entry {
    uint32_t style = disk::PARTITION_STYLE_GPT;
    uint64_t start = 0;
    uint64_t length = 0;
    uint32_t number = 0;
    uint8_t mbrType = 0;
    uint8_t boot = 0;
    Guid type = disk::kBasicDataPartitionType;
    Guid id{};
    uint64_t attributes = 0;
    uint8_t rewrite = 1;  // the check must clear it
};

struct Layout {
    uint32_t style = disk::PARTITION_STYLE_GPT;
    uint32_t mbrSignature = 0;
    Guid diskId = kDiskId;
    uint64_t usableStart = 34 * 512;
    uint64_t usableLength = 64 * MiB - 67 * 512;
    std::vector<Entry> entries;
    int64_t countAdjust = 0;  // PartitionCount written as entries + this
    int64_t returnedAdjust = 0;
};

std::vector<uint8_t> Reply(const Layout& l) {
    std::vector<uint8_t> r(48 + l.entries.size() * 144);
    StoreLe32(r.data() + 0, l.style);
    StoreLe32(r.data() + 4, static_cast<uint32_t>(l.entries.size() + l.countAdjust));
    if (l.style == disk::PARTITION_STYLE_MBR) {
        StoreLe32(r.data() + 8, l.mbrSignature);
    } else {
        StoreGuid(r.data() + 8, l.diskId);
        StoreLe64(r.data() + 24, l.usableStart);
        StoreLe64(r.data() + 32, l.usableLength);
        StoreLe32(r.data() + 40, 128);
    }
    for (size_t i = 0; i < l.entries.size(); ++i) {
        const Entry& e = l.entries[i];
        uint8_t* p = r.data() + 48 + i * 144;
        StoreLe32(p + 0, e.style);
        StoreLe64(p + 8, e.start);
        StoreLe64(p + 16, e.length);
        StoreLe32(p + 24, e.number);
        p[28] = e.rewrite;
        if (e.style == disk::PARTITION_STYLE_MBR) {
            p[32] = e.mbrType;
            p[33] = e.boot;
            StoreLe32(p + 36, static_cast<uint32_t>(e.start / 512));
        } else {
            StoreGuid(p + 32, e.type);
            StoreGuid(p + 48, e.id);
            StoreLe64(p + 64, e.attributes);
        }
    }
    return r;
}

// GPT: EFI 1 MiB at 1 MiB, Windows 16 MiB at 2 MiB, the source 8 MiB right after it, free
// space to the end of a 64 MiB disk.
BootPlan GptMovePlan() {
    BootPlan p;
    p.magic = static_cast<uint32_t>(BootPlanKind::MovePrimary);
    p.windowsPartitionNumber = 2;
    p.sourcePartitionNumber = 3;
    p.bytesPerSector = 512;
    p.gptDiskId = kDiskId;
    p.windowsPartitionId = kWindowsId;
    p.sourcePartitionId = kSourceId;
    p.diskSize = 64 * MiB;
    p.windowsStart = 2 * MiB;
    p.windowsLength = 16 * MiB;
    p.sourceStart = 18 * MiB;
    p.sourceLength = 8 * MiB;
    p.shift = 4 * MiB;
    return p;
}

Layout GptLayout() {
    Layout l;
    l.entries = {
        {disk::PARTITION_STYLE_GPT, 1 * MiB, 1 * MiB, 1, 0, 0, disk::kEfiSystemPartitionType, kOtherId, 1},
        {disk::PARTITION_STYLE_GPT, 2 * MiB, 16 * MiB, 2, 0, 0, disk::kBasicDataPartitionType, kWindowsId, 0},
        {disk::PARTITION_STYLE_GPT, 18 * MiB, 8 * MiB, 3, 0, 0, disk::kBasicDataPartitionType, kSourceId, 0},
    };
    return l;
}

BootPlan GptGrowPlan() {
    BootPlan p = GptMovePlan();
    p.magic = static_cast<uint32_t>(BootPlanKind::GrowOnly);
    p.sourcePartitionNumber = 0;
    p.sourcePartitionId = Guid{};
    p.sourceStart = 18 * MiB;
    p.sourceLength = 0;
    p.shift = 0;
    return p;
}

// MBR: Windows 16 MiB at 1 MiB (number 1), the source 8 MiB at 17 MiB (number 2).
BootPlan MbrMovePlan() {
    BootPlan p;
    p.magic = static_cast<uint32_t>(BootPlanKind::MovePrimary);
    p.windowsPartitionNumber = 1;
    p.sourcePartitionNumber = 2;
    p.bytesPerSector = 512;
    p.mbrSignature = 0xA1B2C3D4;
    p.diskSize = 64 * MiB;
    p.windowsStart = 1 * MiB;
    p.windowsLength = 16 * MiB;
    p.sourceStart = 17 * MiB;
    p.sourceLength = 8 * MiB;
    p.shift = 4 * MiB;
    return p;
}

Entry MbrEntry(uint64_t start, uint64_t length, uint32_t number, uint8_t type, uint8_t boot = 0) {
    Entry e;
    e.style = disk::PARTITION_STYLE_MBR;
    e.start = start;
    e.length = length;
    e.number = number;
    e.mbrType = type;
    e.boot = boot;
    return e;
}

Layout MbrLayout() {
    Layout l;
    l.style = disk::PARTITION_STYLE_MBR;
    l.mbrSignature = 0xA1B2C3D4;
    l.entries = {MbrEntry(1 * MiB, 16 * MiB, 1, 0x07, 0x80), MbrEntry(17 * MiB, 8 * MiB, 2, 0x07),
                 MbrEntry(0, 0, 0, 0), MbrEntry(0, 0, 0, 0)};
    return l;
}

nt::NTSTATUS Check(const Layout& l, const BootPlan& plan, uint64_t amount, Mode mode,
                   LayoutFacts* facts = nullptr, std::vector<uint8_t>* out = nullptr) {
    std::vector<uint8_t> reply = Reply(l);
    LayoutFacts f;
    nt::NTSTATUS s = CheckDriveLayout(reply.data(), reply.size() + l.returnedAdjust, plan,
                                      amount, mode, &f);
    if (facts) *facts = f;
    if (out) *out = reply;
    return s;
}

constexpr nt::NTSTATUS kOk = nt::STATUS_SUCCESS;
constexpr nt::NTSTATUS kBad = nt::STATUS_DATA_ERROR;

TEST(DriveLayoutCheck, GptMoveBeforeModePassesAndLeavesTheSourceEntry) {
    LayoutFacts f;
    std::vector<uint8_t> reply;
    ASSERT_EQ(Check(GptLayout(), GptMovePlan(), 4 * MiB, Mode::Before, &f, &reply), kOk);
    EXPECT_TRUE(f.sourceFound);
    EXPECT_EQ(f.sourceEntryIndex, 2u);
    EXPECT_EQ(f.layoutSize, 48u + 3 * 144);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reply[48 + i * 144 + 28], 0) << "entry " << i;
}

struct LayoutCase {
    const char* name;
    std::function<void(Layout&, BootPlan&)> edit;
    Mode mode;
    nt::NTSTATUS expected;
};

void RunCases(const std::vector<LayoutCase>& cases, Layout (*layout)(), BootPlan (*plan)(),
              uint64_t amount) {
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        Layout l = layout();
        BootPlan p = plan();
        c.edit(l, p);
        EXPECT_EQ(Check(l, p, amount, c.mode), c.expected);
    }
}

TEST(DriveLayoutCheck, GptMoveCases) {
    const std::vector<LayoutCase> cases = {
        {"as planned", [](Layout&, BootPlan&) {}, Mode::Before, kOk},
        {"47 bytes returned", [](Layout& l, BootPlan&) { l.returnedAdjust = -(int64_t)(3 * 144 + 1); }, Mode::Before, kBad},
        {"count beyond the reply", [](Layout& l, BootPlan&) { l.countAdjust = 1; }, Mode::Before, kBad},
        {"last entry one byte short", [](Layout& l, BootPlan&) { l.returnedAdjust = -1; }, Mode::Before, kBad},
        {"count 0", [](Layout& l, BootPlan&) { l.entries.clear(); }, Mode::Before, kBad},
        {"MBR style reply", [](Layout& l, BootPlan&) { l.style = disk::PARTITION_STYLE_MBR; }, Mode::Before, kBad},
        {"other disk id", [](Layout& l, BootPlan&) { l.diskId = kOtherId; }, Mode::Before, kBad},
        {"usable start 0", [](Layout& l, BootPlan&) { l.usableStart = 0; }, Mode::Before, kBad},
        {"usable length negative", [](Layout& l, BootPlan&) { l.usableLength = ~0ull; }, Mode::Before, kBad},
        {"usable area beyond the disk", [](Layout& l, BootPlan&) { l.usableLength = 64 * MiB; }, Mode::Before, kBad},
        {"no room for the shift", [](Layout& l, BootPlan&) { l.usableLength = 29 * MiB - 34 * 512; }, Mode::Before, kBad},
        {"room for the shift exactly", [](Layout& l, BootPlan&) { l.usableLength = 30 * MiB - 34 * 512; }, Mode::Before, kOk},
        {"source hidden", [](Layout& l, BootPlan&) { l.entries[2].attributes = disk::GPT_BASIC_DATA_ATTRIBUTE_HIDDEN; }, Mode::Before, kBad},
        {"source any attribute bit", [](Layout& l, BootPlan&) { l.entries[2].attributes = 1ull << 48; }, Mode::Before, kBad},
        {"source is a recovery partition", [](Layout& l, BootPlan&) { l.entries[2].type = disk::kRecoveryPartitionType; }, Mode::Before, kBad},
        {"source id differs", [](Layout& l, BootPlan&) { l.entries[2].id = kOtherId; }, Mode::Before, kBad},
        {"source length differs", [](Layout& l, BootPlan&) { l.entries[2].length = 7 * MiB; }, Mode::Before, kBad},
        {"source missing", [](Layout& l, BootPlan&) { l.entries.pop_back(); }, Mode::Before, kBad},
        {"source twice", [](Layout& l, BootPlan&) { l.entries.push_back(l.entries[2]); l.entries[3].start = 40 * MiB; }, Mode::Before, kBad},
        {"windows twice", [](Layout& l, BootPlan&) { Entry e = l.entries[1]; e.start = 40 * MiB; l.entries.push_back(e); }, Mode::Before, kBad},
        {"windows length differs", [](Layout& l, BootPlan&) { l.entries[1].length = 15 * MiB; }, Mode::Before, kBad},
        {"windows id differs", [](Layout& l, BootPlan&) { l.entries[1].id = kOtherId; }, Mode::Before, kBad},
        {"windows type not basic data", [](Layout& l, BootPlan&) { l.entries[1].type = disk::kLdmDataPartitionType; }, Mode::Before, kBad},
        {"windows missing", [](Layout& l, BootPlan&) { l.entries.erase(l.entries.begin() + 1); }, Mode::Before, kBad},
        {"a partition in the new place", [](Layout& l, BootPlan&) { l.entries.push_back({disk::PARTITION_STYLE_GPT, 29 * MiB, 1 * MiB, 4, 0, 0, disk::kBasicDataPartitionType, kOtherId, 0}); }, Mode::Before, kBad},
        {"a partition right after the new place", [](Layout& l, BootPlan&) { l.entries.push_back({disk::PARTITION_STYLE_GPT, 30 * MiB, 1 * MiB, 4, 0, 0, disk::kBasicDataPartitionType, kOtherId, 0}); }, Mode::Before, kOk},
        {"entry of MBR style", [](Layout& l, BootPlan&) { l.entries[0].style = disk::PARTITION_STYLE_MBR; }, Mode::Before, kBad},
        {"entry of length 0", [](Layout& l, BootPlan&) { l.entries[0].length = 0; }, Mode::Before, kBad},
        {"entry before the usable area", [](Layout& l, BootPlan&) { l.entries[0].start = 512; }, Mode::Before, kBad},
        {"entry past the usable area", [](Layout& l, BootPlan&) { l.entries.push_back({disk::PARTITION_STYLE_GPT, 63 * MiB, 1 * MiB, 4, 0, 0, disk::kBasicDataPartitionType, kOtherId, 0}); }, Mode::Before, kBad},
        {"entry with a negative start", [](Layout& l, BootPlan&) { l.entries[0].start = ~0ull - 1; }, Mode::Before, kBad},
        {"after mode on the unchanged table", [](Layout&, BootPlan&) {}, Mode::After, kBad},
        {"after mode on the moved table", [](Layout& l, BootPlan&) { l.entries[2].start = 22 * MiB; }, Mode::After, kOk},
        {"before mode on the moved table", [](Layout& l, BootPlan&) { l.entries[2].start = 22 * MiB; }, Mode::Before, kBad},
    };
    RunCases(cases, GptLayout, GptMovePlan, 4 * MiB);
}

TEST(DriveLayoutCheck, MbrMoveCases) {
    const std::vector<LayoutCase> cases = {
        {"as planned", [](Layout&, BootPlan&) {}, Mode::Before, kOk},
        {"GPT style reply", [](Layout& l, BootPlan&) { l.style = disk::PARTITION_STYLE_GPT; }, Mode::Before, kBad},
        {"other signature", [](Layout& l, BootPlan&) { l.mbrSignature = 1; }, Mode::Before, kBad},
        {"five entries", [](Layout& l, BootPlan&) { l.entries.push_back(MbrEntry(0, 0, 0, 0)); }, Mode::Before, kBad},
        {"empty slot with a type", [](Layout& l, BootPlan&) { l.entries[3].mbrType = 0x07; }, Mode::Before, kBad},
        {"dynamic disk entry", [](Layout& l, BootPlan&) { l.entries[3] = MbrEntry(40 * MiB, 1 * MiB, 3, 0x42); }, Mode::Before, kBad},
        {"extended container", [](Layout& l, BootPlan&) { l.entries[3] = MbrEntry(40 * MiB, 8 * MiB, 0, 0x0F); }, Mode::Before, kBad},
        {"linux extended container", [](Layout& l, BootPlan&) { l.entries[3] = MbrEntry(40 * MiB, 8 * MiB, 0, 0x85); }, Mode::Before, kBad},
        {"source active", [](Layout& l, BootPlan&) { l.entries[1].boot = 0x80; }, Mode::Before, kBad},
        {"source not NTFS", [](Layout& l, BootPlan&) { l.entries[1].mbrType = 0x0C; }, Mode::Before, kBad},
        {"windows not NTFS", [](Layout& l, BootPlan&) { l.entries[0].mbrType = 0x27; }, Mode::Before, kBad},
        {"a partition in the new place", [](Layout& l, BootPlan&) { l.entries[2] = MbrEntry(28 * MiB, 1 * MiB, 3, 0x07); }, Mode::Before, kBad},
        {"sector 0 is outside the area", [](Layout& l, BootPlan&) { l.entries[2] = MbrEntry(0, 1 * MiB, 3, 0x07); }, Mode::Before, kBad},
        {"after mode on the moved table", [](Layout& l, BootPlan&) { l.entries[1].start = 21 * MiB; }, Mode::After, kOk},
        {"after mode on the unchanged table", [](Layout&, BootPlan&) {}, Mode::After, kBad},
    };
    RunCases(cases, MbrLayout, MbrMovePlan, 4 * MiB);
}

TEST(DriveLayoutCheck, MbrAreaEndsAtTwoToThe32Sectors) {
    // A 3 TiB disk: the MBR can address only the first 2^32 sectors, so no room at the end.
    BootPlan p = MbrMovePlan();
    p.diskSize = 3 * kTebibyte;
    p.sourceStart = (uint64_t{1} << 41) - 9 * MiB;
    p.sourceLength = 8 * MiB;
    Layout l = MbrLayout();
    l.entries[1] = MbrEntry(p.sourceStart, 8 * MiB, 2, 0x07);
    p.shift = 1 * MiB;  // up to the last addressable byte
    EXPECT_EQ(Check(l, p, 1 * MiB, Mode::Before), kOk);
    p.shift = 2 * MiB;
    EXPECT_EQ(Check(l, p, 2 * MiB, Mode::Before), kBad);
}

TEST(DriveLayoutCheck, GrowOnlyCases) {
    const std::vector<LayoutCase> cases = {
        {"as planned", [](Layout& l, BootPlan&) { l.entries.pop_back(); }, Mode::Before, kOk},
        {"a partition where Windows would grow",
         [](Layout& l, BootPlan&) { l.entries[2].start = 20 * MiB; l.entries[2].length = 1 * MiB; }, Mode::Before, kBad},
        {"a partition right after the growth",
         [](Layout& l, BootPlan&) { l.entries[2].start = 22 * MiB; l.entries[2].length = 1 * MiB; }, Mode::Before, kOk},
        {"no room for the amount",
         [](Layout& l, BootPlan&) { l.entries.pop_back(); l.usableLength = 21 * MiB - 34 * 512; }, Mode::Before, kBad},
        {"windows missing", [](Layout& l, BootPlan&) { l.entries.erase(l.entries.begin() + 1, l.entries.end()); }, Mode::Before, kBad},
    };
    RunCases(cases, GptLayout, GptGrowPlan, 4 * MiB);
}

TEST(DriveLayoutCheck, GrowOnlyOnAnMbrDiskWithLogicalPartitions) {
    BootPlan p = MbrMovePlan();
    p.magic = static_cast<uint32_t>(BootPlanKind::GrowOnly);
    p.sourcePartitionNumber = 0;
    p.sourceStart = 17 * MiB;
    p.sourceLength = 0;
    p.shift = 0;
    Layout l = MbrLayout();
    l.entries[1] = MbrEntry(30 * MiB, 30 * MiB, 0, 0x0F);
    for (Entry e : {MbrEntry(31 * MiB, 8 * MiB, 2, 0x07), MbrEntry(0, 0, 0, 0), MbrEntry(0, 0, 0, 0),
                    MbrEntry(0, 0, 0, 0)})
        l.entries.push_back(e);
    EXPECT_EQ(Check(l, p, 4 * MiB, Mode::Before), kOk);
    EXPECT_EQ(Check(l, p, 14 * MiB, Mode::Before), kBad);  // reaches into the container
}

// ---------------------------------------------------------------------------------------------
// MBR chain check.

// Windows 16 MiB at 1 MiB; the extended partition at 17 MiB up to 60 MiB; its first logical
// partition (the source) 8 MiB at 18 MiB; optionally a second logical at 40 MiB + 1 MiB.
constexpr uint32_t kExtStart = 17 * 2048;
constexpr uint32_t kExtCount = 43 * 2048;
constexpr uint32_t kSecondEbr = 40 * 2048;

BootPlan ChainPlan() {
    BootPlan p;
    p.magic = static_cast<uint32_t>(BootPlanKind::MoveLogical);
    p.windowsPartitionNumber = 1;
    p.sourcePartitionNumber = 2;
    p.bytesPerSector = 512;
    p.mbrSignature = 0x0BADCAFE;
    p.diskSize = 64 * MiB;
    p.windowsStart = 1 * MiB;
    p.windowsLength = 16 * MiB;
    p.sourceStart = 18 * MiB;
    p.sourceLength = 8 * MiB;
    p.shift = 4 * MiB;
    return p;
}
constexpr uint64_t kNeighbour = 17 * MiB;

void PutEntry(std::vector<uint8_t>& s, int i, uint8_t boot, uint8_t type, uint32_t start,
              uint32_t count) {
    uint8_t* p = s.data() + 446 + 16 * i;
    p[0] = boot;
    p[1] = 0xFE;  // CHS bytes are not looked at
    p[4] = type;
    p[5] = 0xFF;
    StoreLe32(p + 8, start);
    StoreLe32(p + 12, count);
}

std::vector<uint8_t> Sector() {
    std::vector<uint8_t> s(512);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

struct Chain {
    std::vector<uint8_t> mbr = Sector();
    std::vector<uint8_t> ebr1 = Sector();
    std::vector<uint8_t> ebr2 = Sector();
    uint64_t ebr1Sector = kExtStart;
    uint64_t ebr2Sector = kSecondEbr;
};

Chain MakeChain(bool second) {
    Chain c;
    StoreLe32(c.mbr.data() + 440, 0x0BADCAFE);
    PutEntry(c.mbr, 0, 0x80, 0x07, 2048, 16 * 2048);
    PutEntry(c.mbr, 1, 0, 0x0F, kExtStart, kExtCount);
    PutEntry(c.ebr1, 0, 0, 0x07, 2048, 8 * 2048);
    if (second) {
        PutEntry(c.ebr1, 1, 0, 0x05, kSecondEbr - kExtStart, kExtStart + kExtCount - kSecondEbr);
        PutEntry(c.ebr2, 0, 0, 0x07, 2048, 8 * 2048);
    }
    return c;
}

// Runs the three steps in the order the executor reads the sectors; the chain's sectors stand
// at the places the facts name, so a wrong place reads as an empty sector.
nt::NTSTATUS CheckChain(const Chain& c, const BootPlan& p, Mode mode, ChainFacts* out = nullptr) {
    ChainFacts f;
    nt::NTSTATUS s = CheckChainMbr(c.mbr.data(), p, kNeighbour, mode, &f);
    if (s != kOk) return s;
    std::vector<uint8_t> empty(512);
    const std::vector<uint8_t>& first = f.extendedStart == c.ebr1Sector ? c.ebr1 : empty;
    bool needSecond = false;
    s = CheckChainFirstEbr(first.data(), p, kNeighbour, mode, &f, &needSecond);
    if (s == kOk && needSecond) {
        const std::vector<uint8_t>& next = f.secondEbrSector == c.ebr2Sector ? c.ebr2 : empty;
        s = CheckChainSecondEbr(next.data(), f);
    }
    if (out) *out = f;
    return s;
}

TEST(MbrChainCheck, LastLogicalPartitionPasses) {
    ChainFacts f;
    ASSERT_EQ(CheckChain(MakeChain(false), ChainPlan(), Mode::Before, &f), kOk);
    EXPECT_EQ(f.extendedIndex, 1u);
    EXPECT_EQ(f.extendedStart, kExtStart);
    EXPECT_EQ(f.extendedCount, kExtCount);
    EXPECT_EQ(f.secondEbrSector, 0u);
}

TEST(MbrChainCheck, OneLogicalPartitionAfterTheSourcePasses) {
    ChainFacts f;
    ASSERT_EQ(CheckChain(MakeChain(true), ChainPlan(), Mode::Before, &f), kOk);
    EXPECT_EQ(f.secondEbrSector, kSecondEbr);
}

struct ChainCase {
    const char* name;
    bool second;
    std::function<void(Chain&, BootPlan&)> edit;
    Mode mode;
    nt::NTSTATUS expected;
};

// The table after the update: extended start + s, count − s, first EBR at its new sector with
// its link re-based; the second EBR where it was.
void ApplyUpdate(Chain& c, bool second) {
    const uint32_t s = 4 * 2048;
    PutEntry(c.mbr, 1, 0, 0x0F, kExtStart + s, kExtCount - s);
    c.ebr1Sector = kExtStart + s;
    if (second)
        PutEntry(c.ebr1, 1, 0, 0x05, kSecondEbr - (kExtStart + s), kExtStart + kExtCount - kSecondEbr);
}

TEST(MbrChainCheck, Cases) {
    const std::vector<ChainCase> cases = {
        {"MBR without 55 AA", false, [](Chain& c, BootPlan&) { c.mbr[511] = 0; }, Mode::Before, kBad},
        {"other signature", false, [](Chain& c, BootPlan&) { c.mbr[440] ^= 1; }, Mode::Before, kBad},
        {"type 0 with a start sector", false, [](Chain& c, BootPlan&) { StoreLe32(c.mbr.data() + 446 + 48 + 8, 100); }, Mode::Before, kBad},
        {"type 0 with a CHS byte", false, [](Chain& c, BootPlan&) { c.mbr[446 + 48 + 1] = 1; }, Mode::Before, kBad},
        {"dynamic disk entry", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x42, 61 * 2048, 2048); }, Mode::Before, kBad},
        {"protective entry", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0xEE, 61 * 2048, 2048); }, Mode::Before, kBad},
        {"entry at sector 0", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 0, 1); }, Mode::Before, kBad},
        {"entry of 0 sectors", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 61 * 2048, 0); }, Mode::Before, kBad},
        {"entry past the disk", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 61 * 2048, 3 * 2048 + 1); }, Mode::Before, kBad},
        {"entry to the disk's end", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 61 * 2048, 3 * 2048); }, Mode::Before, kOk},
        {"entry starting past the disk", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 64 * 2048, 1); }, Mode::Before, kBad},
        {"entry with 2^32-1 sectors", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 0xFFFFFFFFu, 0xFFFFFFFFu); }, Mode::Before, kBad},
        {"two extended entries", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x05, kExtStart, 2048); }, Mode::Before, kBad},
        {"no extended entry", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 1, 0, 0x07, 40 * 2048, 2048); }, Mode::Before, kBad},
        {"linux extended is not the container", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 1, 0, 0x85, kExtStart, kExtCount); }, Mode::Before, kBad},
        {"active extended entry", false, [](Chain& c, BootPlan&) { c.mbr[446 + 16] = 0x80; }, Mode::Before, kBad},
        {"extended elsewhere", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 1, 0, 0x0F, kExtStart + 1, kExtCount - 1); }, Mode::Before, kBad},
        {"source beyond the container", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 1, 0, 0x0F, kExtStart, 2048); }, Mode::Before, kBad},
        {"windows length differs", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 0, 0x80, 0x07, 2048, 16 * 2048 - 1); }, Mode::Before, kBad},
        {"windows twice", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 2048, 16 * 2048); }, Mode::Before, kBad},
        {"primary entry inside the container", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 50 * 2048, 2048); }, Mode::Before, kBad},
        {"primary entry after the container", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 2, 0, 0x07, 60 * 2048, 2048); }, Mode::Before, kOk},
        {"EBR without 55 AA", false, [](Chain& c, BootPlan&) { c.ebr1[510] = 0; }, Mode::Before, kBad},
        {"logical not NTFS", false, [](Chain& c, BootPlan&) { c.ebr1[446 + 4] = 0x0C; }, Mode::Before, kBad},
        {"logical active", false, [](Chain& c, BootPlan&) { c.ebr1[446] = 0x80; }, Mode::Before, kBad},
        {"logical elsewhere", false, [](Chain& c, BootPlan&) { PutEntry(c.ebr1, 0, 0, 0x07, 2047, 8 * 2048); }, Mode::Before, kBad},
        {"logical of another size", false, [](Chain& c, BootPlan&) { PutEntry(c.ebr1, 0, 0, 0x07, 2048, 8 * 2048 + 1); }, Mode::Before, kBad},
        {"EBR entry 3 used", false, [](Chain& c, BootPlan&) { c.ebr1[509] = 1; }, Mode::Before, kBad},
        {"moved region past the container", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 1, 0, 0x0F, kExtStart, 13 * 2048 - 1); }, Mode::Before, kBad},
        {"moved region to the container's end", false, [](Chain& c, BootPlan&) { PutEntry(c.mbr, 1, 0, 0x0F, kExtStart, 13 * 2048); }, Mode::Before, kOk},
        {"link not extended", true, [](Chain& c, BootPlan&) { c.ebr1[446 + 16 + 4] = 0x07; }, Mode::Before, kBad},
        {"link active", true, [](Chain& c, BootPlan&) { c.ebr1[446 + 16] = 0x80; }, Mode::Before, kBad},
        {"next EBR inside the moved region", true, [](Chain& c, BootPlan&) {
             PutEntry(c.ebr1, 1, 0, 0x05, 30 * 2048 - 1 - kExtStart, 60 * 2048 - (30 * 2048 - 1));
             c.ebr2Sector = 30 * 2048 - 1;
         }, Mode::Before, kBad},
        {"next EBR right after the moved region", true, [](Chain& c, BootPlan&) {
             PutEntry(c.ebr1, 1, 0, 0x05, 30 * 2048 - kExtStart, 60 * 2048 - 30 * 2048);
             c.ebr2Sector = 30 * 2048;
         }, Mode::Before, kOk},
        {"link past the container", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr1, 1, 0, 0x05, kExtCount, 1); }, Mode::Before, kBad},
        {"link of 0 sectors", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr1, 1, 0, 0x05, kSecondEbr - kExtStart, 0); }, Mode::Before, kBad},
        {"link longer than the container", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr1, 1, 0, 0x05, kSecondEbr - kExtStart, 20 * 2048 + 1); }, Mode::Before, kBad},
        {"second EBR without 55 AA", true, [](Chain& c, BootPlan&) { c.ebr2[511] = 0; }, Mode::Before, kBad},
        {"second logical not NTFS", true, [](Chain& c, BootPlan&) { c.ebr2[446 + 4] = 0x83; }, Mode::Before, kBad},
        {"second logical at offset 0", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr2, 0, 0, 0x07, 0, 2048); }, Mode::Before, kBad},
        {"second logical past its link", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr2, 0, 0, 0x07, 2048, 19 * 2048 + 1); }, Mode::Before, kBad},
        {"second logical filling its link", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr2, 0, 0, 0x07, 2048, 19 * 2048); }, Mode::Before, kOk},
        {"second logical of 0 sectors", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr2, 0, 0, 0x07, 2048, 0); }, Mode::Before, kBad},
        {"two logical partitions after the source", true, [](Chain& c, BootPlan&) { PutEntry(c.ebr2, 1, 0, 0x05, 50 * 2048 - kExtStart, 2048); }, Mode::Before, kBad},
        {"after mode on the unchanged table", false, [](Chain&, BootPlan&) {}, Mode::After, kBad},
        {"after mode on the updated table", false, [](Chain& c, BootPlan&) { ApplyUpdate(c, false); }, Mode::After, kOk},
        {"after mode with a second logical", true, [](Chain& c, BootPlan&) { ApplyUpdate(c, true); }, Mode::After, kOk},
        {"after mode with a stale link", true, [](Chain& c, BootPlan&) {
             ApplyUpdate(c, true);
             PutEntry(c.ebr1, 1, 0, 0x05, kSecondEbr - kExtStart, kExtStart + kExtCount - kSecondEbr);
         }, Mode::After, kBad},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        Chain chain = MakeChain(c.second);
        BootPlan p = ChainPlan();
        c.edit(chain, p);
        EXPECT_EQ(CheckChain(chain, p, c.mode), c.expected);
    }
}

}  // namespace
}  // namespace velta::boot
