// The checked readers of the shared disk-layout module, at every size and overflow boundary.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/disk_layout.h"
#include "common/little_endian.h"

namespace velta::disk {
namespace {

TEST(CheckedArithmetic, AddAndMultiplyRefuseToWrap) {
    uint64_t r = 7;
    EXPECT_TRUE(CheckedAdd(UINT64_MAX - 1, 1, &r));
    EXPECT_EQ(r, UINT64_MAX);
    r = 7;
    EXPECT_FALSE(CheckedAdd(UINT64_MAX, 1, &r));
    EXPECT_EQ(r, 7u);
    EXPECT_FALSE(CheckedAdd(1, UINT64_MAX, &r));
    EXPECT_TRUE(CheckedMul(uint64_t{1} << 32, (uint64_t{1} << 32) - 1, &r));
    EXPECT_EQ(r, (uint64_t{1} << 32) * ((uint64_t{1} << 32) - 1));
    EXPECT_FALSE(CheckedMul(uint64_t{1} << 32, uint64_t{1} << 32, &r));
    EXPECT_TRUE(CheckedMul(0, UINT64_MAX, &r));
    EXPECT_EQ(r, 0u);
    EXPECT_TRUE(SpanFits(10, 0, 10));
    EXPECT_FALSE(SpanFits(11, 0, 10));
    EXPECT_TRUE(SpanFits(4, 6, 10));
    EXPECT_FALSE(SpanFits(4, 7, 10));
    EXPECT_FALSE(SpanFits(4, UINT64_MAX, 10));
}

std::vector<uint8_t> LayoutReply(uint32_t style, uint32_t count, size_t entriesPresent) {
    std::vector<uint8_t> reply(drive_layout::kHeaderSize + entriesPresent * partition_info::kSize);
    StoreLe32(reply.data() + drive_layout::PartitionStyle, style);
    StoreLe32(reply.data() + drive_layout::PartitionCount, count);
    return reply;
}

struct HeaderCase {
    const char* name;
    uint32_t count;
    uint64_t returned;  // valid bytes the driver reported
    bool ok;
};

TEST(DriveLayoutReader, HeaderAcceptsOnlyCountsThatFitTheReturnedBytes) {
    const HeaderCase cases[] = {
        {"below the header", 0, 47, false},
        {"bare header", 0, 48, true},
        {"one entry missing a byte", 1, 48 + 143, false},
        {"one entry exactly", 1, 48 + 144, true},
        {"two entries, one and a bit returned", 2, 48 + 144 + 143, false},
        {"128 entries exactly", 128, 48 + 128 * 144, true},
        {"count 2^32-1", 0xFFFFFFFFu, 65536, false},
        {"count 2^31 in a huge reply", 0x80000000u, UINT64_MAX, true},
        {"count 2^32-1, reply one byte short", 0xFFFFFFFFu,
         48 + uint64_t{0xFFFFFFFFu} * 144 - 1, false},
    };
    std::vector<uint8_t> buffer(65536);
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        StoreLe32(buffer.data() + drive_layout::PartitionCount, c.count);
        DriveLayoutHeader h;
        h.partitionCount = 12345;
        // The header reader never looks beyond the first 48 bytes, so a returned count larger
        // than the buffer is safe for it; the entry reader is what bounds entry access.
        EXPECT_EQ(ReadDriveLayoutHeader(buffer.data(), c.returned, &h), c.ok);
        if (c.ok) EXPECT_EQ(h.partitionCount, c.count);
        else EXPECT_EQ(h.partitionCount, 12345u);
    }
}

TEST(DriveLayoutReader, HeaderFieldsAtTheirOffsets) {
    std::vector<uint8_t> reply = LayoutReply(PARTITION_STYLE_GPT, 0, 0);
    Guid id = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};
    StoreGuid(reply.data() + 8, id);
    StoreLe64(reply.data() + 24, 0x4400);
    StoreLe64(reply.data() + 32, 0x123456789ull);
    StoreLe32(reply.data() + 40, 128);
    DriveLayoutHeader h;
    ASSERT_TRUE(ReadDriveLayoutHeader(reply.data(), reply.size(), &h));
    EXPECT_EQ(h.partitionStyle, PARTITION_STYLE_GPT);
    EXPECT_EQ(h.gptDiskId, id);
    EXPECT_EQ(h.gptStartingUsableOffset, 0x4400u);
    EXPECT_EQ(h.gptUsableLength, 0x123456789ull);
    EXPECT_EQ(h.gptMaxPartitionCount, 128u);
    EXPECT_EQ(h.mbrSignature, 0x11223344u);  // the same bytes, read as the MBR field
}

TEST(DriveLayoutReader, EntryOffsetsAndSizesRefuseToWrap) {
    uint64_t v = 0;
    EXPECT_TRUE(LayoutEntryOffset(0, &v));
    EXPECT_EQ(v, 48u);
    EXPECT_TRUE(LayoutEntryOffset(3, &v));
    EXPECT_EQ(v, 48u + 3 * 144);
    EXPECT_TRUE(LayoutSize(4, &v));
    EXPECT_EQ(v, 624u);
    const uint64_t largest = (UINT64_MAX - 48) / 144;
    EXPECT_TRUE(LayoutEntryOffset(largest, &v));
    EXPECT_EQ(v, largest * 144 + 48);
    EXPECT_FALSE(LayoutEntryOffset(largest + 1, &v));
    EXPECT_FALSE(LayoutEntryOffset(UINT64_MAX / 144 + 1, &v));
    EXPECT_FALSE(LayoutSize(UINT64_MAX, &v));
}

TEST(DriveLayoutReader, EntryMustLieWhollyInTheReturnedBytes) {
    std::vector<uint8_t> reply = LayoutReply(PARTITION_STYLE_MBR, 2, 2);
    LayoutEntry e;
    EXPECT_TRUE(ReadLayoutEntry(reply.data(), reply.size(), 0, &e));
    EXPECT_TRUE(ReadLayoutEntry(reply.data(), reply.size(), 1, &e));
    EXPECT_FALSE(ReadLayoutEntry(reply.data(), reply.size() - 1, 1, &e));
    EXPECT_FALSE(ReadLayoutEntry(reply.data(), reply.size(), 2, &e));
    EXPECT_FALSE(ReadLayoutEntry(reply.data(), UINT64_MAX, (UINT64_MAX - 48) / 144 + 1, &e));
    EXPECT_FALSE(ReadLayoutEntry(reply.data(), 47, 0, &e));
}

TEST(DriveLayoutReader, EntryFieldsAtTheirOffsets) {
    std::vector<uint8_t> reply = LayoutReply(PARTITION_STYLE_GPT, 2, 2);
    uint8_t* p = reply.data() + 48 + 144;
    StoreLe32(p + 0, PARTITION_STYLE_GPT);
    StoreLe64(p + 8, 0x100000);
    StoreLe64(p + 16, 0x7FFFFFFFFFFFFFFFull);
    StoreLe32(p + 24, 2);
    p[28] = 1;
    StoreGuid(p + 32, kBasicDataPartitionType);
    Guid id = {0xA, 0xB, 0xC, {9, 9, 9, 9, 9, 9, 9, 9}};
    StoreGuid(p + 48, id);
    StoreLe64(p + 64, GPT_BASIC_DATA_ATTRIBUTE_HIDDEN);
    LayoutEntry e;
    ASSERT_TRUE(ReadLayoutEntry(reply.data(), reply.size(), 1, &e));
    EXPECT_EQ(e.partitionStyle, PARTITION_STYLE_GPT);
    EXPECT_EQ(e.startingOffset, 0x100000u);
    EXPECT_EQ(e.partitionLength, 0x7FFFFFFFFFFFFFFFull);
    EXPECT_EQ(e.partitionNumber, 2u);
    EXPECT_EQ(e.rewritePartition, 1);
    EXPECT_EQ(e.gptPartitionType, kBasicDataPartitionType);
    EXPECT_EQ(e.gptPartitionId, id);
    EXPECT_EQ(e.gptAttributes, GPT_BASIC_DATA_ATTRIBUTE_HIDDEN);

    uint8_t* m = reply.data() + 48;
    m[32] = kMbrTypeNtfs;
    m[33] = 0x80;
    m[34] = 1;
    StoreLe32(m + 36, 2048);
    ASSERT_TRUE(ReadLayoutEntry(reply.data(), reply.size(), 0, &e));
    EXPECT_EQ(e.mbrPartitionType, kMbrTypeNtfs);
    EXPECT_EQ(e.mbrBootIndicator, 0x80);
    EXPECT_EQ(e.mbrRecognizedPartition, 1);
    EXPECT_EQ(e.mbrHiddenSectors, 2048u);
}

TEST(MbrSectorReader, NeedsAWholeSectorAndReadsEveryEntry) {
    uint8_t sector[512] = {};
    StoreLe32(sector + 440, 0xCAFEF00D);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    uint8_t* e1 = sector + 446 + 16;
    e1[0] = 0x80;
    e1[4] = kMbrTypeExtendedLba;
    StoreLe32(e1 + 8, 0xFFFFFFFFu);
    StoreLe32(e1 + 12, 0xFFFFFFFFu);
    sector[446 + 48 + 2] = 1;  // a CHS byte only in entry 3
    MbrSector s;
    EXPECT_FALSE(ReadMbrSector(sector, 511, &s));
    ASSERT_TRUE(ReadMbrSector(sector, 512, &s));
    EXPECT_EQ(s.diskSignature, 0xCAFEF00Du);
    EXPECT_TRUE(s.bootSignature);
    EXPECT_TRUE(s.entries[0].allZero);
    EXPECT_FALSE(s.entries[1].allZero);
    EXPECT_EQ(s.entries[1].bootIndicator, 0x80);
    EXPECT_EQ(s.entries[1].type, kMbrTypeExtendedLba);
    EXPECT_EQ(s.entries[1].startSector, 0xFFFFFFFFu);
    EXPECT_EQ(s.entries[1].sectorCount, 0xFFFFFFFFu);
    EXPECT_TRUE(s.entries[2].allZero);
    EXPECT_FALSE(s.entries[3].allZero);
    EXPECT_EQ(s.entries[3].type, 0);
    sector[511] = 0xAB;
    ASSERT_TRUE(ReadMbrSector(sector, 4096, &s));
    EXPECT_FALSE(s.bootSignature);
}

TEST(MbrSectorReader, EntrySpanIn64BitsAndRefusesToWrap) {
    MbrEntry e;
    e.startSector = 0xFFFFFFFFu;
    e.sectorCount = 0xFFFFFFFFu;
    uint64_t start = 0, end = 0;
    ASSERT_TRUE(MbrEntrySpan(0xFFFFFFFFu, e, &start, &end));
    EXPECT_EQ(start, 0x1FFFFFFFEull);
    EXPECT_EQ(end, 0x2FFFFFFFDull);
    EXPECT_FALSE(MbrEntrySpan(UINT64_MAX - 0xFFFFFFFEull, e, &start, &end));
    EXPECT_FALSE(MbrEntrySpan(UINT64_MAX - 0x1FFFFFFFDull, e, &start, &end));
    ASSERT_TRUE(MbrEntrySpan(UINT64_MAX - 0x1FFFFFFFEull, e, &start, &end));
    EXPECT_EQ(end, UINT64_MAX);
}

std::vector<uint8_t> GptHeaderSector(uint32_t entries, uint32_t entrySize, uint64_t entryLba) {
    std::vector<uint8_t> s(512);
    StoreLe64(s.data() + 0, gpt_header::kSignatureValue);
    StoreLe32(s.data() + 8, 0x00010000);
    StoreLe32(s.data() + 12, 92);
    StoreLe64(s.data() + 24, 1);
    StoreLe64(s.data() + 32, 2047);
    StoreLe64(s.data() + 40, 34);
    StoreLe64(s.data() + 48, 2014);
    StoreLe64(s.data() + 72, entryLba);
    StoreLe32(s.data() + 80, entries);
    StoreLe32(s.data() + 84, entrySize);
    return s;
}

void SealGptHeader(std::vector<uint8_t>& s) {
    StoreLe32(s.data() + 16, 0);
    StoreLe32(s.data() + 16, Crc32(s.data(), LoadLe32(s.data() + 12)));
}

TEST(Crc32, KnownValues) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(text, 0), 0u);
    EXPECT_EQ(Crc32(text + 4, 5, Crc32(text, 4)), 0xCBF43926u);
}

TEST(GptHeaderReader, AcceptsASealedHeaderAndReadsItsFields) {
    std::vector<uint8_t> s = GptHeaderSector(128, 128, 2);
    SealGptHeader(s);
    GptHeader h;
    ASSERT_EQ(ReadGptHeader(s.data(), s.size(), 512, &h), GptHeaderError::None);
    EXPECT_EQ(h.myLba, 1u);
    EXPECT_EQ(h.alternateLba, 2047u);
    EXPECT_EQ(h.firstUsableLba, 34u);
    EXPECT_EQ(h.lastUsableLba, 2014u);
    EXPECT_EQ(h.numberOfPartitionEntries, 128u);
    EXPECT_EQ(h.entryArrayBytes, 16384u);
}

struct GptCase {
    const char* name;
    void (*edit)(std::vector<uint8_t>&);
    bool seal;
    uint64_t size;
    uint32_t bytesPerSector;
    GptHeaderError expected;
};

TEST(GptHeaderReader, RefusesEveryBrokenField) {
    const GptCase cases[] = {
        {"91 valid bytes", [](std::vector<uint8_t>&) {}, true, 91, 512, GptHeaderError::Truncated},
        {"92 valid bytes", [](std::vector<uint8_t>&) {}, true, 92, 512, GptHeaderError::None},
        {"signature", [](std::vector<uint8_t>& s) { s[0] = 'e'; }, true, 512, 512,
         GptHeaderError::Signature},
        {"header size 91", [](std::vector<uint8_t>& s) { StoreLe32(s.data() + 12, 91); }, false,
         512, 512, GptHeaderError::HeaderSize},
        {"header size beyond the sector",
         [](std::vector<uint8_t>& s) { StoreLe32(s.data() + 12, 513); }, false, 512, 512,
         GptHeaderError::HeaderSize},
        {"header size beyond the valid bytes",
         [](std::vector<uint8_t>& s) { StoreLe32(s.data() + 12, 200); }, true, 199, 512,
         GptHeaderError::Truncated},
        {"header size 0xFFFFFFFF",
         [](std::vector<uint8_t>& s) { StoreLe32(s.data() + 12, 0xFFFFFFFFu); }, false, 512, 512,
         GptHeaderError::HeaderSize},
        {"stale CRC", [](std::vector<uint8_t>& s) { s[40] ^= 1; }, false, 512, 512,
         GptHeaderError::HeaderCrc},
        {"reserved word", [](std::vector<uint8_t>& s) { s[20] = 1; }, true, 512, 512,
         GptHeaderError::Reserved},
        {"entry size 127", [](std::vector<uint8_t>& s) { StoreLe32(s.data() + 84, 127); }, true,
         512, 512, GptHeaderError::EntrySize},
        {"entry size 132", [](std::vector<uint8_t>& s) { StoreLe32(s.data() + 84, 132); }, true,
         512, 512, GptHeaderError::EntrySize},
        {"usable range reversed", [](std::vector<uint8_t>& s) { StoreLe64(s.data() + 40, 2015); },
         true, 512, 512, GptHeaderError::UsableRange},
        {"largest entry array ends at 2^64-1",
         [](std::vector<uint8_t>& s) {
             StoreLe32(s.data() + 80, 0xFFFFFFFFu);
             StoreLe32(s.data() + 84, 0xFFFFFFF8u);
             const uint64_t bytes = uint64_t{0xFFFFFFFFu} * 0xFFFFFFF8u;
             StoreLe64(s.data() + 72, (UINT64_MAX - bytes) / 512);
         },
         true, 512, 512, GptHeaderError::None},
        {"entry array LBA past 2^64 bytes",
         [](std::vector<uint8_t>& s) { StoreLe64(s.data() + 72, UINT64_MAX / 512 + 1); }, true,
         512, 512, GptHeaderError::EntryArrayOverflow},
        {"entry array end past 2^64 bytes",
         [](std::vector<uint8_t>& s) {
             StoreLe32(s.data() + 80, 0xFFFFFFFFu);
             StoreLe32(s.data() + 84, 0xFFFFFFF8u);
             StoreLe64(s.data() + 72, UINT64_MAX / 512);
         },
         true, 512, 512, GptHeaderError::EntryArrayOverflow},
    };
    for (const GptCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> s = GptHeaderSector(128, 128, 2);
        c.edit(s);
        if (c.seal) SealGptHeader(s);
        GptHeader h;
        EXPECT_EQ(ReadGptHeader(s.data(), c.size, c.bytesPerSector, &h), c.expected);
    }
}

TEST(FixedReplies, EachNeedsItsWholeSize) {
    uint8_t reply[96] = {};
    StoreLe32(reply + 20, 4096);
    StoreLe64(reply + 24, 0x1234500000ull);
    GeometryEx g;
    EXPECT_FALSE(ReadGeometryEx(reply, 31, &g));
    ASSERT_TRUE(ReadGeometryEx(reply, 40, &g));
    EXPECT_EQ(g.bytesPerSector, 4096u);
    EXPECT_EQ(g.diskSize, 0x1234500000ull);

    std::memset(reply, 0, sizeof reply);
    StoreLe32(reply + 0, 1);
    StoreLe32(reply + 8, 3);
    StoreLe64(reply + 16, 0x100000);
    StoreLe64(reply + 24, 0x200000);
    DiskExtent x;
    EXPECT_FALSE(ReadDiskExtents(reply, 31, &x));
    ASSERT_TRUE(ReadDiskExtents(reply, 32, &x));
    EXPECT_EQ(x.numberOfDiskExtents, 1u);
    EXPECT_EQ(x.diskNumber, 3u);
    EXPECT_EQ(x.startingOffset, 0x100000u);
    EXPECT_EQ(x.extentLength, 0x200000u);

    std::memset(reply, 0, sizeof reply);
    StoreLe64(reply + 8, 2047);
    StoreLe64(reply + 16, 255);
    StoreLe32(reply + 40, 512);
    StoreLe32(reply + 44, 4096);
    NtfsVolumeData n;
    EXPECT_FALSE(ReadNtfsVolumeData(reply, 95, &n));
    ASSERT_TRUE(ReadNtfsVolumeData(reply, 96, &n));
    EXPECT_EQ(n.numberSectors, 2047u);
    EXPECT_EQ(n.totalClusters, 255u);
    EXPECT_EQ(n.bytesPerSector, 512u);
    EXPECT_EQ(n.bytesPerCluster, 4096u);
}

}  // namespace
}  // namespace velta::disk
