#include "sim/partition_table.h"

#include <algorithm>
#include <array>
#include <set>
#include <stdexcept>

#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"

namespace sim {

using win::LoadGuid;
using win::LoadU16;
using win::LoadU32;
using win::LoadU64;
using win::StoreGuid;
using win::StoreU16;
using win::StoreU32;
using win::StoreU64;

namespace {

constexpr std::uint32_t kMbrSlots = 446;
constexpr std::uint32_t kMbrSlotSize = 16;
constexpr std::uint32_t kGptEntries = 128;
constexpr std::uint32_t kGptEntrySize = 128;
constexpr std::uint32_t kGptHeaderSize = 92;
constexpr std::uint32_t kMaxEbrs = 4096;

bool IsExtendedType(std::uint8_t t) { return t == 0x05 || t == 0x0f || t == 0x85; }

std::vector<std::uint8_t> Sector(const DiskBytes& d, std::uint64_t lba, std::uint32_t ss) {
    return d.Read(lba * ss, ss);
}

struct MbrSlot {
    std::uint8_t boot = 0;
    std::uint8_t type = 0;
    std::uint32_t lba = 0;
    std::uint32_t count = 0;
};

MbrSlot LoadSlot(const std::vector<std::uint8_t>& sector, std::uint32_t slot) {
    const std::uint8_t* p = sector.data() + kMbrSlots + slot * kMbrSlotSize;
    return MbrSlot{p[0], p[4], LoadU32(p + 8), LoadU32(p + 12)};
}

void StoreSlot(std::uint8_t* sector, std::uint32_t slot, const MbrSlot& s) {
    std::uint8_t* p = sector + kMbrSlots + slot * kMbrSlotSize;
    std::fill(p, p + kMbrSlotSize, 0);
    if (s.type == 0 && s.count == 0) return;
    p[0] = s.boot;
    // CHS fields are unused on disks of this size: the conventional "beyond CHS" marker.
    p[1] = 0xfe; p[2] = 0xff; p[3] = 0xff;
    p[4] = s.type;
    p[5] = 0xfe; p[6] = 0xff; p[7] = 0xff;
    StoreU32(p + 8, s.lba);
    StoreU32(p + 12, s.count);
}

bool HasBootSignature(const std::vector<std::uint8_t>& sector) {
    return sector.size() >= 512 && sector[510] == 0x55 && sector[511] == 0xaa;
}

// One parsed GPT header, checked.
struct GptHeader {
    bool valid = false;
    std::uint64_t myLba = 0, alternateLba = 0, firstUsable = 0, lastUsable = 0;
    win::GUID diskId{};
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0, entrySize = 0, entriesCrc = 0;
};

GptHeader ParseGptHeader(const DiskBytes& d, std::uint64_t lba, std::uint32_t ss) {
    GptHeader h;
    if ((lba + 1) * ss > d.Size()) return h;
    auto s = Sector(d, lba, ss);
    static const char kSig[] = "EFI PART";
    if (!std::equal(kSig, kSig + 8, s.begin())) return h;
    std::uint32_t size = LoadU32(s.data() + 12);
    if (size < kGptHeaderSize || size > ss) return h;
    std::uint32_t crc = LoadU32(s.data() + 16);
    StoreU32(s.data() + 16, 0);
    if (Crc32(s.data(), size) != crc) return h;
    h.myLba = LoadU64(s.data() + 24);
    h.alternateLba = LoadU64(s.data() + 32);
    h.firstUsable = LoadU64(s.data() + 40);
    h.lastUsable = LoadU64(s.data() + 48);
    h.diskId = LoadGuid(s.data() + 56);
    h.entriesLba = LoadU64(s.data() + 72);
    h.entryCount = LoadU32(s.data() + 80);
    h.entrySize = LoadU32(s.data() + 84);
    h.entriesCrc = LoadU32(s.data() + 88);
    std::uint64_t sectors = d.Size() / ss;
    if (h.myLba != lba || h.entrySize < 128 || h.entrySize % 8 != 0 || h.entryCount == 0 ||
        h.entryCount > 16384 || h.firstUsable > h.lastUsable || h.lastUsable >= sectors)
        return h;
    std::uint64_t arrayBytes = std::uint64_t{h.entryCount} * h.entrySize;
    if (h.entriesLba * ss + arrayBytes > d.Size()) return h;
    auto array = d.Read(h.entriesLba * ss, static_cast<std::size_t>(arrayBytes));
    if (Crc32(array.data(), array.size()) != h.entriesCrc) return h;
    h.valid = true;
    return h;
}

void ReadGpt(const DiskBytes& d, TableView& t) {
    std::uint32_t ss = t.sectorSize;
    std::uint64_t last = d.Size() / ss - 1;
    GptHeader primary = ParseGptHeader(d, 1, ss);
    GptHeader backup = ParseGptHeader(d, primary.valid ? primary.alternateLba : last, ss);
    t.primaryHeaderValid = primary.valid;
    t.backupHeaderValid = backup.valid;
    const GptHeader& h = primary.valid ? primary : backup;
    if (!h.valid) return;  // RAW
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
        std::uint64_t first = LoadU64(e + 32);
        std::uint64_t lastLba = LoadU64(e + 40);
        le.offset = first * ss;
        le.length = lastLba >= first ? (lastLba - first + 1) * ss : 0;
        le.attributes = LoadU64(e + 48);
        for (int c = 0; c < 36; ++c) {
            char16_t ch = LoadU16(e + 56 + 2 * c);
            if (ch == 0) break;
            le.name.push_back(ch);
        }
        le.number = ++number;
        le.gptIndex = i;
        t.entries.push_back(le);
    }
}

LayoutEntry FromSlot(const MbrSlot& s, std::uint64_t baseLba, std::uint32_t ss,
                     std::uint64_t recordOffset, std::uint32_t slot) {
    LayoutEntry e;
    e.mbrType = s.type;
    e.active = s.boot == 0x80;
    e.recordOffset = recordOffset;
    e.slot = slot;
    if (s.type == 0 && s.count == 0) return e;  // empty slot: all zero
    e.offset = (baseLba + s.lba) * ss;
    e.length = std::uint64_t{s.count} * ss;
    e.hiddenSectors = s.lba;
    return e;
}

void ReadMbr(const DiskBytes& d, const std::vector<std::uint8_t>& mbr, TableView& t) {
    std::uint32_t ss = t.sectorSize;
    t.style = TableStyle::Mbr;
    t.mbrSignature = LoadU32(mbr.data() + 440);
    std::optional<std::uint64_t> containerLba;
    std::uint64_t containerSectors = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        MbrSlot s = LoadSlot(mbr, i);
        LayoutEntry e = FromSlot(s, 0, ss, 0, i);
        if (IsExtendedType(s.type) && !containerLba) {
            e.container = true;
            containerLba = s.lba;
            containerSectors = s.count;
        }
        t.entries.push_back(e);
    }
    if (containerLba) {
        std::uint64_t ebr = *containerLba;
        std::set<std::uint64_t> seen;
        std::uint64_t diskSectors = d.Size() / ss;
        while (ebr != 0 && ebr < diskSectors && seen.insert(ebr).second && seen.size() <= kMaxEbrs) {
            auto sector = Sector(d, ebr, ss);
            if (!HasBootSignature(sector)) break;
            std::optional<std::uint64_t> next;
            for (std::uint32_t i = 0; i < 4; ++i) {
                MbrSlot s = LoadSlot(sector, i);
                bool isLink = IsExtendedType(s.type);
                // A logical partition is placed relative to its EBR, a link relative to the
                // container's start.
                LayoutEntry e = FromSlot(s, isLink ? *containerLba : ebr, ss, ebr * ss, i);
                if (isLink) {
                    e.link = true;
                    if (!next && s.count != 0) next = *containerLba + s.lba;
                } else if (e.Used()) {
                    e.logical = true;
                }
                t.entries.push_back(e);
            }
            ebr = next.value_or(0);
        }
        (void)containerSectors;
    }
    std::uint32_t number = 0;
    for (auto& e : t.entries)
        if (e.mbrType != 0 && !IsExtendedType(e.mbrType)) e.number = ++number;
}

void RequireSectorMultiple(std::uint64_t v, std::uint32_t ss, const char* what) {
    if (v % ss != 0) throw std::invalid_argument(std::string(what) + " is not a multiple of the sector size");
}

void WriteGptCopy(DiskBytes& d, std::uint32_t ss, std::uint64_t headerLba, std::uint64_t alternateLba,
                  std::uint64_t entriesLba, std::uint64_t firstUsable, std::uint64_t lastUsable,
                  const win::GUID& diskId, const std::vector<std::uint8_t>& array) {
    d.Write(entriesLba * ss, array.data(), array.size());
    std::vector<std::uint8_t> h(ss, 0);
    std::copy_n("EFI PART", 8, h.begin());
    StoreU32(h.data() + 8, 0x00010000);
    StoreU32(h.data() + 12, kGptHeaderSize);
    StoreU64(h.data() + 24, headerLba);
    StoreU64(h.data() + 32, alternateLba);
    StoreU64(h.data() + 40, firstUsable);
    StoreU64(h.data() + 48, lastUsable);
    StoreGuid(h.data() + 56, diskId);
    StoreU64(h.data() + 72, entriesLba);
    StoreU32(h.data() + 80, static_cast<std::uint32_t>(array.size() / kGptEntrySize));
    StoreU32(h.data() + 84, kGptEntrySize);
    StoreU32(h.data() + 88, Crc32(array.data(), array.size()));
    StoreU32(h.data() + 16, Crc32(h.data(), kGptHeaderSize));
    d.Write(headerLba * ss, h.data(), h.size());
}

// Re-stamps one GPT header after its entry array changed.
void RestampGptHeader(DiskBytes& d, std::uint32_t ss, std::uint64_t headerLba) {
    auto h = Sector(d, headerLba, ss);
    std::uint64_t entriesLba = LoadU64(h.data() + 72);
    std::uint64_t bytes = std::uint64_t{LoadU32(h.data() + 80)} * LoadU32(h.data() + 84);
    auto array = d.Read(entriesLba * ss, static_cast<std::size_t>(bytes));
    StoreU32(h.data() + 88, Crc32(array.data(), array.size()));
    std::uint32_t size = LoadU32(h.data() + 12);
    StoreU32(h.data() + 16, 0);
    StoreU32(h.data() + 16, Crc32(h.data(), size));
    d.Write(headerLba * ss, h.data(), h.size());
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xffffffffu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

const LayoutEntry* TableView::FindPartition(std::uint32_t number) const {
    if (number == 0) return nullptr;
    for (const auto& e : entries)
        if (e.number == number && e.IsPartition()) return &e;
    return nullptr;
}

TableView ReadTable(const DiskBytes& disk, std::uint32_t sectorSize) {
    TableView t;
    t.sectorSize = sectorSize;
    if (sectorSize == 0 || disk.Size() < 2ull * sectorSize || sectorSize < 512) return t;
    auto mbr = Sector(disk, 0, sectorSize);
    if (!HasBootSignature(mbr)) return t;
    bool protective = false;
    for (std::uint32_t i = 0; i < 4; ++i)
        if (LoadSlot(mbr, i).type == 0xee) protective = true;
    if (protective)
        ReadGpt(disk, t);
    else
        ReadMbr(disk, mbr, t);
    return t;
}

std::vector<std::uint8_t> EncodeDriveLayout(const TableView& t) {
    namespace dl = win::drive_layout;
    namespace pi = win::partition_info;
    std::vector<std::uint8_t> out(dl::kHeaderSize + t.entries.size() * pi::kSize, 0);
    StoreU32(out.data() + dl::PartitionStyle, static_cast<std::uint32_t>(t.style));
    StoreU32(out.data() + dl::PartitionCount, static_cast<std::uint32_t>(t.entries.size()));
    if (t.style == TableStyle::Gpt) {
        StoreGuid(out.data() + dl::GptDiskId, t.diskId);
        StoreU64(out.data() + dl::GptStartingUsableOffset, t.usableStart);
        StoreU64(out.data() + dl::GptUsableLength, t.usableLength);
        StoreU32(out.data() + dl::GptMaxPartitionCount, t.maxPartitionCount);
    } else if (t.style == TableStyle::Mbr) {
        StoreU32(out.data() + dl::MbrSignature, t.mbrSignature);
    }
    for (std::size_t i = 0; i < t.entries.size(); ++i) {
        const LayoutEntry& e = t.entries[i];
        std::uint8_t* p = out.data() + dl::kHeaderSize + i * pi::kSize;
        StoreU32(p + pi::PartitionStyle, static_cast<std::uint32_t>(t.style));
        StoreU64(p + pi::StartingOffset, e.offset);
        StoreU64(p + pi::PartitionLength, e.length);
        StoreU32(p + pi::PartitionNumber, e.number);
        if (t.style == TableStyle::Gpt) {
            StoreGuid(p + pi::GptPartitionType, e.type);
            StoreGuid(p + pi::GptPartitionId, e.id);
            StoreU64(p + pi::GptAttributes, e.attributes);
            for (std::size_t c = 0; c < e.name.size() && c < pi::kGptNameChars; ++c)
                StoreU16(p + pi::GptName + 2 * c, e.name[c]);
        } else {
            p[pi::MbrPartitionType] = e.mbrType;
            p[pi::MbrBootIndicator] = e.active ? 1 : 0;
            p[pi::MbrRecognizedPartition] = e.IsPartition() ? 1 : 0;
            StoreU32(p + pi::MbrHiddenSectors, e.hiddenSectors);
        }
    }
    return out;
}

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
        if (p.length == 0 || p.start / ss < firstUsable || (p.start + p.length) / ss - 1 > lastUsable)
            throw std::invalid_argument("GPT partition outside the usable range");
        if (win::IsZeroGuid(p.type)) throw std::invalid_argument("GPT partition without a type");
        std::uint8_t* e = array.data() + i * kGptEntrySize;
        StoreGuid(e, p.type);
        StoreGuid(e + 16, p.id);
        StoreU64(e + 32, p.start / ss);
        StoreU64(e + 40, (p.start + p.length) / ss - 1);
        StoreU64(e + 48, p.attributes);
        for (std::size_t c = 0; c < p.name.size() && c < 36; ++c) StoreU16(e + 56 + 2 * c, p.name[c]);
    }
    // Protective MBR.
    auto mbr = Sector(d, 0, ss);
    for (std::uint32_t i = 0; i < 4; ++i) StoreSlot(mbr.data(), i, {});
    StoreSlot(mbr.data(), 0, MbrSlot{0, 0xee, 1, static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0xffffffffu))});
    mbr[1 + kMbrSlots] = 0x00; mbr[2 + kMbrSlots] = 0x02; mbr[3 + kMbrSlots] = 0x00;  // CHS of LBA 1
    mbr[510] = 0x55;
    mbr[511] = 0xaa;
    d.Write(0, mbr.data(), mbr.size());
    WriteGptCopy(d, ss, 1, last, 2, firstUsable, lastUsable, diskId, array);
    WriteGptCopy(d, ss, last, 1, last - arraySectors, firstUsable, lastUsable, diskId, array);
}

void WriteMbr(DiskBytes& d, std::uint32_t ss, std::uint32_t signature,
              const std::vector<MbrPartitionSpec>& primaries,
              const std::vector<MbrPartitionSpec>& logicals) {
    if (ss != 512 && ss != 4096) throw std::invalid_argument("sector size must be 512 or 4096");
    if (primaries.size() > 4) throw std::invalid_argument("an MBR holds four entries");
    std::uint64_t sectors = d.Size() / ss;
    auto lba32 = [&](std::uint64_t bytes, const char* what) {
        RequireSectorMultiple(bytes, ss, what);
        std::uint64_t v = bytes / ss;
        if (v > 0xffffffffu) throw std::invalid_argument(std::string(what) + " beyond 32-bit sectors");
        return static_cast<std::uint32_t>(v);
    };
    auto mbr = Sector(d, 0, ss);
    StoreU32(mbr.data() + 440, signature);
    mbr[444] = 0;
    mbr[445] = 0;
    const MbrPartitionSpec* container = nullptr;
    for (std::uint32_t i = 0; i < 4; ++i) {
        if (i >= primaries.size()) {
            StoreSlot(mbr.data(), i, {});
            continue;
        }
        const auto& p = primaries[i];
        if ((p.start + p.length) / ss > sectors) throw std::invalid_argument("partition beyond the disk");
        if (IsExtendedType(p.type) && container == nullptr) container = &p;
        StoreSlot(mbr.data(), i, MbrSlot{static_cast<std::uint8_t>(p.active ? 0x80 : 0), p.type,
                                         lba32(p.start, "partition start"), lba32(p.length, "partition length")});
    }
    mbr[510] = 0x55;
    mbr[511] = 0xaa;
    d.Write(0, mbr.data(), mbr.size());
    if (!logicals.empty() && container == nullptr)
        throw std::invalid_argument("logical partitions need an extended partition");
    if (container == nullptr) return;
    std::uint64_t cStart = container->start / ss;
    std::uint64_t cEnd = (container->start + container->length) / ss;
    // Place every EBR first, then write each with its logical partition and link.
    std::vector<std::uint64_t> ebrs;
    std::uint64_t floor = cStart;
    for (const auto& l : logicals) {
        RequireSectorMultiple(l.start, ss, "logical partition start");
        RequireSectorMultiple(l.length, ss, "logical partition length");
        std::uint64_t s = l.start / ss;
        std::uint64_t e = (l.start + l.length) / ss;
        std::uint64_t ebr;
        if (l.ebrOffset) {
            ebr = lba32(*l.ebrOffset, "EBR offset");
        } else if (ebrs.empty()) {
            ebr = cStart;
        } else {
            std::uint64_t mib = (1u << 20) / ss;
            ebr = s >= floor + mib ? s - mib : floor;
        }
        if (ebr < floor || ebr >= s || e > cEnd || l.length == 0)
            throw std::invalid_argument("logical partition does not fit the extended partition");
        ebrs.push_back(ebr);
        floor = e;
    }
    // The first EBR must sit at the container's start so that the chain can be found.
    if (!ebrs.empty() && ebrs.front() != cStart)
        throw std::invalid_argument("the first EBR must start the extended partition");
    if (logicals.empty()) {
        // An empty container still has its first EBR, with no entries.
        std::vector<std::uint8_t> ebr(ss, 0);
        ebr[510] = 0x55;
        ebr[511] = 0xaa;
        d.Write(cStart * ss, ebr.data(), ebr.size());
        return;
    }
    for (std::size_t i = 0; i < logicals.size(); ++i) {
        const auto& l = logicals[i];
        std::vector<std::uint8_t> ebr(ss, 0);
        StoreSlot(ebr.data(), 0, MbrSlot{static_cast<std::uint8_t>(l.active ? 0x80 : 0), l.type,
                                         static_cast<std::uint32_t>(l.start / ss - ebrs[i]),
                                         lba32(l.length, "logical partition length")});
        if (i + 1 < logicals.size()) {
            std::uint64_t nextEnd = (logicals[i + 1].start + logicals[i + 1].length) / ss;
            StoreSlot(ebr.data(), 1, MbrSlot{0, 0x05, static_cast<std::uint32_t>(ebrs[i + 1] - cStart),
                                             static_cast<std::uint32_t>(nextEnd - ebrs[i + 1])});
        }
        ebr[510] = 0x55;
        ebr[511] = 0xaa;
        d.Write(ebrs[i] * ss, ebr.data(), ebr.size());
    }
}

void SetEntryExtent(DiskBytes& d, const TableView& t, const LayoutEntry& entry,
                    std::uint64_t newStart, std::uint64_t newLength) {
    std::uint32_t ss = t.sectorSize;
    RequireSectorMultiple(newStart, ss, "partition start");
    RequireSectorMultiple(newLength, ss, "partition length");
    if (newLength == 0) throw std::invalid_argument("a partition cannot be empty");
    if (t.style == TableStyle::Gpt) {
        auto rewrite = [&](std::uint64_t entriesLba, std::uint64_t headerLba) {
            std::uint64_t at = entriesLba * ss + std::uint64_t{entry.gptIndex} * t.gptEntrySize;
            std::uint8_t buf[16];
            StoreU64(buf, newStart / ss);
            StoreU64(buf + 8, (newStart + newLength) / ss - 1);
            d.Write(at + 32, buf, sizeof buf);
            RestampGptHeader(d, ss, headerLba);
        };
        if (t.primaryHeaderValid) rewrite(t.primaryEntriesLba, 1);
        if (t.backupHeaderValid) rewrite(t.backupEntriesLba, t.backupHeaderLba);
        return;
    }
    if (t.style != TableStyle::Mbr) throw std::invalid_argument("the disk has no partition table");
    auto sector = d.Read(entry.recordOffset, ss);
    MbrSlot s = LoadSlot(sector, entry.slot);
    std::uint64_t base = entry.logical ? entry.recordOffset / ss : 0;
    if (newStart / ss < base || newStart / ss - base > 0xffffffffu || newLength / ss > 0xffffffffu)
        throw std::invalid_argument("extent beyond 32-bit sectors");
    s.lba = static_cast<std::uint32_t>(newStart / ss - base);
    s.count = static_cast<std::uint32_t>(newLength / ss);
    StoreSlot(sector.data(), entry.slot, s);
    d.Write(entry.recordOffset, sector.data(), sector.size());
    if (!entry.logical) return;
    // The previous EBR's link spans this EBR and its logical partition.
    for (const auto& e : t.entries) {
        if (!e.link || e.offset != entry.recordOffset) continue;
        auto prev = d.Read(e.recordOffset, ss);
        MbrSlot link = LoadSlot(prev, e.slot);
        link.count = static_cast<std::uint32_t>((newStart + newLength - e.offset) / ss);
        StoreSlot(prev.data(), e.slot, link);
        d.Write(e.recordOffset, prev.data(), prev.size());
    }
}

namespace gpt_type {
const win::GUID BasicData = GuidFromText("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
const win::GUID EfiSystem = GuidFromText("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
const win::GUID MicrosoftReserved = GuidFromText("E3C9E316-0B5C-4DB8-817D-F92DF00215AE");
const win::GUID Recovery = GuidFromText("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC");
const win::GUID LdmMetadata = GuidFromText("5808C8AA-7E8F-42E0-85D2-E1E90434CFB3");
const win::GUID LdmData = GuidFromText("AF9B60A0-1431-4F62-BC68-3311714A69AD");
}  // namespace gpt_type

win::GUID GuidFromText(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) throw std::invalid_argument("GUID text must have 36 characters");
    auto hex = [&](std::size_t at, int digits) {
        std::uint64_t v = 0;
        for (int i = 0; i < digits; ++i) {
            char c = text[at + i];
            int n = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (n < 0) throw std::invalid_argument("GUID text has a non-hexadecimal digit");
            v = v * 16 + static_cast<std::uint64_t>(n);
        }
        return v;
    };
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        throw std::invalid_argument("GUID text needs dashes at 8, 13, 18 and 23");
    win::GUID g{};
    g.Data1 = static_cast<std::uint32_t>(hex(0, 8));
    g.Data2 = static_cast<std::uint16_t>(hex(9, 4));
    g.Data3 = static_cast<std::uint16_t>(hex(14, 4));
    g.Data4[0] = static_cast<std::uint8_t>(hex(19, 2));
    g.Data4[1] = static_cast<std::uint8_t>(hex(21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<std::uint8_t>(hex(24 + 2 * i, 2));
    return g;
}

}  // namespace sim
