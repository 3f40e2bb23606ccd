#include "platform/win/real/prelude.h"

#include "platform/win/storage.h"

namespace win {

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                     DWORD outSize, DWORD* returned, void* overlapped) {
    return ::DeviceIoControl(device, code, in, inSize, out, outSize,
                             reinterpret_cast<LPDWORD>(returned),
                             static_cast<LPOVERLAPPED>(overlapped));
}

BOOL GetVolumePathNameW(LPCWSTR fileName, LPWSTR volumePathName, DWORD size) {
    return ::GetVolumePathNameW(W(fileName), W(volumePathName), size);
}

BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR mountPoint, LPWSTR volumeName, DWORD size) {
    return ::GetVolumeNameForVolumeMountPointW(W(mountPoint), W(volumeName), size);
}

BOOL GetVolumePathNamesForVolumeNameW(LPCWSTR volumeName, LPWSTR names, DWORD size,
                                      DWORD* returned) {
    return ::GetVolumePathNamesForVolumeNameW(W(volumeName), W(names), size,
                                              reinterpret_cast<PDWORD>(returned));
}

HANDLE FindFirstVolumeW(LPWSTR volumeName, DWORD size) {
    return ::FindFirstVolumeW(W(volumeName), size);
}

BOOL FindNextVolumeW(HANDLE find, LPWSTR volumeName, DWORD size) {
    return ::FindNextVolumeW(find, W(volumeName), size);
}

BOOL FindVolumeClose(HANDLE find) { return ::FindVolumeClose(find); }

BOOL GetVolumeInformationW(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize,
                           DWORD* serialNumber, DWORD* maxComponentLength,
                           DWORD* fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize) {
    return ::GetVolumeInformationW(W(rootPath), W(volumeName), volumeNameSize,
                                   reinterpret_cast<LPDWORD>(serialNumber),
                                   reinterpret_cast<LPDWORD>(maxComponentLength),
                                   reinterpret_cast<LPDWORD>(fileSystemFlags),
                                   W(fileSystemName), fileSystemNameSize);
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULONGLONG* freeBytesAvailableToCaller,
                         ULONGLONG* totalBytes, ULONGLONG* totalFreeBytes) {
    return ::GetDiskFreeSpaceExW(W(directory),
                                 reinterpret_cast<PULARGE_INTEGER>(freeBytesAvailableToCaller),
                                 reinterpret_cast<PULARGE_INTEGER>(totalBytes),
                                 reinterpret_cast<PULARGE_INTEGER>(totalFreeBytes));
}

}  // namespace win
