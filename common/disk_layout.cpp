#include "common/disk_layout.h"

#include "common/little_endian.h"

namespace velta::disk {

bool ReadDriveLayoutHeader(const uint8_t* reply, uint64_t returned, DriveLayoutHeader* header) {
    if (reply == nullptr || header == nullptr) return false;
    if (returned < drive_layout::kHeaderSize) return false;
    DriveLayoutHeader h;
    h.partitionStyle = LoadLe32(reply + drive_layout::PartitionStyle);
    h.partitionCount = LoadLe32(reply + drive_layout::PartitionCount);
    // Division, not multiplication: a count near 2^32 cannot wrap the comparison.
    if (h.partitionCount > (returned - drive_layout::kHeaderSize) / partition_info::kSize)
        return false;
    h.mbrSignature = LoadLe32(reply + drive_layout::MbrSignature);
    h.gptDiskId = LoadGuid(reply + drive_layout::GptDiskId);
    h.gptStartingUsableOffset = LoadLe64(reply + drive_layout::GptStartingUsableOffset);
    h.gptUsableLength = LoadLe64(reply + drive_layout::GptUsableLength);
    h.gptMaxPartitionCount = LoadLe32(reply + drive_layout::GptMaxPartitionCount);
    *header = h;
    return true;
}

bool LayoutEntryOffset(uint64_t index, uint64_t* offset) {
    uint64_t bytes = 0;
    if (!CheckedMul(index, partition_info::kSize, &bytes)) return false;
    return CheckedAdd(bytes, drive_layout::kHeaderSize, offset);
}

bool LayoutSize(uint64_t count, uint64_t* size) { return LayoutEntryOffset(count, size); }

bool ReadLayoutEntry(const uint8_t* reply, uint64_t returned, uint64_t index, LayoutEntry* entry) {
    if (reply == nullptr || entry == nullptr) return false;
    uint64_t at = 0;
    if (!LayoutEntryOffset(index, &at)) return false;
    if (!SpanFits(at, partition_info::kSize, returned)) return false;
    const uint8_t* p = reply + at;
    LayoutEntry e;
    e.partitionStyle = LoadLe32(p + partition_info::PartitionStyle);
    e.startingOffset = LoadLe64(p + partition_info::StartingOffset);
    e.partitionLength = LoadLe64(p + partition_info::PartitionLength);
    e.partitionNumber = LoadLe32(p + partition_info::PartitionNumber);
    e.rewritePartition = p[partition_info::RewritePartition];
    e.isServicePartition = p[partition_info::IsServicePartition];
    e.mbrPartitionType = p[partition_info::MbrPartitionType];
    e.mbrBootIndicator = p[partition_info::MbrBootIndicator];
    e.mbrRecognizedPartition = p[partition_info::MbrRecognizedPartition];
    e.mbrHiddenSectors = LoadLe32(p + partition_info::MbrHiddenSectors);
    e.gptPartitionType = LoadGuid(p + partition_info::GptPartitionType);
    e.gptPartitionId = LoadGuid(p + partition_info::GptPartitionId);
    e.gptAttributes = LoadLe64(p + partition_info::GptAttributes);
    *entry = e;
    return true;
}

bool ReadMbrSector(const uint8_t* sector, uint64_t size, MbrSector* out) {
    if (sector == nullptr || out == nullptr) return false;
    if (size < mbr_sector::kSize) return false;
    out->diskSignature = LoadLe32(sector + mbr_sector::DiskSignature);
    out->bootSignature = sector[mbr_sector::BootSignature] == 0x55 &&
                         sector[mbr_sector::BootSignature + 1] == 0xAA;
    for (uint32_t i = 0; i < mbr_sector::kEntryCount; ++i) {
        const uint8_t* p = sector + mbr_sector::Entries + i * mbr_sector::kEntrySize;
        MbrEntry& e = out->entries[i];
        e.bootIndicator = p[mbr_sector::BootIndicator];
        e.type = p[mbr_sector::Type];
        e.startSector = LoadLe32(p + mbr_sector::StartSector);
        e.sectorCount = LoadLe32(p + mbr_sector::SectorCount);
        e.allZero = true;
        for (uint32_t b = 0; b < mbr_sector::kEntrySize; ++b)
            if (p[b] != 0) e.allZero = false;
    }
    return true;
}

bool MbrEntrySpan(uint64_t base, const MbrEntry& entry, uint64_t* start, uint64_t* end) {
    uint64_t s = 0;
    uint64_t e = 0;
    if (!CheckedAdd(base, entry.startSector, &s)) return false;
    if (!CheckedAdd(s, entry.sectorCount, &e)) return false;
    *start = s;
    *end = e;
    return true;
}

namespace {

struct Crc32Table {
    uint32_t values[256];
};

constexpr Crc32Table MakeCrc32Table() {
    Crc32Table t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        t.values[i] = c;
    }
    return t;
}

constexpr Crc32Table kCrc32Table = MakeCrc32Table();

}  // namespace

uint32_t Crc32(const uint8_t* data, uint64_t length, uint32_t crc) {
    uint32_t c = ~crc;
    for (uint64_t i = 0; i < length; ++i) c = kCrc32Table.values[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

GptHeaderError ReadGptHeader(const uint8_t* sector, uint64_t size, uint32_t bytesPerSector,
                             GptHeader* header) {
    if (sector == nullptr || header == nullptr || size < gpt_header::kMinSize)
        return GptHeaderError::Truncated;
    if (LoadLe64(sector + gpt_header::Signature) != gpt_header::kSignatureValue)
        return GptHeaderError::Signature;
    GptHeader h;
    h.revision = LoadLe32(sector + gpt_header::Revision);
    h.headerSize = LoadLe32(sector + gpt_header::HeaderSize);
    if (h.headerSize < gpt_header::kMinSize || h.headerSize > bytesPerSector)
        return GptHeaderError::HeaderSize;
    if (h.headerSize > size) return GptHeaderError::Truncated;
    h.headerCrc32 = LoadLe32(sector + gpt_header::HeaderCrc32);
    // The CRC covers the header with its own CRC field taken as zero.
    static const uint8_t kZero[4] = {0, 0, 0, 0};
    uint32_t crc = Crc32(sector, gpt_header::HeaderCrc32);
    crc = Crc32(kZero, 4, crc);
    crc = Crc32(sector + gpt_header::Reserved, h.headerSize - gpt_header::Reserved, crc);
    if (crc != h.headerCrc32) return GptHeaderError::HeaderCrc;
    if (LoadLe32(sector + gpt_header::Reserved) != 0) return GptHeaderError::Reserved;
    h.myLba = LoadLe64(sector + gpt_header::MyLba);
    h.alternateLba = LoadLe64(sector + gpt_header::AlternateLba);
    h.firstUsableLba = LoadLe64(sector + gpt_header::FirstUsableLba);
    h.lastUsableLba = LoadLe64(sector + gpt_header::LastUsableLba);
    h.diskGuid = LoadGuid(sector + gpt_header::DiskGuid);
    h.partitionEntryLba = LoadLe64(sector + gpt_header::PartitionEntryLba);
    h.numberOfPartitionEntries = LoadLe32(sector + gpt_header::NumberOfPartitionEntries);
    h.sizeOfPartitionEntry = LoadLe32(sector + gpt_header::SizeOfPartitionEntry);
    h.partitionEntryArrayCrc32 = LoadLe32(sector + gpt_header::PartitionEntryArrayCrc32);
    if (h.sizeOfPartitionEntry < gpt_header::kMinEntrySize || h.sizeOfPartitionEntry % 8 != 0)
        return GptHeaderError::EntrySize;
    if (h.firstUsableLba > h.lastUsableLba) return GptHeaderError::UsableRange;
    // Both factors are 32-bit, so the product fits; the array's last byte on disk must too.
    h.entryArrayBytes = uint64_t{h.numberOfPartitionEntries} * h.sizeOfPartitionEntry;
    uint64_t arrayStart = 0;
    uint64_t arrayEnd = 0;
    if (bytesPerSector == 0 || !CheckedMul(h.partitionEntryLba, bytesPerSector, &arrayStart) ||
        !CheckedAdd(arrayStart, h.entryArrayBytes, &arrayEnd))
        return GptHeaderError::EntryArrayOverflow;
    *header = h;
    return GptHeaderError::None;
}

bool ReadGeometryEx(const uint8_t* reply, uint64_t returned, GeometryEx* geometry) {
    if (reply == nullptr || geometry == nullptr) return false;
    if (returned < geometry_ex::Data) return false;
    geometry->bytesPerSector = LoadLe32(reply + geometry_ex::BytesPerSector);
    geometry->diskSize = LoadLe64(reply + geometry_ex::DiskSize);
    return true;
}

bool ReadDiskExtents(const uint8_t* reply, uint64_t returned, DiskExtent* extent) {
    if (reply == nullptr || extent == nullptr) return false;
    if (returned < disk_extents::kSize) return false;
    const uint8_t* first = reply + disk_extents::Extents;
    extent->numberOfDiskExtents = LoadLe32(reply + disk_extents::NumberOfDiskExtents);
    extent->diskNumber = LoadLe32(first + disk_extents::DiskNumber);
    extent->startingOffset = LoadLe64(first + disk_extents::StartingOffset);
    extent->extentLength = LoadLe64(first + disk_extents::ExtentLength);
    return true;
}

bool ReadNtfsVolumeData(const uint8_t* reply, uint64_t returned, NtfsVolumeData* data) {
    if (reply == nullptr || data == nullptr) return false;
    if (returned < ntfs_volume_data::kSize) return false;
    data->numberSectors = LoadLe64(reply + ntfs_volume_data::NumberSectors);
    data->totalClusters = LoadLe64(reply + ntfs_volume_data::TotalClusters);
    data->freeClusters = LoadLe64(reply + ntfs_volume_data::FreeClusters);
    data->bytesPerSector = LoadLe32(reply + ntfs_volume_data::BytesPerSector);
    data->bytesPerCluster = LoadLe32(reply + ntfs_volume_data::BytesPerCluster);
    return true;
}

}  // namespace velta::disk
