#include "sim/storage/devices.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace sim {

namespace {

constexpr ErrorCode kInvalidFunction = 1;
constexpr ErrorCode kFileNotFound = 2;
constexpr ErrorCode kNotSupported = 50;
constexpr ErrorCode kInvalidParameter = 87;
constexpr ErrorCode kInsufficientBuffer = 122;
constexpr ErrorCode kMoreData = 234;

ErrorCode CopyReply(const std::vector<std::uint8_t>& reply, void* out, std::uint32_t outSize,
                    std::uint32_t* returned) {
    std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(reply.size(), outSize));
    if (n > 0) std::memcpy(out, reply.data(), n);
    *returned = n;
    return 0;
}

// "\\.\PhysicalDriveN": the whole disk.
class DiskObject : public HandleObject {
public:
    DiskObject(Machine& m, std::uint32_t number) : machine_(m), number_(number) {}

    ErrorCode Ioctl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                    std::uint32_t outSize, std::uint32_t* returned) override {
        *returned = 0;
        Disk* d = machine_.storage.FindDisk(number_);
        if (d == nullptr) return kFileNotFound;
        auto* o = static_cast<std::uint8_t*>(out);
        switch (code) {
            case win::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX: {
                namespace g = win::geometry_ex;
                if (out == nullptr || outSize < g::kSize) return kInsufficientBuffer;
                std::memset(o, 0, g::kSize);
                std::uint64_t perCylinder = 255ull * 63 * d->logicalSectorSize;
                velta::StoreLe64(o + g::Cylinders, perCylinder == 0 ? 0 : d->Size() / perCylinder);
                velta::StoreLe32(o + g::MediaType, win::FixedMedia);
                velta::StoreLe32(o + g::TracksPerCylinder, 255);
                velta::StoreLe32(o + g::SectorsPerTrack, 63);
                velta::StoreLe32(o + g::BytesPerSector, d->logicalSectorSize);
                velta::StoreLe64(o + g::DiskSize, d->Size());
                *returned = g::kSize;
                return 0;
            }
            case win::IOCTL_STORAGE_QUERY_PROPERTY: {
                if (in == nullptr || inSize < 8) return kInvalidParameter;
                const auto* q = static_cast<const std::uint8_t*>(in);
                std::uint32_t property = velta::LoadLe32(q);
                if (velta::LoadLe32(q + 4) != win::PropertyStandardQuery) return kNotSupported;
                if (property == win::StorageAccessAlignmentProperty) {
                    namespace a = win::access_alignment;
                    if (out == nullptr || outSize < a::kSize) return kInsufficientBuffer;
                    std::memset(o, 0, a::kSize);
                    velta::StoreLe32(o + a::Version, a::kSize);
                    velta::StoreLe32(o + a::Size, a::kSize);
                    velta::StoreLe32(o + a::BytesPerCacheLine, 64);
                    velta::StoreLe32(o + a::BytesPerLogicalSector,
                                  d->alignmentLogicalSectorSize != 0 ? d->alignmentLogicalSectorSize : d->logicalSectorSize);
                    velta::StoreLe32(o + a::BytesPerPhysicalSector, d->physicalSectorSize);
                    *returned = a::kSize;
                    return 0;
                }
                if (property == win::StorageDeviceProperty) {
                    if (out == nullptr) return kInsufficientBuffer;
                    return CopyReply(d->DeviceDescriptor(), out, outSize, returned);
                }
                return kNotSupported;
            }
            case win::IOCTL_DISK_GET_DRIVE_LAYOUT_EX: {
                std::vector<std::uint8_t> layout = d->layoutReply ? *d->layoutReply : EncodeDriveLayout(d->Table());
                if (out == nullptr || outSize < layout.size()) return kInsufficientBuffer;
                return CopyReply(layout, out, outSize, returned);
            }
            default:
                return kInvalidFunction;
        }
    }

private:
    Machine& machine_;
    std::uint32_t number_;
};

// "\\?\Volume{GUID}" or "\\.\C:": the volume itself.
class VolumeObject : public HandleObject {
public:
    VolumeObject(Machine& m, std::u16string guidPath) : machine_(m), guidPath_(std::move(guidPath)) {}

    ErrorCode Ioctl(std::uint32_t code, const void*, std::uint32_t, void* out, std::uint32_t outSize,
                    std::uint32_t* returned) override {
        *returned = 0;
        Volume* v = machine_.storage.FindVolume(guidPath_);
        if (v == nullptr) return kFileNotFound;
        auto* o = static_cast<std::uint8_t*>(out);
        switch (code) {
            case win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: {
                namespace x = win::disk_extents;
                if (out == nullptr || outSize < x::kSize) return kInsufficientBuffer;
                std::memset(o, 0, outSize);
                velta::StoreLe32(o + x::NumberOfDiskExtents, static_cast<std::uint32_t>(v->extents.size()));
                std::uint32_t room = (outSize - x::Extents) / x::kExtentSize;
                for (std::uint32_t i = 0; i < v->extents.size() && i < room; ++i) {
                    std::uint8_t* e = o + x::Extents + i * x::kExtentSize;
                    velta::StoreLe32(e + x::DiskNumber, v->extents[i].diskNumber);
                    velta::StoreLe64(e + x::StartingOffset, v->extents[i].offset);
                    velta::StoreLe64(e + x::ExtentLength, v->extents[i].length);
                }
                *returned = x::Extents + static_cast<std::uint32_t>(std::min<std::size_t>(v->extents.size(), room)) * x::kExtentSize;
                if (v->extents.size() > room) return kMoreData;
                return 0;
            }
            case win::FSCTL_GET_NTFS_VOLUME_DATA: {
                namespace n = win::ntfs_volume_data;
                if (v->ntfsDataReply) return CopyReply(*v->ntfsDataReply, out, outSize, returned);
                if (!EqualsNoCase(v->fileSystem, u"NTFS")) return kInvalidFunction;
                if (out == nullptr || outSize < n::kSize) return kInsufficientBuffer;
                NtfsGeometry g = machine_.storage.Geometry(*v);
                std::memset(o, 0, n::kSize);
                velta::StoreLe64(o + n::VolumeSerialNumber, g.serial);
                velta::StoreLe64(o + n::NumberSectors, g.totalSectors);
                velta::StoreLe64(o + n::TotalClusters, g.totalClusters);
                velta::StoreLe64(o + n::FreeClusters, machine_.storage.FreeBytes(*v) / g.bytesPerCluster);
                velta::StoreLe32(o + n::BytesPerSector, g.bytesPerSector);
                velta::StoreLe32(o + n::BytesPerCluster, g.bytesPerCluster);
                velta::StoreLe32(o + n::BytesPerFileRecordSegment, g.bytesPerFileRecord);
                velta::StoreLe32(o + n::ClustersPerFileRecordSegment,
                              g.bytesPerFileRecord >= g.bytesPerCluster ? g.bytesPerFileRecord / g.bytesPerCluster : 0);
                velta::StoreLe64(o + n::MftValidDataLength, 64ull * g.bytesPerFileRecord);
                velta::StoreLe64(o + n::MftStartLcn, g.mftLcn);
                velta::StoreLe64(o + n::Mft2StartLcn, g.mftMirrorLcn);
                velta::StoreLe64(o + n::MftZoneStart, g.mftLcn);
                velta::StoreLe64(o + n::MftZoneEnd, g.mftLcn + g.totalClusters / 8);
                *returned = n::kSize;
                return 0;
            }
            default:
                return kInvalidFunction;
        }
    }

private:
    Machine& machine_;
    std::u16string guidPath_;
};

// A volume's root directory ("\\?\Volume{GUID}\"): a directory, not the device, so device
// controls fail on it as they do on Windows.
class RootDirectoryObject : public HandleObject {};

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace

std::shared_ptr<HandleObject> OpenDevice(Machine& machine, std::u16string_view path, std::uint32_t,
                                         std::uint32_t, ErrorCode* error) {
    *error = kFileNotFound;
    std::u16string_view rest = path.substr(4);  // after "\\.\" or "\\?\"
    if (StartsWithNoCase(rest, u"PhysicalDrive")) {
        std::u16string_view digits = rest.substr(13);
        if (digits.empty() || digits.size() > 9) return nullptr;
        std::uint32_t n = 0;
        for (char16_t c : digits) {
            if (c < u'0' || c > u'9') return nullptr;
            n = n * 10 + static_cast<std::uint32_t>(c - u'0');
        }
        if (machine.storage.FindDisk(n) == nullptr) return nullptr;
        return std::make_shared<DiskObject>(machine, n);
    }
    if (StartsWithNoCase(rest, u"Volume{")) {
        Volume* v = machine.storage.FindVolume(path);
        if (v == nullptr) return nullptr;
        if (path.back() == u'\\') return std::make_shared<RootDirectoryObject>();
        return std::make_shared<VolumeObject>(machine, v->GuidPath());
    }
    if (rest.size() == 2 && rest[1] == u':') {
        Volume* v = machine.storage.FindVolumeByMountPoint(std::u16string(rest) + u"\\");
        if (v == nullptr) return nullptr;
        return std::make_shared<VolumeObject>(machine, v->GuidPath());
    }
    return nullptr;
}

}  // namespace sim
