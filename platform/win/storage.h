// Device control and the volume functions: volume paths and GUID names, volume enumeration,
// file-system information and free space.
#pragma once

#include "platform/win/types.h"

namespace win {

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                     DWORD outSize, DWORD* returned, void* overlapped);

BOOL GetVolumePathNameW(LPCWSTR fileName, LPWSTR volumePathName, DWORD size);
BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR mountPoint, LPWSTR volumeName, DWORD size);
BOOL GetVolumePathNamesForVolumeNameW(LPCWSTR volumeName, LPWSTR names, DWORD size,
                                      DWORD* returned);
HANDLE FindFirstVolumeW(LPWSTR volumeName, DWORD size);
BOOL FindNextVolumeW(HANDLE find, LPWSTR volumeName, DWORD size);
BOOL FindVolumeClose(HANDLE find);

BOOL GetVolumeInformationW(LPCWSTR rootPath, LPWSTR volumeName, DWORD volumeNameSize,
                           DWORD* serialNumber, DWORD* maxComponentLength,
                           DWORD* fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize);
BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULONGLONG* freeBytesAvailableToCaller,
                         ULONGLONG* totalBytes, ULONGLONG* totalFreeBytes);

}  // namespace win
