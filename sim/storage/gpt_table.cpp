// GPT of the simulated PC: protective MBR, both headers and both entry arrays, with CRC32s.
#include <algorithm>

#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "sim/storage/partition_table.h"
#include "sim/storage/table_codec.h"

namespace sim {

using win::LoadGuid;
using velta::LoadLe16;
using velta::LoadLe32;
using velta::LoadLe64;
using win::StoreGuid;
using velta::StoreLe16;
using velta::StoreLe32;
using velta::StoreLe64;
using table_codec::RequireSectorMultiple;
using table_codec::Sector;

namespace {

constexpr std::uint32_t kGptEntries = 128;
constexpr std::uint32_t kGptEntrySize = 128;
constexpr std::uint32_t kGptHeaderSize = 92;

// Windows writes 128 entries of 128 bytes (16 KiB). A header may name a larger array, but one
// beyond 1 MiB (8192 such entries) is no real table: it is refused rather than read, so no
// header can make the disk hold or scan more than that.
constexpr std::uint64_t kMaxEntryArrayBytes = 1u << 20;

// One parsed GPT header, checked.
struct GptHeader {
    bool valid = false;
    std::uint64_t myLba = 0, alternateLba = 0, firstUsable = 0, lastUsable = 0;
    win::GUID diskId{};
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0, entrySize = 0, entriesCrc = 0;
};

// Every used entry must describe a non-empty range inside the header's usable LBAs; an
// entry outside it (a wrapped or reversed range, or one past the disk) makes the array one
// the disk driver cannot use.
bool EntriesUsable(const std::vector<std::uint8_t>& array, const GptHeader& h) {
    for (std::uint32_t i = 0; i < h.entryCount; ++i) {
        const std::uint8_t* e = array.data() + std::uint64_t{i} * h.entrySize;
        if (win::IsZeroGuid(LoadGuid(e))) continue;
        std::uint64_t first = LoadLe64(e + 32);
        std::uint64_t last = LoadLe64(e + 40);
        if (first > last || first < h.firstUsable || last > h.lastUsable) return false;
    }
    return true;
}

// A header is valid when its signature, size and CRC check out, every LBA it names lies on
// the disk, its entry array has a sane geometry and checks out, and its entries lie in its
// usable range. The arithmetic is in sectors, so no product can wrap.
GptHeader ParseGptHeader(const DiskBytes& d, std::uint64_t lba, std::uint32_t ss) {
    GptHeader h;
    std::uint64_t sectors = d.Size() / ss;
    if (lba >= sectors) return h;
    auto s = Sector(d, lba, ss);
    static const char kSig[] = "EFI PART";
    if (!std::equal(kSig, kSig + 8, s.begin())) return h;
    std::uint32_t size = LoadLe32(s.data() + 12);
    if (size < kGptHeaderSize || size > ss) return h;
    std::uint32_t crc = LoadLe32(s.data() + 16);
    StoreLe32(s.data() + 16, 0);
    if (Crc32(s.data(), size) != crc) return h;
    h.myLba = LoadLe64(s.data() + 24);
    h.alternateLba = LoadLe64(s.data() + 32);
    h.firstUsable = LoadLe64(s.data() + 40);
    h.lastUsable = LoadLe64(s.data() + 48);
    h.diskId = LoadGuid(s.data() + 56);
    h.entriesLba = LoadLe64(s.data() + 72);
    h.entryCount = LoadLe32(s.data() + 80);
    h.entrySize = LoadLe32(s.data() + 84);
    h.entriesCrc = LoadLe32(s.data() + 88);
    bool entrySizeOk = h.entrySize >= kGptEntrySize && (h.entrySize & (h.entrySize - 1)) == 0;
    if (h.myLba != lba || h.alternateLba >= sectors || !entrySizeOk || h.entryCount == 0 ||
        h.firstUsable > h.lastUsable || h.lastUsable >= sectors || h.entriesLba >= sectors)
        return h;
    std::uint64_t arrayBytes = std::uint64_t{h.entryCount} * h.entrySize;
    if (arrayBytes > kMaxEntryArrayBytes || arrayBytes > (sectors - h.entriesLba) * ss) return h;
    auto array = d.Read(h.entriesLba * ss, static_cast<std::size_t>(arrayBytes));
    if (Crc32(array.data(), array.size()) != h.entriesCrc) return h;
    if (!EntriesUsable(array, h)) return h;
    h.valid = true;
    return h;
}

void WriteGptCopy(DiskBytes& d, std::uint32_t ss, std::uint64_t headerLba, std::uint64_t alternateLba,
                  std::uint64_t entriesLba, std::uint64_t firstUsable, std::uint64_t lastUsable,
                  const win::GUID& diskId, const std::vector<std::uint8_t>& array) {
    d.Write(entriesLba * ss, array.data(), array.size());
    std::vector<std::uint8_t> h(ss, 0);
    std::copy_n("EFI PART", 8, h.begin());
    StoreLe32(h.data() + 8, 0x00010000);
    StoreLe32(h.data() + 12, kGptHeaderSize);
    StoreLe64(h.data() + 24, headerLba);
    StoreLe64(h.data() + 32, alternateLba);
    StoreLe64(h.data() + 40, firstUsable);
    StoreLe64(h.data() + 48, lastUsable);
    StoreGuid(h.data() + 56, diskId);
    StoreLe64(h.data() + 72, entriesLba);
    StoreLe32(h.data() + 80, static_cast<std::uint32_t>(array.size() / kGptEntrySize));
    StoreLe32(h.data() + 84, kGptEntrySize);
    StoreLe32(h.data() + 88, Crc32(array.data(), array.size()));
    StoreLe32(h.data() + 16, Crc32(h.data(), kGptHeaderSize));
    d.Write(headerLba * ss, h.data(), h.size());
}

// Re-stamps one GPT header after its entry array changed.
void RestampGptHeader(DiskBytes& d, std::uint32_t ss, std::uint64_t headerLba) {
    auto h = Sector(d, headerLba, ss);
    std::uint64_t entriesLba = LoadLe64(h.data() + 72);
    std::uint64_t bytes = std::uint64_t{LoadLe32(h.data() + 80)} * LoadLe32(h.data() + 84);
    auto array = d.Read(entriesLba * ss, static_cast<std::size_t>(bytes));
    StoreLe32(h.data() + 88, Crc32(array.data(), array.size()));
    std::uint32_t size = LoadLe32(h.data() + 12);
    StoreLe32(h.data() + 16, 0);
    StoreLe32(h.data() + 16, Crc32(h.data(), size));
    d.Write(headerLba * ss, h.data(), h.size());
}

}  // namespace

namespace table_codec {

void ReadGpt(const DiskBytes& d, TableView& t) {
    std::uint32_t ss = t.sectorSize;
    std::uint64_t last = d.Size() / ss - 1;
    GptHeader primary = ParseGptHeader(d, 1, ss);
    GptHeader backup = ParseGptHeader(d, primary.valid ? primary.alternateLba : last, ss);
    t.primaryHeaderValid = primary.valid;
    t.backupHeaderValid = backup.valid;
    const GptHeader& h = primary.valid ? primary : backup;
    // Neither copy usable: the disk reports PARTITION_STYLE_RAW, as Windows' disk driver does
    // for a GPT it cannot validate (Disk Management then offers to initialise the disk). No
    // entry of such a table is ever reported, so none can appear at a wrapped offset.
    if (!h.valid) return;
    t.style = TableStyle::Gpt;
    t.diskId = h.diskId;
    t.usableStart = h.firstUsable * ss;
    t.usableLength = (h.lastUsable - h.firstUsable + 1) * ss;
    t.maxPartitionCount = h.entryCount;
    t.gptEntryCount = h.entryCount;
    t.gptEntrySize = h.entrySize;
    t.primaryEntriesLba = primary.valid ? primary.entriesLba : 2;
    t.backupEntriesLba = backup.valid ? backup.entriesLba : 0;
    t.backupHeaderLba = backup.valid ? backup.myLba : 0;
    auto array = d.Read(h.entriesLba * ss, static_cast<std::size_t>(std::uint64_t{h.entryCount} * h.entrySize));
    std::uint32_t number = 0;
    for (std::uint32_t i = 0; i < h.entryCount; ++i) {
        const std::uint8_t* e = array.data() + std::uint64_t{i} * h.entrySize;
        win::GUID type = LoadGuid(e);
        if (win::IsZeroGuid(type)) continue;
        LayoutEntry le;
        le.type = type;
        le.id = LoadGuid(e + 16);
        std::uint64_t first = LoadLe64(e + 32);
        std::uint64_t lastLba = LoadLe64(e + 40);
        le.offset = first * ss;
        le.length = lastLba >= first ? (lastLba - first + 1) * ss : 0;
        le.attributes = LoadLe64(e + 48);
        for (int c = 0; c < 36; ++c) {
            char16_t ch = LoadLe16(e + 56 + 2 * c);
            if (ch == 0) break;
            le.name.push_back(ch);
        }
        le.number = ++number;
        le.gptIndex = i;
        t.entries.push_back(le);
    }
}

void SetGptExtent(DiskBytes& d, const TableView& t, const LayoutEntry& entry, std::uint64_t newStart,
                  std::uint64_t newLength) {
    std::uint32_t ss = t.sectorSize;
    auto rewrite = [&](std::uint64_t entriesLba, std::uint64_t headerLba) {
        std::uint64_t at = entriesLba * ss + std::uint64_t{entry.gptIndex} * t.gptEntrySize;
        std::uint8_t buf[16];
        StoreLe64(buf, newStart / ss);
        StoreLe64(buf + 8, (newStart + newLength) / ss - 1);
        d.Write(at + 32, buf, sizeof buf);
        RestampGptHeader(d, ss, headerLba);
    };
    if (t.primaryHeaderValid) rewrite(t.primaryEntriesLba, 1);
    if (t.backupHeaderValid) rewrite(t.backupEntriesLba, t.backupHeaderLba);
}

}  // namespace table_codec

void WriteGpt(DiskBytes& d, std::uint32_t ss, const win::GUID& diskId,
              const std::vector<GptPartitionSpec>& parts) {
    if (ss != 512 && ss != 4096) throw std::invalid_argument("sector size must be 512 or 4096");
    if (parts.size() > kGptEntries) throw std::invalid_argument("too many GPT partitions");
    std::uint64_t sectors = d.Size() / ss;
    std::uint64_t arraySectors = kGptEntries * kGptEntrySize / ss;
    if (sectors < 2 * arraySectors + 4) throw std::invalid_argument("disk too small for GPT");
    std::uint64_t last = sectors - 1;
    std::uint64_t firstUsable = 2 + arraySectors;
    std::uint64_t lastUsable = last - arraySectors - 1;
    std::vector<std::uint8_t> array(kGptEntries * kGptEntrySize, 0);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto& p = parts[i];
        RequireSectorMultiple(p.start, ss, "partition start");
        RequireSectorMultiple(p.length, ss, "partition length");
        if (p.length == 0 || p.start / ss < firstUsable || p.start / ss > lastUsable ||
            p.length / ss > lastUsable + 1 - p.start / ss)
            throw std::invalid_argument("GPT partition outside the usable range");
        if (win::IsZeroGuid(p.type)) throw std::invalid_argument("GPT partition without a type");
        std::uint8_t* e = array.data() + i * kGptEntrySize;
        StoreGuid(e, p.type);
        StoreGuid(e + 16, p.id);
        StoreLe64(e + 32, p.start / ss);
        StoreLe64(e + 40, (p.start + p.length) / ss - 1);
        StoreLe64(e + 48, p.attributes);
        for (std::size_t c = 0; c < p.name.size() && c < 36; ++c) StoreLe16(e + 56 + 2 * c, p.name[c]);
    }
    table_codec::WriteProtectiveMbr(d, ss, last);
    WriteGptCopy(d, ss, 1, last, 2, firstUsable, lastUsable, diskId, array);
    WriteGptCopy(d, ss, last, 1, last - arraySectors, firstUsable, lastUsable, diskId, array);
}

}  // namespace sim
