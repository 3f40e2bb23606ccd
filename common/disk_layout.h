// What the three programs know about disks: partition type identifiers, the control codes of
// the disk, volume and file-system drivers, the published byte layouts of their replies and
// inputs, the MBR/EBR and GPT header sectors, and checked readers for all of them.
//
// Offsets are bytes from the start of each structure. Every reader takes the buffer and the
// number of valid bytes in it, and refuses rather than read past them; all offset arithmetic is
// done in 64 bits with explicit overflow checks, so a hostile count or size cannot wrap.
// Freestanding: no library beyond the fixed-width integers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/guid.h"
#include "common/units.h"

namespace velta::disk {

// ---------------------------------------------------------------------------------------------
// Checked arithmetic.

// *sum = a + b; false (and *sum untouched) when the sum does not fit in 64 bits.
inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t* sum) {
    if (a > UINT64_MAX - b) return false;
    *sum = a + b;
    return true;
}

// *product = a * b; false (and *product untouched) when the product does not fit in 64 bits.
inline bool CheckedMul(uint64_t a, uint64_t b, uint64_t* product) {
    if (a != 0 && b > UINT64_MAX / a) return false;
    *product = a * b;
    return true;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool SpanFits(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

// ---------------------------------------------------------------------------------------------
// Partition types.

// GPT partition type GUIDs.
inline constexpr Guid kBasicDataPartitionType = {
    0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
inline constexpr Guid kEfiSystemPartitionType = {
    0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
inline constexpr Guid kMicrosoftReservedPartitionType = {
    0xE3C9E316, 0x0B5C, 0x4DB8, {0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE}};
inline constexpr Guid kRecoveryPartitionType = {
    0xDE94BBA4, 0x06D1, 0x4D40, {0xA1, 0x6A, 0xBF, 0xD5, 0x01, 0x79, 0xD6, 0xAC}};
inline constexpr Guid kLdmMetadataPartitionType = {
    0x5808C8AA, 0x7E8F, 0x42E0, {0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3}};
inline constexpr Guid kLdmDataPartitionType = {
    0xAF9B60A0, 0x1431, 0x4F62, {0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD}};

// GPT attribute bits.
inline constexpr uint64_t GPT_ATTRIBUTE_PLATFORM_REQUIRED = 0x0000000000000001ull;
inline constexpr uint64_t GPT_BASIC_DATA_ATTRIBUTE_NO_DRIVE_LETTER = 0x8000000000000000ull;
inline constexpr uint64_t GPT_BASIC_DATA_ATTRIBUTE_HIDDEN = 0x4000000000000000ull;
inline constexpr uint64_t GPT_BASIC_DATA_ATTRIBUTE_SHADOW_COPY = 0x2000000000000000ull;
inline constexpr uint64_t GPT_BASIC_DATA_ATTRIBUTE_READ_ONLY = 0x1000000000000000ull;

// MBR partition type codes.
inline constexpr uint8_t kMbrTypeEmpty = 0x00;
inline constexpr uint8_t kMbrTypeExtended = 0x05;       // extended, CHS addressed
inline constexpr uint8_t kMbrTypeNtfs = 0x07;           // IFS: NTFS, exFAT
inline constexpr uint8_t kMbrTypeFat32Lba = 0x0C;
inline constexpr uint8_t kMbrTypeExtendedLba = 0x0F;    // extended, LBA addressed
inline constexpr uint8_t kMbrTypeRecovery = 0x27;
inline constexpr uint8_t kMbrTypeLdm = 0x42;            // dynamic disk
inline constexpr uint8_t kMbrTypeLinuxExtended = 0x85;
inline constexpr uint8_t kMbrTypeGptProtective = 0xEE;
inline constexpr uint8_t kMbrTypeEfiSystem = 0xEF;

// The two extended types Windows builds logical partitions in.
inline bool IsMbrExtendedType(uint8_t type) {
    return type == kMbrTypeExtended || type == kMbrTypeExtendedLba;
}
// Those and the Linux one, which Windows does not follow but which still holds partitions.
inline bool IsAnyMbrExtendedType(uint8_t type) {
    return IsMbrExtendedType(type) || type == kMbrTypeLinuxExtended;
}

// ---------------------------------------------------------------------------------------------
// Control codes.

inline constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method,
                                  uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

inline constexpr uint32_t FILE_DEVICE_DISK = 0x07;
inline constexpr uint32_t FILE_DEVICE_FILE_SYSTEM = 0x09;
inline constexpr uint32_t FILE_DEVICE_MASS_STORAGE = 0x2d;
inline constexpr uint32_t IOCTL_VOLUME_BASE = 0x56;  // 'V'
inline constexpr uint32_t METHOD_BUFFERED = 0;
inline constexpr uint32_t FILE_ANY_ACCESS = 0;
inline constexpr uint32_t FILE_READ_ACCESS = 1;
inline constexpr uint32_t FILE_WRITE_ACCESS = 2;

inline constexpr uint32_t IOCTL_DISK_GET_DRIVE_GEOMETRY_EX =
    CtlCode(FILE_DEVICE_DISK, 0x28, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t IOCTL_DISK_GET_DRIVE_LAYOUT_EX =
    CtlCode(FILE_DEVICE_DISK, 0x14, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t IOCTL_DISK_SET_DRIVE_LAYOUT_EX =
    CtlCode(FILE_DEVICE_DISK, 0x15, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
inline constexpr uint32_t IOCTL_DISK_UPDATE_PROPERTIES =
    CtlCode(FILE_DEVICE_DISK, 0x50, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t IOCTL_DISK_GROW_PARTITION =
    CtlCode(FILE_DEVICE_DISK, 0x34, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
inline constexpr uint32_t IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS =
    CtlCode(IOCTL_VOLUME_BASE, 0, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t IOCTL_STORAGE_QUERY_PROPERTY =
    CtlCode(FILE_DEVICE_MASS_STORAGE, 0x500, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t FSCTL_LOCK_VOLUME =
    CtlCode(FILE_DEVICE_FILE_SYSTEM, 6, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t FSCTL_UNLOCK_VOLUME =
    CtlCode(FILE_DEVICE_FILE_SYSTEM, 7, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t FSCTL_DISMOUNT_VOLUME =
    CtlCode(FILE_DEVICE_FILE_SYSTEM, 8, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t FSCTL_GET_NTFS_VOLUME_DATA =
    CtlCode(FILE_DEVICE_FILE_SYSTEM, 25, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr uint32_t FSCTL_EXTEND_VOLUME =
    CtlCode(FILE_DEVICE_FILE_SYSTEM, 60, METHOD_BUFFERED, FILE_ANY_ACCESS);

static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == 0x000700A0);
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT_EX == 0x00070050);
static_assert(IOCTL_DISK_SET_DRIVE_LAYOUT_EX == 0x0007C054);
static_assert(IOCTL_DISK_UPDATE_PROPERTIES == 0x00070140);
static_assert(IOCTL_DISK_GROW_PARTITION == 0x0007C0D0);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == 0x00560000);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x002D1400);
static_assert(FSCTL_LOCK_VOLUME == 0x00090018);
static_assert(FSCTL_UNLOCK_VOLUME == 0x0009001C);
static_assert(FSCTL_DISMOUNT_VOLUME == 0x00090020);
static_assert(FSCTL_GET_NTFS_VOLUME_DATA == 0x00090064);
static_assert(FSCTL_EXTEND_VOLUME == 0x000900F0);

// ---------------------------------------------------------------------------------------------
// Published layouts.

inline constexpr uint32_t PARTITION_STYLE_MBR = 0;
inline constexpr uint32_t PARTITION_STYLE_GPT = 1;
inline constexpr uint32_t PARTITION_STYLE_RAW = 2;

// DRIVE_LAYOUT_INFORMATION_EX: a 48-byte header, then PartitionCount PARTITION_INFORMATION_EX.
namespace drive_layout {
inline constexpr uint32_t kHeaderSize = 48;
inline constexpr uint32_t PartitionStyle = 0;
inline constexpr uint32_t PartitionCount = 4;
inline constexpr uint32_t MbrSignature = 8;           // DRIVE_LAYOUT_INFORMATION_MBR
inline constexpr uint32_t MbrCheckSum = 12;
inline constexpr uint32_t GptDiskId = 8;              // DRIVE_LAYOUT_INFORMATION_GPT
inline constexpr uint32_t GptStartingUsableOffset = 24;
inline constexpr uint32_t GptUsableLength = 32;
inline constexpr uint32_t GptMaxPartitionCount = 40;
}  // namespace drive_layout

// PARTITION_INFORMATION_EX, 144 bytes.
namespace partition_info {
inline constexpr uint32_t kSize = 144;
inline constexpr uint32_t PartitionStyle = 0;
inline constexpr uint32_t StartingOffset = 8;
inline constexpr uint32_t PartitionLength = 16;
inline constexpr uint32_t PartitionNumber = 24;
inline constexpr uint32_t RewritePartition = 28;
inline constexpr uint32_t IsServicePartition = 29;
inline constexpr uint32_t MbrPartitionType = 32;      // PARTITION_INFORMATION_MBR
inline constexpr uint32_t MbrBootIndicator = 33;
inline constexpr uint32_t MbrRecognizedPartition = 34;
inline constexpr uint32_t MbrHiddenSectors = 36;
inline constexpr uint32_t MbrPartitionId = 40;
inline constexpr uint32_t GptPartitionType = 32;      // PARTITION_INFORMATION_GPT
inline constexpr uint32_t GptPartitionId = 48;
inline constexpr uint32_t GptAttributes = 64;
inline constexpr uint32_t GptName = 72;
inline constexpr uint32_t kGptNameChars = 36;
}  // namespace partition_info

// DISK_GEOMETRY_EX with one data byte.
namespace geometry_ex {
inline constexpr uint32_t kSize = 40;
inline constexpr uint32_t Cylinders = 0;
inline constexpr uint32_t MediaType = 8;
inline constexpr uint32_t TracksPerCylinder = 12;
inline constexpr uint32_t SectorsPerTrack = 16;
inline constexpr uint32_t BytesPerSector = 20;
inline constexpr uint32_t DiskSize = 24;
inline constexpr uint32_t Data = 32;
}  // namespace geometry_ex
inline constexpr uint32_t FixedMedia = 12;

// VOLUME_DISK_EXTENTS with room for one DISK_EXTENT.
namespace disk_extents {
inline constexpr uint32_t kSize = 32;
inline constexpr uint32_t kExtentSize = 24;
inline constexpr uint32_t NumberOfDiskExtents = 0;
inline constexpr uint32_t Extents = 8;         // first DISK_EXTENT
inline constexpr uint32_t DiskNumber = 0;      // within a DISK_EXTENT
inline constexpr uint32_t StartingOffset = 8;  // within a DISK_EXTENT
inline constexpr uint32_t ExtentLength = 16;   // within a DISK_EXTENT
}  // namespace disk_extents

// NTFS_VOLUME_DATA_BUFFER.
namespace ntfs_volume_data {
inline constexpr uint32_t kSize = 96;
inline constexpr uint32_t VolumeSerialNumber = 0;
inline constexpr uint32_t NumberSectors = 8;
inline constexpr uint32_t TotalClusters = 16;
inline constexpr uint32_t FreeClusters = 24;
inline constexpr uint32_t TotalReserved = 32;
inline constexpr uint32_t BytesPerSector = 40;
inline constexpr uint32_t BytesPerCluster = 44;
inline constexpr uint32_t BytesPerFileRecordSegment = 48;
inline constexpr uint32_t ClustersPerFileRecordSegment = 52;
inline constexpr uint32_t MftValidDataLength = 56;
inline constexpr uint32_t MftStartLcn = 64;
inline constexpr uint32_t Mft2StartLcn = 72;
inline constexpr uint32_t MftZoneStart = 80;
inline constexpr uint32_t MftZoneEnd = 88;
}  // namespace ntfs_volume_data

// DISK_GROW_PARTITION: PartitionNumber (u32, then 4 zero bytes), BytesToGrow (i64).
namespace grow_partition {
inline constexpr uint32_t kSize = 16;
inline constexpr uint32_t PartitionNumber = 0;
inline constexpr uint32_t BytesToGrow = 8;
}  // namespace grow_partition

// FSCTL_EXTEND_VOLUME input: the new total number of sectors (i64).
inline constexpr uint32_t kExtendVolumeInputSize = 8;

// MBR and EBR sectors: the classic layout.
namespace mbr_sector {
inline constexpr uint32_t kSize = 512;
inline constexpr uint32_t DiskSignature = 440;
inline constexpr uint32_t Entries = 446;
inline constexpr uint32_t kEntrySize = 16;
inline constexpr uint32_t kEntryCount = 4;
inline constexpr uint32_t BootSignature = 510;  // 0x55, 0xAA
// Within an entry.
inline constexpr uint32_t BootIndicator = 0;
inline constexpr uint32_t ChsStart = 1;
inline constexpr uint32_t Type = 4;
inline constexpr uint32_t ChsEnd = 5;
inline constexpr uint32_t StartSector = 8;
inline constexpr uint32_t SectorCount = 12;
}  // namespace mbr_sector

// GPT header sector (LBA 1, and its backup at the last LBA).
namespace gpt_header {
inline constexpr uint32_t kMinSize = 92;
inline constexpr uint32_t Signature = 0;        // "EFI PART"
inline constexpr uint32_t Revision = 8;
inline constexpr uint32_t HeaderSize = 12;
inline constexpr uint32_t HeaderCrc32 = 16;
inline constexpr uint32_t Reserved = 20;
inline constexpr uint32_t MyLba = 24;
inline constexpr uint32_t AlternateLba = 32;
inline constexpr uint32_t FirstUsableLba = 40;
inline constexpr uint32_t LastUsableLba = 48;
inline constexpr uint32_t DiskGuid = 56;
inline constexpr uint32_t PartitionEntryLba = 72;
inline constexpr uint32_t NumberOfPartitionEntries = 80;
inline constexpr uint32_t SizeOfPartitionEntry = 84;
inline constexpr uint32_t PartitionEntryArrayCrc32 = 88;
inline constexpr uint64_t kSignatureValue = 0x5452415020494645ull;  // "EFI PART" little-endian
inline constexpr uint32_t kMinEntrySize = 128;
}  // namespace gpt_header

// ---------------------------------------------------------------------------------------------
// Checked readers.

// The header of a drive-layout reply.
struct DriveLayoutHeader {
    uint32_t partitionStyle = 0;
    uint32_t partitionCount = 0;
    uint32_t mbrSignature = 0;            // MBR style
    Guid gptDiskId{};                     // GPT style
    uint64_t gptStartingUsableOffset = 0; // GPT style; as the reply holds it (signed there)
    uint64_t gptUsableLength = 0;
    uint32_t gptMaxPartitionCount = 0;
};

// One PARTITION_INFORMATION_EX of a drive-layout reply.
struct LayoutEntry {
    uint32_t partitionStyle = 0;
    uint64_t startingOffset = 0;   // as the reply holds it (signed there)
    uint64_t partitionLength = 0;
    uint32_t partitionNumber = 0;
    uint8_t rewritePartition = 0;
    uint8_t isServicePartition = 0;
    // MBR style.
    uint8_t mbrPartitionType = 0;
    uint8_t mbrBootIndicator = 0;
    uint8_t mbrRecognizedPartition = 0;
    uint32_t mbrHiddenSectors = 0;
    // GPT style.
    Guid gptPartitionType{};
    Guid gptPartitionId{};
    uint64_t gptAttributes = 0;
};

// Reads the header of a reply of `returned` valid bytes. Fails when fewer than 48 bytes came
// back or when PartitionCount entries of 144 bytes do not fit in what came back.
bool ReadDriveLayoutHeader(const uint8_t* reply, uint64_t returned, DriveLayoutHeader* header);

// Byte offset of entry `index` (48 + index × 144); false when it would not fit in 64 bits.
bool LayoutEntryOffset(uint64_t index, uint64_t* offset);

// Byte size of a layout of `count` entries (48 + count × 144); false on overflow.
bool LayoutSize(uint64_t count, uint64_t* size);

// Reads entry `index`; fails unless the whole entry lies within the `returned` bytes.
bool ReadLayoutEntry(const uint8_t* reply, uint64_t returned, uint64_t index, LayoutEntry* entry);

// One 16-byte entry of an MBR or EBR.
struct MbrEntry {
    uint8_t bootIndicator = 0;
    uint8_t type = 0;
    uint32_t startSector = 0;
    uint32_t sectorCount = 0;
    bool allZero = true;  // every one of the 16 bytes is 0
};

// An MBR or EBR sector.
struct MbrSector {
    uint32_t diskSignature = 0;   // meaningful in the MBR only
    bool bootSignature = false;   // bytes 510 and 511 are 0x55, 0xAA
    MbrEntry entries[mbr_sector::kEntryCount];
};

// Reads an MBR or EBR from a buffer of `size` valid bytes; fails when fewer than 512.
bool ReadMbrSector(const uint8_t* sector, uint64_t size, MbrSector* out);

// Absolute sector span [*start, *end) of an entry whose start is relative to `base`; false
// when start or end would not fit in 64 bits.
bool MbrEntrySpan(uint64_t base, const MbrEntry& entry, uint64_t* start, uint64_t* end);

// The fields of a GPT header.
struct GptHeader {
    uint32_t revision = 0;
    uint32_t headerSize = 0;
    uint32_t headerCrc32 = 0;
    uint64_t myLba = 0;
    uint64_t alternateLba = 0;
    uint64_t firstUsableLba = 0;
    uint64_t lastUsableLba = 0;
    Guid diskGuid{};
    uint64_t partitionEntryLba = 0;
    uint32_t numberOfPartitionEntries = 0;
    uint32_t sizeOfPartitionEntry = 0;
    uint32_t partitionEntryArrayCrc32 = 0;
    uint64_t entryArrayBytes = 0;  // numberOfPartitionEntries × sizeOfPartitionEntry
};

enum class GptHeaderError : uint32_t {
    None = 0,
    Truncated,          // fewer valid bytes than the header claims, or than 92
    Signature,          // not "EFI PART"
    HeaderSize,         // below 92 or beyond the sector
    HeaderCrc,          // CRC-32 of the header does not match
    Reserved,           // the reserved word is not zero
    EntrySize,          // below 128 or not a multiple of 8
    UsableRange,        // first usable after last usable
    EntryArrayOverflow, // entry count × size, or the array's end LBA, does not fit in 64 bits
};

// Reads and checks a GPT header from a sector buffer of `size` valid bytes whose logical
// sector size is `bytesPerSector`.
GptHeaderError ReadGptHeader(const uint8_t* sector, uint64_t size, uint32_t bytesPerSector,
                             GptHeader* header);

// The standard CRC-32 (IEEE 802.3, reflected, as GPT uses it) of `length` bytes, continuing
// from `crc` (0 to start).
uint32_t Crc32(const uint8_t* data, uint64_t length, uint32_t crc = 0);

// The fixed-size replies the executor and the inspection read.
struct GeometryEx {
    uint32_t bytesPerSector = 0;
    uint64_t diskSize = 0;  // as the reply holds it (signed there)
};
bool ReadGeometryEx(const uint8_t* reply, uint64_t returned, GeometryEx* geometry);

struct DiskExtent {
    uint32_t numberOfDiskExtents = 0;
    uint32_t diskNumber = 0;
    uint64_t startingOffset = 0;
    uint64_t extentLength = 0;
};
// The first extent; fails when fewer than 32 bytes came back.
bool ReadDiskExtents(const uint8_t* reply, uint64_t returned, DiskExtent* extent);

struct NtfsVolumeData {
    uint64_t numberSectors = 0;
    uint64_t totalClusters = 0;
    uint64_t freeClusters = 0;
    uint32_t bytesPerSector = 0;
    uint32_t bytesPerCluster = 0;
};
bool ReadNtfsVolumeData(const uint8_t* reply, uint64_t returned, NtfsVolumeData* data);

}  // namespace velta::disk
