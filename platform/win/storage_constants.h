// Control codes, property ids and the published byte layouts of the storage structures that
// the inspection exchanges with Windows. Offsets are in bytes from the start of each
// structure. Like constants.h, the real forwarders never include this file.
#pragma once

#include <cstdint>

#include "platform/win/types.h"

namespace win {

constexpr DWORD CtlCode(DWORD deviceType, DWORD function, DWORD method, DWORD access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

constexpr DWORD FILE_DEVICE_DISK = 0x07;
constexpr DWORD FILE_DEVICE_FILE_SYSTEM = 0x09;
constexpr DWORD FILE_DEVICE_MASS_STORAGE = 0x2d;
constexpr DWORD IOCTL_VOLUME_BASE = 0x56;  // 'V'
constexpr DWORD METHOD_BUFFERED = 0;
constexpr DWORD FILE_ANY_ACCESS = 0;
constexpr DWORD FILE_READ_ACCESS = 1;

constexpr DWORD IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS = CtlCode(IOCTL_VOLUME_BASE, 0, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY_EX = CtlCode(FILE_DEVICE_DISK, 0x28, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_DISK_GET_DRIVE_LAYOUT_EX = CtlCode(FILE_DEVICE_DISK, 0x14, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_STORAGE_QUERY_PROPERTY = CtlCode(FILE_DEVICE_MASS_STORAGE, 0x500, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD FSCTL_GET_NTFS_VOLUME_DATA = CtlCode(FILE_DEVICE_FILE_SYSTEM, 25, METHOD_BUFFERED, FILE_ANY_ACCESS);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == 0x00560000);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == 0x000700a0);
static_assert(IOCTL_DISK_GET_DRIVE_LAYOUT_EX == 0x00070050);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x002d1400);
static_assert(FSCTL_GET_NTFS_VOLUME_DATA == 0x00090064);

// STORAGE_PROPERTY_QUERY: PropertyId, QueryType, AdditionalParameters[1].
constexpr DWORD kPropertyQuerySize = 12;
constexpr DWORD StorageDeviceProperty = 0;
constexpr DWORD StorageAccessAlignmentProperty = 6;
constexpr DWORD PropertyStandardQuery = 0;

// STORAGE_BUS_TYPE values that matter here.
constexpr DWORD BusTypeScsi = 0x1;
constexpr DWORD BusTypeAta = 0x3;
constexpr DWORD BusTypeUsb = 0x7;
constexpr DWORD BusTypeSata = 0xb;
constexpr DWORD BusTypeSpaces = 0x10;
constexpr DWORD BusTypeNvme = 0x11;

// VOLUME_DISK_EXTENTS with room for one DISK_EXTENT.
namespace disk_extents {
constexpr DWORD kSize = 32;
constexpr DWORD kExtentSize = 24;
constexpr DWORD NumberOfDiskExtents = 0;
constexpr DWORD Extents = 8;  // first DISK_EXTENT
constexpr DWORD DiskNumber = 0;       // within a DISK_EXTENT
constexpr DWORD StartingOffset = 8;   // within a DISK_EXTENT
constexpr DWORD ExtentLength = 16;    // within a DISK_EXTENT
}  // namespace disk_extents

// DISK_GEOMETRY_EX.
namespace geometry_ex {
constexpr DWORD kSize = 40;
constexpr DWORD Cylinders = 0;
constexpr DWORD MediaType = 8;
constexpr DWORD TracksPerCylinder = 12;
constexpr DWORD SectorsPerTrack = 16;
constexpr DWORD BytesPerSector = 20;
constexpr DWORD DiskSize = 24;
}  // namespace geometry_ex
constexpr DWORD FixedMedia = 12;

// STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR.
namespace access_alignment {
constexpr DWORD kSize = 28;
constexpr DWORD Version = 0;
constexpr DWORD Size = 4;
constexpr DWORD BytesPerCacheLine = 8;
constexpr DWORD BytesOffsetForCacheAlignment = 12;
constexpr DWORD BytesPerLogicalSector = 16;
constexpr DWORD BytesPerPhysicalSector = 20;
constexpr DWORD BytesOffsetForSectorAlignment = 24;
}  // namespace access_alignment

// STORAGE_DEVICE_DESCRIPTOR; the identifier strings follow the fixed part.
namespace device_descriptor {
constexpr DWORD kFixedSize = 36;
constexpr DWORD kQuerySize = 16384;
constexpr DWORD Version = 0;
constexpr DWORD Size = 4;
constexpr DWORD DeviceType = 8;
constexpr DWORD DeviceTypeModifier = 9;
constexpr DWORD RemovableMedia = 10;
constexpr DWORD CommandQueueing = 11;
constexpr DWORD VendorIdOffset = 12;
constexpr DWORD ProductIdOffset = 16;
constexpr DWORD ProductRevisionOffset = 20;
constexpr DWORD SerialNumberOffset = 24;
constexpr DWORD BusType = 28;
constexpr DWORD RawPropertiesLength = 32;
}  // namespace device_descriptor

// DRIVE_LAYOUT_INFORMATION_EX: a 48-byte header, then PARTITION_INFORMATION_EX entries.
namespace drive_layout {
constexpr DWORD kHeaderSize = 48;
constexpr DWORD PartitionStyle = 0;
constexpr DWORD PartitionCount = 4;
constexpr DWORD MbrSignature = 8;
constexpr DWORD MbrCheckSum = 12;
constexpr DWORD GptDiskId = 8;
constexpr DWORD GptStartingUsableOffset = 24;
constexpr DWORD GptUsableLength = 32;
constexpr DWORD GptMaxPartitionCount = 40;
}  // namespace drive_layout

// PARTITION_INFORMATION_EX, 144 bytes.
namespace partition_info {
constexpr DWORD kSize = 144;
constexpr DWORD PartitionStyle = 0;
constexpr DWORD StartingOffset = 8;
constexpr DWORD PartitionLength = 16;
constexpr DWORD PartitionNumber = 24;
constexpr DWORD RewritePartition = 28;
constexpr DWORD IsServicePartition = 29;
constexpr DWORD MbrPartitionType = 32;
constexpr DWORD MbrBootIndicator = 33;
constexpr DWORD MbrRecognizedPartition = 34;
constexpr DWORD MbrHiddenSectors = 36;
constexpr DWORD MbrPartitionId = 40;
constexpr DWORD GptPartitionType = 32;
constexpr DWORD GptPartitionId = 48;
constexpr DWORD GptAttributes = 64;
constexpr DWORD GptName = 72;
constexpr DWORD kGptNameChars = 36;
}  // namespace partition_info

constexpr DWORD PARTITION_STYLE_MBR = 0;
constexpr DWORD PARTITION_STYLE_GPT = 1;
constexpr DWORD PARTITION_STYLE_RAW = 2;

// NTFS_VOLUME_DATA_BUFFER.
namespace ntfs_volume_data {
constexpr DWORD kSize = 96;
constexpr DWORD VolumeSerialNumber = 0;
constexpr DWORD NumberSectors = 8;
constexpr DWORD TotalClusters = 16;
constexpr DWORD FreeClusters = 24;
constexpr DWORD TotalReserved = 32;
constexpr DWORD BytesPerSector = 40;
constexpr DWORD BytesPerCluster = 44;
constexpr DWORD BytesPerFileRecordSegment = 48;
constexpr DWORD ClustersPerFileRecordSegment = 52;
constexpr DWORD MftValidDataLength = 56;
constexpr DWORD MftStartLcn = 64;
constexpr DWORD Mft2StartLcn = 72;
constexpr DWORD MftZoneStart = 80;
constexpr DWORD MftZoneEnd = 88;
}  // namespace ntfs_volume_data

constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_BAD_LENGTH = 24;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_UNRECOGNIZED_VOLUME = 1005;

}  // namespace win
