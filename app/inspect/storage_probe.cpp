// Finding the Windows volume and its one extent, opening its disk, and reading geometry,
// sector alignment, the device descriptor and the raw drive layout.
#include "app/inspect/storage_probe.h"

#include <optional>
#include <vector>

#include "app/inspect/fingerprint.h"
#include "app/inspect/fixed_text.h"
#include "app/model/decimal.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/process.h"
#include "platform/win/storage.h"
#include "platform/win/storage_constants.h"

namespace velta {

namespace {

constexpr win::DWORD kPathChars = 260;
constexpr win::DWORD kFirstLayoutBuffer = 16384;
constexpr win::DWORD kLayoutBufferCeiling = 1u << 20;

[[noreturn]] void RaiseLastError(const char16_t* step) { throw Error{step, win::GetLastError()}; }
[[noreturn]] void RaiseInvalid(const char16_t* step) { throw Error{step, win::ERROR_INVALID_DATA}; }

std::u16string WithoutLastCharacter(const std::u16string& path) {
    return path.empty() ? path : path.substr(0, path.size() - 1);
}

win::HANDLE OpenDevice(const std::u16string& path) {
    return win::CreateFileW(path.c_str(), 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                            win::OPEN_EXISTING, 0, nullptr);
}

// IOCTL_STORAGE_QUERY_PROPERTY with a standard query for one property.
bool QueryProperty(win::HANDLE disk, win::DWORD property, std::vector<std::uint8_t>& out, win::DWORD* returned) {
    std::uint8_t query[win::kPropertyQuerySize] = {};
    velta::StoreLe32(query + 0, property);
    velta::StoreLe32(query + 4, win::PropertyStandardQuery);
    return win::DeviceIoControl(disk, win::IOCTL_STORAGE_QUERY_PROPERTY, query, sizeof query, out.data(),
                                static_cast<win::DWORD>(out.size()), returned, nullptr) != 0;
}

}  // namespace

bool ProbeWindowsVolume(InspectionContext& ctx) {
    LayoutSnapshot& s = ctx.record.snapshot;

    char16_t directoryBuffer[kPathChars] = {};
    win::UINT length = win::GetSystemWindowsDirectoryW(directoryBuffer, kPathChars);
    if (length == 0 || length >= kPathChars) RaiseInvalid(u"GetSystemWindowsDirectory");
    // The reported length is the path; a zero inside it would make a different path.
    std::u16string directory(directoryBuffer, length);
    if (directory.find(u'\0') != std::u16string::npos) RaiseInvalid(u"GetSystemWindowsDirectory");

    char16_t mountPoint[kPathChars] = {};
    if (!win::GetVolumePathNameW(directory.c_str(), mountPoint, kPathChars)) RaiseLastError(u"GetVolumePathName");
    std::optional<std::u16string> mount = TerminatedText(mountPoint, kPathChars);
    if (!mount) RaiseInvalid(u"GetVolumePathName");
    if (mount->size() == 3 && (*mount)[1] == u':' && (*mount)[2] == u'\\') s.windowsDrive = mount->substr(0, 2);

    char16_t volumeName[kPathChars] = {};
    if (!win::GetVolumeNameForVolumeMountPointW(mount->c_str(), volumeName, kPathChars))
        RaiseLastError(u"GetVolumeNameForVolumeMountPoint");
    std::optional<std::u16string> volume = TerminatedText(volumeName, kPathChars);
    if (!volume) RaiseInvalid(u"GetVolumeNameForVolumeMountPoint");
    s.windowsVolumePath = std::move(*volume);

    ctx.volume.reset(OpenDevice(WithoutLastCharacter(s.windowsVolumePath)));
    if (!ctx.volume) RaiseLastError(u"Open Windows volume");

    namespace x = win::disk_extents;
    std::uint8_t extents[x::kSize] = {};
    win::DWORD returned = 0;
    bool ok = win::DeviceIoControl(ctx.volume.get(), win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                                   extents, x::kSize, &returned, nullptr) != 0;
    if (!ok || returned < x::kSize || velta::LoadLe32(extents + x::NumberOfDiskExtents) != 1) {
        ctx.volume.reset();
        return false;
    }
    s.diskNumber = velta::LoadLe32(extents + x::Extents + x::DiskNumber);
    ctx.extentStart = velta::LoadLe64(extents + x::Extents + x::StartingOffset);
    ctx.extentLength = velta::LoadLe64(extents + x::Extents + x::ExtentLength);
    return true;
}

void ProbeDisk(InspectionContext& ctx) {
    LayoutSnapshot& s = ctx.record.snapshot;

    ctx.disk.reset(OpenDevice(u"\\\\.\\PhysicalDrive" + Decimal(s.diskNumber)));
    if (!ctx.disk) RaiseLastError(u"Open physical disk");

    namespace g = win::geometry_ex;
    std::uint8_t geometry[g::kSize] = {};
    win::DWORD returned = 0;
    if (!win::DeviceIoControl(ctx.disk.get(), win::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, geometry,
                              g::kSize, &returned, nullptr))
        RaiseLastError(u"IOCTL_DISK_GET_DRIVE_GEOMETRY_EX");
    std::uint32_t bytesPerSector = velta::LoadLe32(geometry + g::BytesPerSector);
    std::int64_t diskSize = win::LoadI64(geometry + g::DiskSize);
    s.logicalSectorSize = bytesPerSector;
    if (diskSize <= 0 || (bytesPerSector != 512 && bytesPerSector != 4096)) RaiseInvalid(u"Disk geometry");
    ctx.geometryDiskSize = static_cast<std::uint64_t>(diskSize);

    namespace a = win::access_alignment;
    std::vector<std::uint8_t> alignment(a::kSize, 0);
    if (!QueryProperty(ctx.disk.get(), win::StorageAccessAlignmentProperty, alignment, &returned))
        RaiseLastError(u"StorageAccessAlignmentProperty");
    std::uint32_t logical = velta::LoadLe32(alignment.data() + a::BytesPerLogicalSector);
    std::uint32_t physical = velta::LoadLe32(alignment.data() + a::BytesPerPhysicalSector);
    s.physicalSectorSize = physical;
    if (logical != bytesPerSector || physical == 0 || physical < logical || (1u << 20) % physical != 0)
        RaiseInvalid(u"Sector alignment");

    namespace dd = win::device_descriptor;
    std::vector<std::uint8_t> descriptor(dd::kQuerySize, 0);
    returned = 0;
    if (!QueryProperty(ctx.disk.get(), win::StorageDeviceProperty, descriptor, &returned))
        RaiseLastError(u"StorageDeviceProperty");
    if (returned < dd::kFixedSize || returned > dd::kQuerySize) RaiseInvalid(u"Storage device descriptor");
    descriptor.resize(returned);
    std::uint32_t bus = velta::LoadLe32(descriptor.data() + dd::BusType);
    if (bus == win::BusTypeUsb || bus == win::BusTypeSpaces || descriptor[dd::RemovableMedia] != 0)
        RaiseInvalid(u"Storage Spaces, USB or removable disk");
    ctx.deviceDescriptor = std::move(descriptor);

    BeginIdentity(ctx);
}

void ReadDriveLayout(InspectionContext& ctx) {
    std::vector<std::uint8_t> buffer(kFirstLayoutBuffer, 0);
    win::DWORD returned = 0;
    for (;;) {
        returned = 0;
        if (win::DeviceIoControl(ctx.disk.get(), win::IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, buffer.data(),
                                 static_cast<win::DWORD>(buffer.size()), &returned, nullptr))
            break;
        win::DWORD error = win::GetLastError();
        bool tooSmall = error == win::ERROR_MORE_DATA || error == win::ERROR_INSUFFICIENT_BUFFER;
        if (!tooSmall || buffer.size() >= kLayoutBufferCeiling)
            throw Error{u"IOCTL_DISK_GET_DRIVE_LAYOUT_EX", error};
        buffer.resize(buffer.size() * 2, 0);
    }
    namespace dl = win::drive_layout;
    if (returned < dl::kHeaderSize || returned > buffer.size() ||
        (returned - dl::kHeaderSize) / win::partition_info::kSize < velta::LoadLe32(buffer.data() + dl::PartitionCount))
        RaiseInvalid(u"Partition table size");
    buffer.resize(returned);
    ctx.driveLayout = std::move(buffer);
}

}  // namespace velta
