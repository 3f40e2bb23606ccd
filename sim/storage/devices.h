// The devices of the simulated PC: whole disks and volumes, opened by the Win32 layer
// ("\\.\PhysicalDriveN", "\\?\Volume{GUID}", "\\.\C:") and by the native layer
// ("\Device\HarddiskN\Partition0", "\GLOBAL??\Volume{GUID}"). They answer as drivers do, in
// NTSTATUS; the Win32 layer maps that down once (sim/nt/dos_error.h).
//
// What the devices model:
// - sharing between open handles of one device (STATUS_SHARING_VIOLATION), and the
//   exclusive volume lock of FSCTL_LOCK_VOLUME, released when its handle closes;
// - transfers at byte offsets; with FILE_NO_INTERMEDIATE_BUFFERING offset and length must
//   be sector multiples; a transfer that starts at or past the end fails with
//   STATUS_END_OF_FILE, one that crosses the end is cut there;
// - writes through a disk handle into a mounted, unlocked volume are refused
//   (STATUS_ACCESS_DENIED), as Windows protects mounted file systems; so are writes through a
//   volume handle of a mounted file system that this handle has not locked;
// - the drive-layout requests read and write the real on-disk tables; a volume whose
//   partition moves or grows follows it; FSCTL_EXTEND_VOLUME rewrites NTFS's boot sectors.
//
// Fault names: a device control reports itself under its control code's name
// (ControlName); transfers under "NtReadFile"/"NtWriteFile" (native) or the Win32 call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim/core/handles.h"

namespace sim {

class Machine;
struct Volume;

// Control codes the devices know beyond the desktop side's (platform/win/storage_constants.h).
constexpr std::uint32_t kIoctlDiskSetDriveLayoutEx = 0x0007C054;
constexpr std::uint32_t kIoctlDiskUpdateProperties = 0x00070140;
constexpr std::uint32_t kIoctlDiskGrowPartition = 0x0007C0D0;
constexpr std::uint32_t kFsctlLockVolume = 0x00090018;
constexpr std::uint32_t kFsctlUnlockVolume = 0x0009001C;
constexpr std::uint32_t kFsctlExtendVolume = 0x000900F0;

// How a device is opened.
struct OpenRequest {
    std::uint32_t access = 0;  // GENERIC_READ/GENERIC_WRITE or FILE_READ_DATA/FILE_WRITE_DATA...
    std::uint32_t share = 0;   // FILE_SHARE_*
    bool noBuffering = false;  // FILE_NO_INTERMEDIATE_BUFFERING
    bool writeThrough = false; // FILE_WRITE_THROUGH
};

bool WantsRead(std::uint32_t access);
bool WantsWrite(std::uint32_t access);
bool WantsDelete(std::uint32_t access);

// An open object that takes part in share-access checks: all opens with the same key are of
// the same device or file.
class SharedObject : public HandleObject {
public:
    SharedObject(std::string key, const OpenRequest& request);
    const std::string& Key() const { return key_; }
    bool CanRead() const { return read_; }
    bool CanWrite() const { return write_; }
    bool CanDelete() const { return delete_; }
    std::uint32_t Share() const { return share_; }
    bool Locked() const { return locked_; }

protected:
    std::string key_;
    bool read_, write_, delete_;
    std::uint32_t share_;
    bool locked_ = false;
};

// STATUS_SHARING_VIOLATION when an open with this access and share conflicts with the open
// handles of `key`; STATUS_ACCESS_DENIED while one of them holds a volume lock.
NtStatus CheckSharing(const Machine& machine, const std::string& key, const OpenRequest& request);

// The whole disk `number`. STATUS_OBJECT_NAME_NOT_FOUND when there is no such disk.
NtStatus OpenDisk(Machine& machine, std::uint32_t number, const OpenRequest& request,
                  std::shared_ptr<HandleObject>* object);
// A volume device (not its root directory).
NtStatus OpenVolume(Machine& machine, const Volume& volume, const OpenRequest& request,
                    std::shared_ptr<HandleObject>* object);
// A volume's root directory: a directory, on which device controls fail.
std::shared_ptr<HandleObject> OpenRootDirectory();

// Whether an open handle holds the lock of this volume.
bool VolumeLocked(const Machine& machine, const Volume& volume);

// The Windows name of a control code, as faults name it ("IOCTL_DISK_GET_DRIVE_LAYOUT_EX";
// IOCTL_STORAGE_QUERY_PROPERTY by its property, "StorageDeviceProperty"...).
const char* ControlName(std::uint32_t code, const void* in, std::uint32_t inSize);

// The Win32 open of a path that starts with "\\.\" or "\\?\": the device object, or null
// with *error set to the Win32 code (ERROR_FILE_NOT_FOUND for a device that does not exist).
std::shared_ptr<HandleObject> OpenDevice(Machine& machine, std::u16string_view path,
                                         std::uint32_t access, std::uint32_t share,
                                         ErrorCode* error);

}  // namespace sim
