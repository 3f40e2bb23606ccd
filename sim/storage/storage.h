// Disks and volumes of the simulated PC.
//
// A Disk holds real bytes (DiskBytes); its partition table is whatever MBR/EBR/GPT bytes are
// on it, and the drive-layout call parses them afresh on every call (sim/partition_table.h).
// A Volume is what Windows mounts: a volume GUID, mount points, one or more extents on
// disks, and a file system. For NTFS the geometry comes from the boot sector at the start of
// the volume's first extent when there is one (as mkntfs or WriteNtfsBootSector leave it),
// else from the volume's own fields; used space is always kept in the model.
//
// Building a machine:
//   auto& d = m.storage.AddDisk(0, 256 * GiB);             // 512-byte sectors
//   sim::WriteGpt(d.bytes, d.logicalSectorSize, diskId, {...});   // or WriteMbr, or
//   m.storage.AddDiskFromImage(1, "disk.img", 512);        // an sgdisk/sfdisk image
//   m.storage.AddVolumeOnPartition(0, 3, volume);            // mount points, used bytes...
//
// Test hooks on Disk and Volume replace a device's reply with crafted bytes, for layouts
// that Windows would never report but the programs must still refuse.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/types.h"
#include "sim/storage/disk_bytes.h"
#include "sim/core/handles.h"
#include "sim/storage/partition_table.h"

namespace sim {

// The identifier strings of the storage device descriptor, as raw bytes (usually
// space-padded ASCII). An absent string is reported with offset 0.
struct DeviceIdentity {
    std::optional<std::string> vendor = std::string("ATA     ");
    std::optional<std::string> product = std::string("SIMULATED SSD");
    std::optional<std::string> revision = std::string("1.0");
    std::optional<std::string> serial = std::string("SIM0000000001");
};

struct Disk {
    std::uint32_t number = 0;
    std::uint32_t logicalSectorSize = 512;
    std::uint32_t physicalSectorSize = 512;
    // What the access-alignment descriptor reports as the logical sector size; 0 means the
    // same as logicalSectorSize (a disagreeing device is a test case).
    std::uint32_t alignmentLogicalSectorSize = 0;
    std::uint32_t busType = 0xb;  // BusTypeSata
    bool removable = false;
    bool offline = false;
    bool readOnly = false;
    DeviceIdentity identity;
    DiskBytes bytes;

    // Crafted replies.
    std::optional<std::vector<std::uint8_t>> layoutReply;      // DRIVE_LAYOUT_INFORMATION_EX
    std::optional<std::vector<std::uint8_t>> descriptorReply;  // STORAGE_DEVICE_DESCRIPTOR

    std::uint64_t Size() const { return bytes.Size(); }
    TableView Table() const { return ReadTable(bytes, logicalSectorSize); }
    // The descriptor bytes this device returns for StorageDeviceProperty.
    std::vector<std::uint8_t> DeviceDescriptor() const;
};

struct Extent {
    std::uint32_t diskNumber = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct Volume {
    win::GUID guid{};
    // Each with its trailing backslash: "C:\" or a folder such as "C:\Mount\Data\".
    std::vector<std::u16string> mountPoints;
    std::vector<Extent> extents;
    std::u16string fileSystem = u"NTFS";  // empty: not recognised (RAW)
    std::u16string label;
    std::uint32_t serialNumber = 0x1234abcd;
    // Used when no NTFS boot sector is on disk: cluster size, and the file-system size
    // (0 means the extents' total length less one sector, as NTFS leaves its backup boot
    // sector outside).
    std::uint32_t clusterSize = 4096;
    std::uint64_t sizeBytes = 0;
    std::uint64_t usedBytes = 0;

    // Crafted reply of FSCTL_GET_NTFS_VOLUME_DATA.
    std::optional<std::vector<std::uint8_t>> ntfsDataReply;

    // "\\?\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\" in lowercase, as Windows names it.
    std::u16string GuidPath() const;
};

// NTFS geometry as the file system sees it.
struct NtfsGeometry {
    std::uint32_t bytesPerSector = 512;
    std::uint32_t bytesPerCluster = 4096;
    std::uint64_t totalSectors = 0;   // NumberSectors: the volume less its backup boot sector
    std::uint64_t totalClusters = 0;
    std::uint64_t mftLcn = 0;
    std::uint64_t mftMirrorLcn = 0;
    std::uint64_t serial = 0;
    std::uint32_t bytesPerFileRecord = 1024;
};

// The boot sector fields of an NTFS volume starting at `offset`, or none when the sector
// there is not an NTFS boot sector.
std::optional<NtfsGeometry> ReadNtfsBootSector(const DiskBytes& disk, std::uint64_t offset);
// A minimal NTFS boot sector at `offset` for a volume of `length` bytes, and its backup in
// the volume's last sector, as mkntfs lays them out.
void WriteNtfsBootSector(DiskBytes& disk, std::uint64_t offset, std::uint64_t length,
                         std::uint32_t bytesPerSector, std::uint32_t bytesPerCluster,
                         std::uint64_t serial = 0x5eed5eed5eed5eedull);

class Storage {
public:
    // A blank disk (all zero: RAW until a table is written).
    Disk& AddDisk(std::uint32_t number, std::uint64_t size, std::uint32_t logicalSectorSize = 512,
                  std::uint32_t physicalSectorSize = 0);
    // A disk whose bytes are a raw image file (made by sgdisk, sfdisk, mkntfs...).
    Disk& AddDiskFromImage(std::uint32_t number, const std::string& path,
                           std::uint32_t logicalSectorSize = 512,
                           std::uint32_t physicalSectorSize = 0);
    Disk* FindDisk(std::uint32_t number);
    const Disk* FindDisk(std::uint32_t number) const;
    std::vector<Disk*> Disks();

    // Partitions of a disk as Windows lists them (sim/partition_table.h); empty for an
    // unknown disk. Only entries with IsPartition() are partitions.
    std::vector<LayoutEntry> Partitions(std::uint32_t diskNumber) const;

    Volume& AddVolume(Volume volume);
    // A volume lying exactly on partition `partitionNumber` of a disk. Its GUID is derived
    // from the disk and partition unless `volume.guid` is set. Throws when the partition
    // does not exist.
    Volume& AddVolumeOnPartition(std::uint32_t diskNumber, std::uint32_t partitionNumber,
                                 Volume volume = {});
    // The same with the partition already looked up in the disk's table, for loaders that
    // add many volumes and parse each table once.
    Volume& AddVolumeOnPartition(std::uint32_t diskNumber, const LayoutEntry& partition, Volume volume = {});
    std::vector<Volume>& Volumes() { return volumes_; }
    // By volume GUID path, with or without its trailing backslash (case ignored).
    Volume* FindVolume(std::u16string_view guidPath);
    // By mount point, with or without its trailing backslash (case ignored).
    Volume* FindVolumeByMountPoint(std::u16string_view mountPoint);
    // The volume whose only extent is exactly this range.
    Volume* FindVolumeOnExtent(std::uint32_t diskNumber, std::uint64_t offset, std::uint64_t length);
    // The volume holding a path, as Windows resolves one: the volume whose mount point (or
    // GUID path) is the longest prefix of the path, compared without regard to case. A
    // Windows directory on a folder-mounted volume is found even when another volume holds
    // that drive's root. `mountPoint` receives the matching mount point.
    const Volume* VolumeOfPath(std::u16string_view path, std::u16string* mountPoint = nullptr) const;

    // File-system figures of a volume: size and free bytes, and for NTFS the geometry.
    NtfsGeometry Geometry(const Volume& volume) const;
    std::uint64_t FileSystemBytes(const Volume& volume) const;
    std::uint64_t FreeBytes(const Volume& volume) const;

    // Changes the length of a partition the way Windows' storage provider does: the entry
    // on disk (GPT: both arrays and both headers' CRCs; MBR: the slot and any link), the
    // volume's extent, and its file system (NTFS: boot sector and backup). Returns 0 or a
    // Win32 error: ERROR_FILE_NOT_FOUND (no such disk or partition), ERROR_INVALID_PARAMETER
    // (length 0, not a sector multiple, or overlapping the next partition or the usable
    // end), ERROR_DISK_FULL (the file system's used bytes do not fit),
    // ERROR_WRITE_PROTECT (read-only or offline disk).
    ErrorCode ResizePartition(std::uint32_t diskNumber, std::uint32_t partitionNumber,
                              std::uint64_t newLength);

private:
    std::map<std::uint32_t, std::unique_ptr<Disk>> disks_;
    std::vector<Volume> volumes_;
};

}  // namespace sim
