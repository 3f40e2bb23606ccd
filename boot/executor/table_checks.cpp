#include "boot/executor/table_checks.h"

#include "common/disk_layout.h"
#include "platform/nt/status.h"

namespace velta::boot {

namespace {

namespace pi = disk::partition_info;

constexpr nt::NTSTATUS kFail = nt::STATUS_DATA_ERROR;

bool IsMoveKind(const BootPlan& plan) {
    return plan.magic == static_cast<uint32_t>(BootPlanKind::MovePrimary) ||
           plan.magic == static_cast<uint32_t>(BootPlanKind::MoveLogical);
}

// start ≥ u, start − u < l, length ≤ l − (start − u): the span lies in [u, u + l).
bool InUsableArea(uint64_t start, uint64_t length, uint64_t u, uint64_t l) {
    if (start < u) return false;
    const uint64_t rel = start - u;
    return rel < l && length <= l - rel;
}

}  // namespace

nt::NTSTATUS CheckDriveLayout(uint8_t* layout, uint64_t returned, const BootPlan& plan,
                              uint64_t amount, TableCheckMode mode, LayoutFacts* facts) {
    disk::DriveLayoutHeader header;
    if (!disk::ReadDriveLayoutHeader(layout, returned, &header)) return kFail;

    const bool mbr = plan.mbrSignature != 0;
    const bool move = IsMoveKind(plan);
    const uint32_t style = mbr ? disk::PARTITION_STYLE_MBR : disk::PARTITION_STYLE_GPT;
    uint64_t u = 0;
    uint64_t l = 0;
    if (mbr) {
        if (header.partitionStyle != disk::PARTITION_STYLE_MBR) return kFail;
        if (header.mbrSignature != plan.mbrSignature) return kFail;
        if (plan.magic == static_cast<uint32_t>(BootPlanKind::MovePrimary) &&
            header.partitionCount > 4)
            return kFail;
        // MBR fields address at most 2^32 sectors.
        u = plan.bytesPerSector;
        const uint64_t addressable = uint64_t{plan.bytesPerSector} << 32;
        const uint64_t top = plan.diskSize < addressable ? plan.diskSize : addressable;
        if (top < u) return kFail;
        l = top - u;
    } else {
        if (header.partitionStyle != disk::PARTITION_STYLE_GPT) return kFail;
        if (header.gptDiskId != plan.gptDiskId) return kFail;
        u = header.gptStartingUsableOffset;
        l = header.gptUsableLength;
        if (static_cast<int64_t>(u) <= 0 || static_cast<int64_t>(l) <= 0) return kFail;
    }

    if (!(plan.diskSize > u) || l > plan.diskSize - u) return kFail;
    // From here u + l ≤ diskSize < 2^63.
    // The source span (for 'VTM3' the empty span at the Windows partition's end) in the area.
    if (plan.sourceStart < u) return kFail;
    const uint64_t sourceRel = plan.sourceStart - u;
    if (sourceRel > l || plan.sourceLength > l - sourceRel) return kFail;
    const uint64_t sourceEnd = plan.sourceStart + plan.sourceLength;  // ≤ u + l
    const uint64_t room = move ? plan.shift : amount;
    if (room > (u + l) - sourceEnd) return kFail;

    const uint64_t expectedStart =
        plan.sourceStart + (mode == TableCheckMode::After ? plan.shift : 0);
    const uint64_t regionEnd = move ? plan.sourceStart + plan.shift + plan.sourceLength
                                    : plan.sourceStart + amount;

    if (header.partitionCount == 0) return kFail;

    LayoutFacts found;
    for (uint32_t i = 0; i < header.partitionCount; ++i) {
        uint64_t at = 0;
        if (!disk::LayoutEntryOffset(i, &at)) return kFail;
        disk::LayoutEntry e;
        if (!disk::ReadLayoutEntry(layout, returned, i, &e)) return kFail;
        layout[at + pi::RewritePartition] = 0;

        if (e.partitionStyle != style) return kFail;
        if (mbr && e.partitionLength == 0) {
            if (e.mbrPartitionType != disk::kMbrTypeEmpty) return kFail;
            continue;
        }
        if (e.partitionLength == 0) return kFail;
        if (!InUsableArea(e.startingOffset, e.partitionLength, u, l)) return kFail;
        // In the usable area: start + length ≤ u + l, no wrap.
        if (mbr) {
            if (e.mbrPartitionType == disk::kMbrTypeLdm) return kFail;
            if (move && disk::IsAnyMbrExtendedType(e.mbrPartitionType)) return kFail;
        }

        if (move && e.partitionNumber == plan.sourcePartitionNumber) {
            if (found.sourceFound) return kFail;
            if (e.startingOffset != expectedStart || e.partitionLength != plan.sourceLength)
                return kFail;
            if (mbr) {
                if (e.mbrPartitionType != disk::kMbrTypeNtfs || e.mbrBootIndicator != 0)
                    return kFail;
            } else {
                if (e.gptPartitionId != plan.sourcePartitionId) return kFail;
                if (e.gptPartitionType != disk::kBasicDataPartitionType) return kFail;
                if (e.gptAttributes != 0) return kFail;
            }
            found.sourceFound = true;
            found.sourceEntryIndex = i;
            continue;
        }

        if (e.startingOffset < regionEnd && e.startingOffset + e.partitionLength > plan.sourceStart)
            return kFail;

        if (e.partitionNumber == plan.windowsPartitionNumber) {
            if (found.windowsFound) return kFail;
            if (e.startingOffset != plan.windowsStart || e.partitionLength != plan.windowsLength)
                return kFail;
            if (mbr) {
                if (e.mbrPartitionType != disk::kMbrTypeNtfs) return kFail;
            } else {
                if (e.gptPartitionId != plan.windowsPartitionId) return kFail;
                if (e.gptPartitionType != disk::kBasicDataPartitionType) return kFail;
            }
            found.windowsFound = true;
        }
    }

    if (!found.windowsFound) return kFail;
    if (move && !found.sourceFound) return kFail;
    if (!disk::LayoutSize(header.partitionCount, &found.layoutSize)) return kFail;
    *facts = found;
    return nt::STATUS_SUCCESS;
}

namespace {

// The sector values of a 'VTM2' plan (all below 2^32 because the disk is below 2 TiB).
struct ChainPlan {
    uint64_t s, k, v, q, d, x, r, o;
};

ChainPlan ChainValues(const BootPlan& plan, uint64_t neighbourStart, TableCheckMode mode) {
    ChainPlan c;
    c.s = plan.shift / 512;
    c.k = neighbourStart / 512;
    c.v = plan.sourceStart / 512;
    c.q = plan.sourceLength / 512;
    c.d = plan.diskSize / 512;
    c.x = c.k + (mode == TableCheckMode::After ? c.s : 0);
    c.r = c.v + c.q + c.s;
    c.o = c.v - c.k;
    return c;
}

bool AllZero(const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

}  // namespace

nt::NTSTATUS CheckChainMbr(const uint8_t* mbr, const BootPlan& plan, uint64_t neighbourStart,
                           TableCheckMode mode, ChainFacts* facts) {
    disk::MbrSector sector;
    if (!disk::ReadMbrSector(mbr, disk::mbr_sector::kSize, &sector)) return kFail;
    if (!sector.bootSignature || sector.diskSignature != plan.mbrSignature) return kFail;
    const ChainPlan c = ChainValues(plan, neighbourStart, mode);

    bool haveExtended = false;
    uint32_t windowsMatches = 0;
    ChainFacts f;
    for (uint32_t i = 0; i < disk::mbr_sector::kEntryCount; ++i) {
        const disk::MbrEntry& e = sector.entries[i];
        if (e.type == disk::kMbrTypeEmpty) {
            if (!e.allZero) return kFail;
            continue;
        }
        const uint64_t start = e.startSector;
        const uint64_t count = e.sectorCount;
        if (start == 0 || e.type == disk::kMbrTypeLdm || e.type == disk::kMbrTypeGptProtective)
            return kFail;
        if (start >= c.d || count == 0 || count > c.d - start) return kFail;
        if (disk::IsMbrExtendedType(e.type)) {
            if (haveExtended) return kFail;
            if (e.bootIndicator != 0 || start != c.x || !(c.o < count)) return kFail;
            haveExtended = true;
            f.extendedIndex = i;
            f.extendedStart = e.startSector;
            f.extendedCount = e.sectorCount;
            continue;
        }
        if (start < c.r && start + count > c.k) return kFail;
        if (e.type == disk::kMbrTypeNtfs && start == plan.windowsStart / 512 &&
            count == plan.windowsLength / 512)
            ++windowsMatches;
    }
    if (!haveExtended || windowsMatches != 1) return kFail;

    const uint64_t extStart = f.extendedStart;
    const uint64_t extEnd = extStart + f.extendedCount;
    for (uint32_t i = 0; i < disk::mbr_sector::kEntryCount; ++i) {
        const disk::MbrEntry& e = sector.entries[i];
        if (e.type == disk::kMbrTypeEmpty || i == f.extendedIndex) continue;
        const uint64_t start = e.startSector;
        const uint64_t end = start + e.sectorCount;
        if (start < extEnd && end > extStart) return kFail;
    }
    *facts = f;
    return nt::STATUS_SUCCESS;
}

nt::NTSTATUS CheckChainFirstEbr(const uint8_t* ebr, const BootPlan& plan,
                                uint64_t neighbourStart, TableCheckMode mode, ChainFacts* facts,
                                bool* needSecond) {
    disk::MbrSector sector;
    if (!disk::ReadMbrSector(ebr, disk::mbr_sector::kSize, &sector)) return kFail;
    const ChainPlan c = ChainValues(plan, neighbourStart, mode);
    const disk::MbrEntry& logical = sector.entries[0];
    const disk::MbrEntry& link = sector.entries[1];
    if (!sector.bootSignature) return kFail;
    if (logical.bootIndicator != 0 || logical.type != disk::kMbrTypeNtfs ||
        logical.startSector != c.o || logical.sectorCount != c.q)
        return kFail;
    if (!AllZero(ebr + disk::mbr_sector::Entries + 2 * disk::mbr_sector::kEntrySize, 32))
        return kFail;

    facts->secondEbrSector = 0;
    facts->linkSize = 0;
    const uint64_t x = facts->extendedStart;
    const uint64_t count = facts->extendedCount;
    if (link.allZero) {
        if (c.r > x + count) return kFail;
        *needSecond = false;
        return nt::STATUS_SUCCESS;
    }
    if (link.bootIndicator != 0 || !disk::IsMbrExtendedType(link.type)) return kFail;
    const uint64_t r = link.startSector;
    const uint64_t z = link.sectorCount;
    const uint64_t y = x + r;
    if (y < c.r || !(r < count) || z == 0 || z > count - r) return kFail;
    facts->secondEbrSector = y;
    facts->linkSize = link.sectorCount;
    *needSecond = true;
    return nt::STATUS_SUCCESS;
}

nt::NTSTATUS CheckChainSecondEbr(const uint8_t* ebr, const ChainFacts& facts) {
    disk::MbrSector sector;
    if (!disk::ReadMbrSector(ebr, disk::mbr_sector::kSize, &sector)) return kFail;
    if (!sector.bootSignature) return kFail;
    const disk::MbrEntry& logical = sector.entries[0];
    const uint64_t z = facts.linkSize;
    const uint64_t t = logical.startSector;
    const uint64_t count = logical.sectorCount;
    if (logical.bootIndicator != 0 || logical.type != disk::kMbrTypeNtfs) return kFail;
    if (t == 0 || !(t < z) || count == 0 || count > z - t) return kFail;
    if (!AllZero(ebr + disk::mbr_sector::Entries + disk::mbr_sector::kEntrySize, 48))
        return kFail;
    return nt::STATUS_SUCCESS;
}

}  // namespace velta::boot
