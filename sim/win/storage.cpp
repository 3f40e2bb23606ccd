// Device control and the volume functions of the simulated PC.
//
// The devices answer in NTSTATUS; DeviceIoControl maps that down as kernel32 does.
// Fault names: DeviceIoControl reports itself under the name of its control code
// (sim::ControlName: "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS", "IOCTL_DISK_GET_DRIVE_LAYOUT_EX",
// ...; IOCTL_STORAGE_QUERY_PROPERTY under its property, "StorageAccessAlignmentProperty" or
// "StorageDeviceProperty"); a
// transfer limit makes the call succeed with at most that many bytes returned. The volume
// functions report themselves under their own names.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win/constants.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage.h"
#include "platform/win/storage_constants.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"
#include "sim/nt/dos_error.h"
#include "sim/storage/devices.h"

namespace win {

namespace {

BOOL Fail(DWORD code) {
    sim::SetLastError(code);
    return FALSE;
}

std::optional<sim::Fault> Hit(const char* name) { return sim::Current().faults.Hit(name); }

// Copies text and its terminator into a caller's buffer of `size` characters.
bool CopyOut(const std::u16string& text, LPWSTR out, DWORD size) {
    if (out == nullptr || size < text.size() + 1) return false;
    std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
    out[text.size()] = 0;
    return true;
}

bool EndsWithBackslash(std::u16string_view s) { return !s.empty() && s.back() == u'\\'; }

// The volume a root path names: a volume GUID path or a mount point, trailing backslash
// required as Windows requires it.
sim::Volume* VolumeOfRoot(LPCWSTR root) {
    if (root == nullptr) return nullptr;
    std::u16string_view r(root);
    if (!EndsWithBackslash(r)) return nullptr;
    auto& storage = sim::Current().storage;
    if (auto* v = storage.FindVolume(r)) return v;
    return storage.FindVolumeByMountPoint(r);
}

// Volume search handles live in the handle table, so leak checks see them.
class VolumeSearch : public sim::HandleObject {
public:
    std::size_t next = 0;
};


}  // namespace

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     DWORD* returned, void*) {
    auto& m = sim::Current();
    if (returned != nullptr) *returned = 0;
    auto fault = m.faults.Hit(sim::ControlName(code, in, inSize));
    if (fault && !fault->transferLimit) return Fail(fault->code);
    auto object = m.handles.Get(device);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    std::uint32_t n = 0;
    sim::NtStatus status = object->Control(code, in, inSize, out, outSize, &n);
    if (fault && fault->transferLimit) n = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, *fault->transferLimit));
    if (returned != nullptr) *returned = n;
    // Warnings (STATUS_BUFFER_OVERFLOW) fail the call too, with the data they returned.
    if (status < 0) return Fail(sim::DosErrorOf(status));
    return TRUE;
}

BOOL GetVolumePathNameW(LPCWSTR fileName, LPWSTR out, DWORD size) {
    auto& m = sim::Current();
    if (auto f = Hit("GetVolumePathNameW")) return Fail(f->code);
    if (fileName == nullptr || *fileName == 0) return Fail(ERROR_INVALID_PARAMETER);
    std::u16string best;
    if (m.storage.VolumeOfPath(fileName, &best) == nullptr) return Fail(ERROR_PATH_NOT_FOUND);
    if (!CopyOut(best, out, size)) return Fail(ERROR_FILENAME_EXCED_RANGE);
    return TRUE;
}

BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR mountPoint, LPWSTR out, DWORD size) {
    if (auto f = Hit("GetVolumeNameForVolumeMountPointW")) return Fail(f->code);
    if (mountPoint == nullptr || !EndsWithBackslash(mountPoint)) return Fail(ERROR_INVALID_PARAMETER);
    sim::Volume* v = VolumeOfRoot(mountPoint);
    if (v == nullptr) return Fail(ERROR_FILE_NOT_FOUND);
    if (!CopyOut(v->GuidPath(), out, size)) return Fail(ERROR_FILENAME_EXCED_RANGE);
    return TRUE;
}

BOOL GetVolumePathNamesForVolumeNameW(LPCWSTR volumeName, LPWSTR names, DWORD size, DWORD* returned) {
    if (returned != nullptr) *returned = 0;
    if (auto f = Hit("GetVolumePathNamesForVolumeNameW")) return Fail(f->code);
    if (volumeName == nullptr || !EndsWithBackslash(volumeName)) return Fail(ERROR_INVALID_NAME);
    sim::Volume* v = sim::Current().storage.FindVolume(volumeName);
    if (v == nullptr) return Fail(ERROR_FILE_NOT_FOUND);
    std::u16string list;
    for (const auto& mp : v->mountPoints) {
        list += mp;
        list.push_back(0);
    }
    list.push_back(0);
    if (returned != nullptr) *returned = static_cast<DWORD>(list.size());
    if (names == nullptr || size < list.size()) return Fail(ERROR_MORE_DATA);
    std::memcpy(names, list.data(), list.size() * sizeof(char16_t));
    return TRUE;
}

HANDLE FindFirstVolumeW(LPWSTR volumeName, DWORD size) {
    auto& m = sim::Current();
    if (auto f = Hit("FindFirstVolumeW")) {
        sim::SetLastError(f->code);
        return INVALID_HANDLE_VALUE;
    }
    if (m.storage.Volumes().empty()) {
        sim::SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    if (!CopyOut(m.storage.Volumes()[0].GuidPath(), volumeName, size)) {
        sim::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<VolumeSearch>();
    search->next = 1;
    return m.handles.Add(std::move(search));
}

BOOL FindNextVolumeW(HANDLE find, LPWSTR volumeName, DWORD size) {
    auto& m = sim::Current();
    auto search = std::dynamic_pointer_cast<VolumeSearch>(m.handles.Get(find));
    if (!search) return Fail(ERROR_INVALID_HANDLE);
    if (auto f = Hit("FindNextVolumeW")) return Fail(f->code);
    const auto& volumes = m.storage.Volumes();
    if (search->next >= volumes.size()) return Fail(ERROR_NO_MORE_FILES);
    if (!CopyOut(volumes[search->next].GuidPath(), volumeName, size)) return Fail(ERROR_FILENAME_EXCED_RANGE);
    search->next++;
    return TRUE;
}

BOOL FindVolumeClose(HANDLE find) {
    auto& m = sim::Current();
    if (!std::dynamic_pointer_cast<VolumeSearch>(m.handles.Get(find))) return Fail(ERROR_INVALID_HANDLE);
    m.handles.Close(find);
    return TRUE;
}

BOOL GetVolumeInformationW(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                           DWORD* maxComponentLength, DWORD* fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize) {
    if (auto f = Hit("GetVolumeInformationW")) return Fail(f->code);
    sim::Volume* v = VolumeOfRoot(rootPath);
    if (v == nullptr) return Fail(rootPath != nullptr && EndsWithBackslash(rootPath) ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
    if (v->fileSystem.empty()) return Fail(ERROR_UNRECOGNIZED_VOLUME);
    if (volumeName != nullptr && !CopyOut(v->label, volumeName, volumeNameSize)) return Fail(ERROR_BAD_LENGTH);
    if (fileSystemName != nullptr && !CopyOut(v->fileSystem, fileSystemName, fileSystemNameSize))
        return Fail(ERROR_BAD_LENGTH);
    if (serialNumber != nullptr) *serialNumber = v->serialNumber;
    if (maxComponentLength != nullptr) *maxComponentLength = 255;
    if (fileSystemFlags != nullptr) *fileSystemFlags = 0;
    return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULONGLONG* available, ULONGLONG* total, ULONGLONG* totalFree) {
    auto& m = sim::Current();
    if (auto f = Hit("GetDiskFreeSpaceExW")) return Fail(f->code);
    if (directory == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const sim::Volume* found = m.storage.VolumeOfPath(directory);
    if (found == nullptr) return Fail(ERROR_PATH_NOT_FOUND);
    if (found->fileSystem.empty()) return Fail(ERROR_UNRECOGNIZED_VOLUME);
    std::uint64_t size = m.storage.FileSystemBytes(*found);
    std::uint64_t free = m.storage.FreeBytes(*found);
    if (available != nullptr) *available = free;
    if (total != nullptr) *total = size;
    if (totalFree != nullptr) *totalFree = free;
    return TRUE;
}

}  // namespace win
