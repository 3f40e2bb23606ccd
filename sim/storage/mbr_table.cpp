// MBR of the simulated PC: four slots, and the chain of EBRs inside an extended partition.
#include <algorithm>
#include <optional>
#include <set>

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
using table_codec::HasBootSignature;
using table_codec::RequireSectorMultiple;
using table_codec::Sector;

namespace {

constexpr std::uint32_t kMbrSlots = 446;
constexpr std::uint32_t kMbrSlotSize = 16;
constexpr std::uint32_t kMaxEbrs = 4096;

bool IsExtendedType(std::uint8_t t) { return t == 0x05 || t == 0x0f || t == 0x85; }

struct MbrSlot {
    std::uint8_t boot = 0;
    std::uint8_t type = 0;
    std::uint32_t lba = 0;
    std::uint32_t count = 0;
};

MbrSlot LoadSlot(const std::vector<std::uint8_t>& sector, std::uint32_t slot) {
    const std::uint8_t* p = sector.data() + kMbrSlots + slot * kMbrSlotSize;
    return MbrSlot{p[0], p[4], LoadLe32(p + 8), LoadLe32(p + 12)};
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
    StoreLe32(p + 8, s.lba);
    StoreLe32(p + 12, s.count);
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

}  // namespace

namespace table_codec {

bool IsProtectiveMbr(const std::vector<std::uint8_t>& mbr) {
    for (std::uint32_t i = 0; i < 4; ++i)
        if (LoadSlot(mbr, i).type == 0xee) return true;
    return false;
}

void ReadMbr(const DiskBytes& d, const std::vector<std::uint8_t>& mbr, TableView& t) {
    std::uint32_t ss = t.sectorSize;
    t.style = TableStyle::Mbr;
    t.mbrSignature = LoadLe32(mbr.data() + 440);
    std::optional<std::uint64_t> containerLba;
    for (std::uint32_t i = 0; i < 4; ++i) {
        MbrSlot s = LoadSlot(mbr, i);
        LayoutEntry e = FromSlot(s, 0, ss, 0, i);
        if (IsExtendedType(s.type) && !containerLba) {
            e.container = true;
            containerLba = s.lba;
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
    }
    std::uint32_t number = 0;
    for (auto& e : t.entries)
        if (e.mbrType != 0 && !IsExtendedType(e.mbrType)) e.number = ++number;
}

void WriteProtectiveMbr(DiskBytes& d, std::uint32_t ss, std::uint64_t last) {
    auto mbr = Sector(d, 0, ss);
    for (std::uint32_t i = 0; i < 4; ++i) StoreSlot(mbr.data(), i, {});
    StoreSlot(mbr.data(), 0, MbrSlot{0, 0xee, 1, static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0xffffffffu))});
    mbr[1 + kMbrSlots] = 0x00;  // CHS of LBA 1
    mbr[2 + kMbrSlots] = 0x02;
    mbr[3 + kMbrSlots] = 0x00;
    mbr[510] = 0x55;
    mbr[511] = 0xaa;
    d.Write(0, mbr.data(), mbr.size());
}

void SetMbrExtent(DiskBytes& d, const TableView& t, const LayoutEntry& entry, std::uint64_t newStart,
                  std::uint64_t newLength) {
    std::uint32_t ss = t.sectorSize;
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

}  // namespace table_codec

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
    StoreLe32(mbr.data() + 440, signature);
    mbr[444] = 0;
    mbr[445] = 0;
    const MbrPartitionSpec* container = nullptr;
    for (std::uint32_t i = 0; i < 4; ++i) {
        if (i >= primaries.size()) {
            StoreSlot(mbr.data(), i, {});
            continue;
        }
        const auto& p = primaries[i];
        if (p.start / ss > sectors || p.length / ss > sectors - p.start / ss)
            throw std::invalid_argument("partition beyond the disk");
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
        if (s > sectors || l.length / ss > sectors - s)
            throw std::invalid_argument("logical partition beyond the disk");
        std::uint64_t e = s + l.length / ss;
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

}  // namespace sim
