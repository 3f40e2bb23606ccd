#include "sim/storage/devices.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"
#include "sim/nt/dos_error.h"

namespace sim {

namespace {

// NTSTATUS values the devices answer with.
constexpr NtStatus kSuccess = 0;
constexpr NtStatus kBufferOverflow = static_cast<NtStatus>(0x80000005u);
constexpr NtStatus kInfoLengthMismatch = static_cast<NtStatus>(0xC0000004u);
constexpr NtStatus kInvalidParameter = static_cast<NtStatus>(0xC000000Du);
constexpr NtStatus kNoSuchDevice = static_cast<NtStatus>(0xC000000Eu);
constexpr NtStatus kInvalidDeviceRequest = static_cast<NtStatus>(0xC0000010u);
constexpr NtStatus kEndOfFile = static_cast<NtStatus>(0xC0000011u);
constexpr NtStatus kAccessDenied = static_cast<NtStatus>(0xC0000022u);
constexpr NtStatus kBufferTooSmall = static_cast<NtStatus>(0xC0000023u);
constexpr NtStatus kNotLocked = static_cast<NtStatus>(0xC000002Au);
constexpr NtStatus kObjectNameNotFound = static_cast<NtStatus>(0xC0000034u);
constexpr NtStatus kSharingViolation = static_cast<NtStatus>(0xC0000043u);
constexpr NtStatus kMediaWriteProtected = static_cast<NtStatus>(0xC00000A2u);
constexpr NtStatus kDeviceNotReady = static_cast<NtStatus>(0xC00000A3u);
constexpr NtStatus kNotSupported = static_cast<NtStatus>(0xC00000BBu);
constexpr NtStatus kIoDeviceError = static_cast<NtStatus>(0xC0000185u);

constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kMaximumAllowed = 0x02000000u;
constexpr std::uint32_t kDelete = 0x00010000u;
constexpr std::uint32_t kFileReadData = 0x0001;
constexpr std::uint32_t kFileWriteData = 0x0002;
constexpr std::uint32_t kFileAppendData = 0x0004;
constexpr std::uint32_t kShareRead = 1, kShareWrite = 2, kShareDelete = 4;

bool IsExtendedType(std::uint8_t t) { return t == 0x05 || t == 0x0f || t == 0x85; }

NtStatus CopyReply(const std::vector<std::uint8_t>& reply, void* out, std::uint32_t outSize,
                   std::uint32_t* returned) {
    std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(reply.size(), outSize));
    if (n > 0) std::memcpy(out, reply.data(), n);
    *returned = n;
    return kSuccess;
}

std::string VolumeKey(const Volume& v) { return "volume:" + ToUtf8(FoldCase(v.GuidPath())); }

bool Overlaps(std::uint64_t a, std::uint64_t aLength, std::uint64_t b, std::uint64_t bLength) {
    return a < b + bLength && b < a + aLength;
}

// The control code's access field, checked against the handle as the I/O manager does.
bool ControlAllowed(std::uint32_t code, const SharedObject& handle) {
    std::uint32_t access = (code >> 14) & 3;
    if ((access & 1) && !handle.CanRead()) return false;
    if ((access & 2) && !handle.CanWrite()) return false;
    return true;
}

// A transfer's range after the sector and end-of-device rules; returns the status to fail
// with, or success with *count cut to what lies before the end.
NtStatus TransferRange(std::uint64_t deviceSize, std::uint32_t sectorSize, bool noBuffering,
                       std::uint64_t offset, std::uint32_t* count) {
    if (noBuffering && (offset % sectorSize != 0 || *count % sectorSize != 0)) return kInvalidParameter;
    if (*count == 0) return kSuccess;
    if (offset >= deviceSize) return kEndOfFile;
    *count = static_cast<std::uint32_t>(std::min<std::uint64_t>(*count, deviceSize - offset));
    return kSuccess;
}

// The volume (if any) whose single extent is exactly this partition.
Volume* VolumeOnEntry(Storage& s, std::uint32_t disk, const LayoutEntry& e) {
    return s.FindVolumeOnExtent(disk, e.offset, e.length);
}

// After a table changed: every volume that sat exactly on an old entry moves to that entry's
// new place, as the volume manager re-maps a volume to its partition.
void FollowPartitions(Storage& s, std::uint32_t disk, const TableView& before, const TableView& after) {
    for (std::size_t i = 0; i < before.entries.size(); ++i) {
        const LayoutEntry& old = before.entries[i];
        if (!old.IsPartition()) continue;
        const LayoutEntry* now = nullptr;
        for (const auto& e : after.entries) {
            if (!e.IsPartition()) continue;
            bool same = before.style == TableStyle::Gpt ? !win::IsZeroGuid(old.id) && e.id == old.id
                                                        : e.number == old.number;
            if (same) now = &e;
        }
        if (now == nullptr || (now->offset == old.offset && now->length == old.length)) continue;
        if (Volume* v = VolumeOnEntry(s, disk, old)) v->extents[0] = Extent{disk, now->offset, now->length};
    }
}

std::uint8_t* At(std::vector<std::uint8_t>& v, std::size_t offset) { return v.data() + offset; }

// ---- Writing a drive layout to the disk ----

NtStatus WriteGptLayout(Disk& d, const TableView& t, const std::uint8_t* in, std::uint32_t count) {
    namespace dl = win::drive_layout;
    namespace pi = win::partition_info;
    const std::uint32_t ss = d.logicalSectorSize;
    const std::uint64_t sectors = d.Size() / ss;
    const std::uint32_t entrySize = t.gptEntrySize != 0 ? t.gptEntrySize : 128;
    const std::uint32_t entryCount = t.gptEntryCount != 0 ? t.gptEntryCount : 128;
    const std::uint64_t arrayBytes = std::uint64_t{entrySize} * entryCount;
    const std::uint64_t arraySectors = (arrayBytes + ss - 1) / ss;
    const std::uint64_t firstUsable = t.usableStart / ss;
    const std::uint64_t lastUsable = (t.usableStart + t.usableLength) / ss - 1;
    std::vector<std::uint8_t> array(static_cast<std::size_t>(arraySectors * ss), 0);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    std::uint32_t slot = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = in + dl::kHeaderSize + std::size_t{i} * pi::kSize;
        if (velta::LoadLe32(p + pi::PartitionStyle) != static_cast<std::uint32_t>(TableStyle::Gpt))
            return kInvalidParameter;
        std::uint64_t start = velta::LoadLe64(p + pi::StartingOffset);
        std::uint64_t length = velta::LoadLe64(p + pi::PartitionLength);
        win::GUID type = win::LoadGuid(p + pi::GptPartitionType);
        if (length == 0 && win::IsZeroGuid(type)) continue;
        if (length == 0 || win::IsZeroGuid(type) || start % ss != 0 || length % ss != 0) return kInvalidParameter;
        if (start / ss < firstUsable || (start + length) / ss - 1 > lastUsable || start + length < start)
            return kInvalidParameter;
        for (const auto& [s, l] : spans)
            if (Overlaps(s, l, start, length)) return kInvalidParameter;
        spans.emplace_back(start, length);
        if (slot >= entryCount) return kInvalidParameter;
        std::uint8_t* e = At(array, std::size_t{slot++} * entrySize);
        win::StoreGuid(e, type);
        std::memcpy(e + 16, p + pi::GptPartitionId, 16);
        velta::StoreLe64(e + 32, start / ss);
        velta::StoreLe64(e + 40, (start + length) / ss - 1);
        std::memcpy(e + 48, p + pi::GptAttributes, 8);
        std::memcpy(e + 56, p + pi::GptName, 72);
    }
    win::GUID diskId = win::LoadGuid(in + dl::GptDiskId);
    const std::uint64_t lastLba = sectors - 1;
    const std::uint64_t primaryEntries = t.primaryEntriesLba != 0 ? t.primaryEntriesLba : 2;
    const std::uint64_t backupHeader = t.backupHeaderValid ? t.backupHeaderLba : lastLba;
    const std::uint64_t backupEntries = t.backupHeaderValid ? t.backupEntriesLba : lastLba - arraySectors;
    const std::uint32_t arrayCrc = Crc32(array.data(), static_cast<std::size_t>(arrayBytes));
    auto header = [&](std::uint64_t my, std::uint64_t alternate, std::uint64_t entries) {
        std::vector<std::uint8_t> h(ss, 0);
        std::memcpy(h.data(), "EFI PART", 8);
        velta::StoreLe32(At(h, 8), 0x00010000);
        velta::StoreLe32(At(h, 12), 92);
        velta::StoreLe64(At(h, 24), my);
        velta::StoreLe64(At(h, 32), alternate);
        velta::StoreLe64(At(h, 40), firstUsable);
        velta::StoreLe64(At(h, 48), lastUsable);
        win::StoreGuid(At(h, 56), diskId);
        velta::StoreLe64(At(h, 72), entries);
        velta::StoreLe32(At(h, 80), entryCount);
        velta::StoreLe32(At(h, 84), entrySize);
        velta::StoreLe32(At(h, 88), arrayCrc);
        velta::StoreLe32(At(h, 16), Crc32(h.data(), 92));
        return h;
    };
    // Entries before the header that describes them, the primary copy first.
    d.bytes.Write(primaryEntries * ss, array.data(), array.size());
    auto primary = header(1, backupHeader, primaryEntries);
    d.bytes.Write(1ull * ss, primary.data(), primary.size());
    d.bytes.Write(backupEntries * ss, array.data(), array.size());
    auto backup = header(backupHeader, 1, backupEntries);
    d.bytes.Write(backupHeader * ss, backup.data(), backup.size());
    return kSuccess;
}

void StoreMbrSlot(std::uint8_t* p, std::uint8_t boot, std::uint8_t type, std::uint32_t lba, std::uint32_t count) {
    std::fill(p, p + 16, 0);
    if (type == 0 && count == 0) return;
    p[0] = boot;
    p[1] = 0xfe; p[2] = 0xff; p[3] = 0xff;
    p[4] = type;
    p[5] = 0xfe; p[6] = 0xff; p[7] = 0xff;
    velta::StoreLe32(p + 8, lba);
    velta::StoreLe32(p + 12, count);
}

// MBR: the four slots, and for the groups of four after them the EBRs that already exist
// (the layout cannot add or remove EBRs here).
NtStatus WriteMbrLayout(Disk& d, const TableView& t, const std::uint8_t* in, std::uint32_t count) {
    namespace dl = win::drive_layout;
    namespace pi = win::partition_info;
    const std::uint32_t ss = d.logicalSectorSize;
    if (count % 4 != 0 || count < 4) return kInvalidParameter;
    if (count != 4 && count != t.entries.size()) return kNotSupported;
    std::uint64_t limit = std::min<std::uint64_t>(d.Size(), std::uint64_t{ss} << 32);
    std::uint64_t extendedStart = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::uint8_t* p = in + dl::kHeaderSize + std::size_t{i} * pi::kSize;
        if (IsExtendedType(p[pi::MbrPartitionType])) extendedStart = velta::LoadLe64(p + pi::StartingOffset);
    }
    // Sector images, by byte offset, starting from what is on disk.
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> sectors;
    auto sectorAt = [&](std::uint64_t offset) -> std::vector<std::uint8_t>& {
        for (auto& [o, s] : sectors)
            if (o == offset) return s;
        sectors.emplace_back(offset, d.bytes.Read(offset, ss));
        return sectors.back().second;
    };
    sectorAt(0);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = in + dl::kHeaderSize + std::size_t{i} * pi::kSize;
        if (velta::LoadLe32(p + pi::PartitionStyle) != static_cast<std::uint32_t>(TableStyle::Mbr))
            return kInvalidParameter;
        std::uint64_t start = velta::LoadLe64(p + pi::StartingOffset);
        std::uint64_t length = velta::LoadLe64(p + pi::PartitionLength);
        std::uint8_t type = p[pi::MbrPartitionType];
        if (start % ss != 0 || length % ss != 0) return kInvalidParameter;
        if (length != 0 && (start < ss || start > limit || length > limit - start)) return kInvalidParameter;
        std::uint64_t record = i < 4 ? 0 : t.entries[i].recordOffset;
        std::uint32_t slot = i < 4 ? i : t.entries[i].slot;
        std::uint64_t base = 0;
        if (i >= 4) base = IsExtendedType(type) ? extendedStart : record;
        if (length != 0 && start < base) return kInvalidParameter;
        std::uint64_t lba = length == 0 ? 0 : (start - base) / ss;
        std::uint64_t sectorsCount = length / ss;
        if (lba > 0xffffffffu || sectorsCount > 0xffffffffu) return kInvalidParameter;
        auto& sector = sectorAt(record);
        StoreMbrSlot(sector.data() + 446 + 16 * slot, p[pi::MbrBootIndicator] ? 0x80 : 0, length == 0 ? 0 : type,
                     static_cast<std::uint32_t>(lba), static_cast<std::uint32_t>(sectorsCount));
    }
    auto& mbr = sectorAt(0);
    velta::StoreLe32(mbr.data() + 440, velta::LoadLe32(in + dl::MbrSignature));
    for (auto& [o, s] : sectors) {
        s[510] = 0x55;
        s[511] = 0xaa;
    }
    // The EBRs first, the MBR that points at them last.
    for (auto it = sectors.rbegin(); it != sectors.rend(); ++it) d.bytes.Write(it->first, it->second.data(), ss);
    return kSuccess;
}

// ---- The whole disk ----

class DiskObject : public SharedObject {
public:
    DiskObject(Machine& m, std::uint32_t number, const OpenRequest& r)
        : SharedObject("disk:" + std::to_string(number), r), machine_(m), number_(number), noBuffering_(r.noBuffering) {}

    NtStatus ReadAt(std::uint64_t offset, void* data, std::uint32_t size, std::uint32_t* done) override {
        *done = 0;
        Disk* d = machine_.storage.FindDisk(number_);
        if (d == nullptr) return kNoSuchDevice;
        if (!read_) return kAccessDenied;
        if (d->offline) return kDeviceNotReady;
        if (NtStatus s = TransferRange(d->Size(), d->logicalSectorSize, noBuffering_, offset, &size); s != kSuccess)
            return s;
        d->bytes.Read(offset, data, size);
        *done = size;
        return kSuccess;
    }

    NtStatus WriteAt(std::uint64_t offset, const void* data, std::uint32_t size, std::uint32_t* done) override {
        *done = 0;
        Disk* d = machine_.storage.FindDisk(number_);
        if (d == nullptr) return kNoSuchDevice;
        if (!write_) return kAccessDenied;
        if (d->offline) return kDeviceNotReady;
        if (d->readOnly) return kMediaWriteProtected;
        if (NtStatus s = TransferRange(d->Size(), d->logicalSectorSize, noBuffering_, offset, &size); s != kSuccess)
            return s;
        // Mounted file systems are protected from raw writes unless their volume is locked.
        for (const auto& v : machine_.storage.Volumes()) {
            if (v.fileSystem.empty()) continue;
            for (const auto& e : v.extents)
                if (e.diskNumber == number_ && Overlaps(e.offset, e.length, offset, size) &&
                    !VolumeLocked(machine_, v))
                    return kAccessDenied;
        }
        d->bytes.Write(offset, data, size);
        *done = size;
        return kSuccess;
    }

    NtStatus FlushBuffers() override {
        Disk* d = machine_.storage.FindDisk(number_);
        if (d == nullptr) return kNoSuchDevice;
        if (!write_) return kAccessDenied;
        return d->bytes.Flush() ? kSuccess : kIoDeviceError;
    }

    NtStatus Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                     std::uint32_t* returned) override {
        *returned = 0;
        Disk* d = machine_.storage.FindDisk(number_);
        if (d == nullptr) return kNoSuchDevice;
        if (!ControlAllowed(code, *this)) return kAccessDenied;
        auto* o = static_cast<std::uint8_t*>(out);
        switch (code) {
            case win::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX: return Geometry(*d, o, outSize, returned);
            case win::IOCTL_STORAGE_QUERY_PROPERTY: return QueryProperty(*d, in, inSize, o, outSize, returned);
            case win::IOCTL_DISK_GET_DRIVE_LAYOUT_EX: {
                std::vector<std::uint8_t> layout = d->layoutReply ? *d->layoutReply : EncodeDriveLayout(d->Table());
                if (out == nullptr || outSize < layout.size()) return kBufferTooSmall;
                return CopyReply(layout, out, outSize, returned);
            }
            case kIoctlDiskSetDriveLayoutEx: return SetLayout(*d, static_cast<const std::uint8_t*>(in), inSize);
            case kIoctlDiskUpdateProperties: return kSuccess;  // every layout request reads the disk afresh
            case kIoctlDiskGrowPartition: return Grow(*d, static_cast<const std::uint8_t*>(in), inSize);
            default: return kInvalidDeviceRequest;
        }
    }

private:
    NtStatus Geometry(const Disk& d, std::uint8_t* o, std::uint32_t outSize, std::uint32_t* returned) {
        namespace g = win::geometry_ex;
        if (o == nullptr || outSize < g::kSize) return kBufferTooSmall;
        // DISK_GEOMETRY, DiskSize, then DISK_PARTITION_INFO and DISK_DETECTION_INFO.
        std::vector<std::uint8_t> r(80, 0);
        std::uint64_t perCylinder = 255ull * 63 * d.logicalSectorSize;
        velta::StoreLe64(At(r, g::Cylinders), perCylinder == 0 ? 0 : d.Size() / perCylinder);
        velta::StoreLe32(At(r, g::MediaType), win::FixedMedia);
        velta::StoreLe32(At(r, g::TracksPerCylinder), 255);
        velta::StoreLe32(At(r, g::SectorsPerTrack), 63);
        velta::StoreLe32(At(r, g::BytesPerSector), d.logicalSectorSize);
        velta::StoreLe64(At(r, g::DiskSize), d.Size());
        TableView t = d.Table();
        velta::StoreLe32(At(r, 32), 24);
        velta::StoreLe32(At(r, 36), static_cast<std::uint32_t>(t.style));
        if (t.style == TableStyle::Gpt) win::StoreGuid(At(r, 40), t.diskId);
        if (t.style == TableStyle::Mbr) velta::StoreLe32(At(r, 40), t.mbrSignature);
        velta::StoreLe32(At(r, 56), 24);
        return CopyReply(r, o, outSize, returned);
    }

    NtStatus QueryProperty(const Disk& d, const void* in, std::uint32_t inSize, std::uint8_t* o,
                           std::uint32_t outSize, std::uint32_t* returned) {
        if (in == nullptr || inSize < 8) return kInvalidParameter;
        const auto* q = static_cast<const std::uint8_t*>(in);
        std::uint32_t property = velta::LoadLe32(q);
        if (velta::LoadLe32(q + 4) != win::PropertyStandardQuery) return kNotSupported;
        if (property == win::StorageAccessAlignmentProperty) {
            namespace a = win::access_alignment;
            if (o == nullptr || outSize < a::kSize) return kBufferTooSmall;
            std::memset(o, 0, a::kSize);
            velta::StoreLe32(o + a::Version, a::kSize);
            velta::StoreLe32(o + a::Size, a::kSize);
            velta::StoreLe32(o + a::BytesPerCacheLine, 64);
            velta::StoreLe32(o + a::BytesPerLogicalSector,
                             d.alignmentLogicalSectorSize != 0 ? d.alignmentLogicalSectorSize : d.logicalSectorSize);
            velta::StoreLe32(o + a::BytesPerPhysicalSector, d.physicalSectorSize);
            *returned = a::kSize;
            return kSuccess;
        }
        if (property == win::StorageDeviceProperty) {
            if (o == nullptr) return kBufferTooSmall;
            return CopyReply(d.DeviceDescriptor(), o, outSize, returned);
        }
        return kNotSupported;
    }

    NtStatus SetLayout(Disk& d, const std::uint8_t* in, std::uint32_t inSize) {
        namespace dl = win::drive_layout;
        namespace pi = win::partition_info;
        if (in == nullptr || inSize < dl::kHeaderSize) return kInfoLengthMismatch;
        std::uint32_t style = velta::LoadLe32(in + dl::PartitionStyle);
        std::uint32_t count = velta::LoadLe32(in + dl::PartitionCount);
        if (std::uint64_t{inSize} < dl::kHeaderSize + std::uint64_t{count} * pi::kSize) return kBufferTooSmall;
        if (d.readOnly) return kMediaWriteProtected;
        TableView before = d.Table();
        if (style != static_cast<std::uint32_t>(before.style) || before.style == TableStyle::Raw) return kNotSupported;
        NtStatus s = before.style == TableStyle::Gpt ? WriteGptLayout(d, before, in, count)
                                                     : WriteMbrLayout(d, before, in, count);
        if (s != kSuccess) return s;
        FollowPartitions(machine_.storage, number_, before, d.Table());
        return kSuccess;
    }

    NtStatus Grow(Disk& d, const std::uint8_t* in, std::uint32_t inSize) {
        if (in == nullptr || inSize < 16) return kInfoLengthMismatch;
        if (d.readOnly) return kMediaWriteProtected;
        std::uint32_t number = velta::LoadLe32(in);
        auto bytes = static_cast<std::int64_t>(velta::LoadLe64(in + 8));
        TableView t = d.Table();
        const LayoutEntry* p = t.FindPartition(number);
        if (p == nullptr) return kInvalidParameter;
        const std::uint32_t ss = d.logicalSectorSize;
        if (bytes % static_cast<std::int64_t>(ss) != 0) return kInvalidParameter;
        if (bytes < 0 && static_cast<std::uint64_t>(-bytes) >= p->length) return kInvalidParameter;
        std::uint64_t newLength = p->length + static_cast<std::uint64_t>(bytes);
        if (bytes == 0) return kSuccess;
        std::uint64_t end = p->offset + newLength;
        // The space after the partition must be free up to its new end.
        std::uint64_t limit;
        if (t.style == TableStyle::Gpt) {
            limit = t.usableStart + t.usableLength;
        } else {
            limit = std::min<std::uint64_t>(d.Size(), std::uint64_t{ss} << 32);
            if (p->logical)
                for (const auto& e : t.entries)
                    if (e.container) limit = e.offset + e.length;
        }
        for (const auto& e : t.entries) {
            if (!e.Used() || &e == p) continue;
            if (p->logical) {
                if (e.link && e.offset > p->offset) limit = std::min(limit, e.offset);
                if (e.logical && e.recordOffset > p->offset) limit = std::min(limit, e.recordOffset);
            } else if (!e.logical && !e.link && e.offset > p->offset) {
                limit = std::min(limit, e.offset);
            }
        }
        if (end < p->offset || end > limit) return kInvalidParameter;
        Volume* v = VolumeOnEntry(machine_.storage, number_, *p);
        try {
            SetEntryExtent(d.bytes, t, *p, p->offset, newLength);
        } catch (const std::invalid_argument&) {
            return kInvalidParameter;
        }
        if (v != nullptr) v->extents[0].length = newLength;
        return kSuccess;
    }

    Machine& machine_;
    std::uint32_t number_;
    bool noBuffering_;
};

// ---- A volume ----

class VolumeObject : public SharedObject {
public:
    VolumeObject(Machine& m, const Volume& v, const OpenRequest& r)
        : SharedObject(VolumeKey(v), r), machine_(m), guidPath_(v.GuidPath()), noBuffering_(r.noBuffering) {}

    NtStatus ReadAt(std::uint64_t offset, void* data, std::uint32_t size, std::uint32_t* done) override {
        return Transfer(offset, data, size, done, false);
    }
    NtStatus WriteAt(std::uint64_t offset, const void* data, std::uint32_t size, std::uint32_t* done) override {
        return Transfer(offset, const_cast<void*>(data), size, done, true);
    }
    NtStatus FlushBuffers() override {
        Volume* v = machine_.storage.FindVolume(guidPath_);
        if (v == nullptr) return kNoSuchDevice;
        if (!write_) return kAccessDenied;
        for (const auto& e : v->extents)
            if (Disk* d = machine_.storage.FindDisk(e.diskNumber); d != nullptr && !d->bytes.Flush())
                return kIoDeviceError;
        return kSuccess;
    }

    NtStatus Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                     std::uint32_t* returned) override {
        *returned = 0;
        Volume* v = machine_.storage.FindVolume(guidPath_);
        if (v == nullptr) return kNoSuchDevice;
        if (!ControlAllowed(code, *this)) return kAccessDenied;
        auto* o = static_cast<std::uint8_t*>(out);
        switch (code) {
            case win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: return Extents(*v, o, outSize, returned);
            case win::FSCTL_GET_NTFS_VOLUME_DATA: return NtfsData(*v, o, outSize, returned);
            case kFsctlLockVolume: {
                bool others = false;
                machine_.handles.ForEach([&](HandleObject& h) {
                    auto* s = dynamic_cast<SharedObject*>(&h);
                    if (s != nullptr && s != this && s->Key() == key_) others = true;
                });
                if (others || locked_) return kAccessDenied;
                locked_ = true;
                return kSuccess;
            }
            case kFsctlUnlockVolume:
                if (!locked_) return kNotLocked;
                locked_ = false;
                return kSuccess;
            case kFsctlExtendVolume: return Extend(*v, static_cast<const std::uint8_t*>(in), inSize);
            default: return kInvalidDeviceRequest;
        }
    }

private:
    NtStatus Transfer(std::uint64_t offset, void* data, std::uint32_t size, std::uint32_t* done, bool write) {
        *done = 0;
        Volume* v = machine_.storage.FindVolume(guidPath_);
        if (v == nullptr) return kNoSuchDevice;
        if (write ? !write_ : !read_) return kAccessDenied;
        // A mounted file system takes raw writes only through the handle that locked it.
        if (write && !v->fileSystem.empty() && !locked_) return kAccessDenied;
        std::uint64_t total = 0;
        std::uint32_t sector = 512;
        for (const auto& e : v->extents) total += e.length;
        if (!v->extents.empty())
            if (Disk* d = machine_.storage.FindDisk(v->extents[0].diskNumber)) sector = d->logicalSectorSize;
        if (NtStatus s = TransferRange(total, sector, noBuffering_, offset, &size); s != kSuccess) return s;
        auto* bytes = static_cast<std::uint8_t*>(data);
        std::uint64_t base = 0;
        std::uint32_t moved = 0;
        for (const auto& e : v->extents) {
            if (moved == size) break;
            std::uint64_t at = offset + moved;
            if (at < base + e.length) {
                Disk* d = machine_.storage.FindDisk(e.diskNumber);
                if (d == nullptr) return kNoSuchDevice;
                if (write && d->readOnly) return kMediaWriteProtected;
                std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(size - moved, base + e.length - at));
                if (write)
                    d->bytes.Write(e.offset + (at - base), bytes + moved, n);
                else
                    d->bytes.Read(e.offset + (at - base), bytes + moved, n);
                moved += n;
                *done = moved;
            }
            base += e.length;
        }
        return kSuccess;
    }

    NtStatus Extents(const Volume& v, std::uint8_t* o, std::uint32_t outSize, std::uint32_t* returned) {
        namespace x = win::disk_extents;
        if (o == nullptr || outSize < x::kSize) return kBufferTooSmall;
        std::memset(o, 0, outSize);
        velta::StoreLe32(o + x::NumberOfDiskExtents, static_cast<std::uint32_t>(v.extents.size()));
        std::uint32_t room = (outSize - x::Extents) / x::kExtentSize;
        for (std::uint32_t i = 0; i < v.extents.size() && i < room; ++i) {
            std::uint8_t* e = o + x::Extents + i * x::kExtentSize;
            velta::StoreLe32(e + x::DiskNumber, v.extents[i].diskNumber);
            velta::StoreLe64(e + x::StartingOffset, v.extents[i].offset);
            velta::StoreLe64(e + x::ExtentLength, v.extents[i].length);
        }
        *returned = x::Extents +
                    static_cast<std::uint32_t>(std::min<std::size_t>(v.extents.size(), room)) * x::kExtentSize;
        return v.extents.size() > room ? kBufferOverflow : kSuccess;
    }

    NtStatus NtfsData(const Volume& v, std::uint8_t* o, std::uint32_t outSize, std::uint32_t* returned) {
        namespace n = win::ntfs_volume_data;
        if (v.ntfsDataReply) return CopyReply(*v.ntfsDataReply, o, outSize, returned);
        // FAT and RAW do not know the request.
        if (!EqualsNoCase(v.fileSystem, u"NTFS")) return kInvalidDeviceRequest;
        if (o == nullptr || outSize < n::kSize) return kBufferTooSmall;
        NtfsGeometry g = machine_.storage.Geometry(v);
        std::memset(o, 0, n::kSize);
        velta::StoreLe64(o + n::VolumeSerialNumber, g.serial);
        velta::StoreLe64(o + n::NumberSectors, g.totalSectors);
        velta::StoreLe64(o + n::TotalClusters, g.totalClusters);
        velta::StoreLe64(o + n::FreeClusters, machine_.storage.FreeBytes(v) / g.bytesPerCluster);
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
        return kSuccess;
    }

    // NTFS grows into the volume's new end: the boot sector's sector count, and the backup
    // boot sector in the new last sector.
    NtStatus Extend(Volume& v, const std::uint8_t* in, std::uint32_t inSize) {
        if (in == nullptr || inSize < 8) return kInvalidParameter;
        if (!EqualsNoCase(v.fileSystem, u"NTFS")) return kInvalidDeviceRequest;
        if (!write_) return kAccessDenied;
        auto sectors = static_cast<std::int64_t>(velta::LoadLe64(in));
        if (v.extents.empty()) return kInvalidDeviceRequest;
        Disk* d = machine_.storage.FindDisk(v.extents[0].diskNumber);
        if (d == nullptr) return kNoSuchDevice;
        if (d->readOnly) return kMediaWriteProtected;
        NtfsGeometry g = machine_.storage.Geometry(v);
        std::uint64_t volumeBytes = 0;
        for (const auto& e : v.extents) volumeBytes += e.length;
        if (sectors <= 0) return kInvalidParameter;
        auto n = static_cast<std::uint64_t>(sectors);
        if (n > volumeBytes / g.bytesPerSector) return kInvalidParameter;  // beyond the partition
        if (n - 1 < g.totalSectors) return kInvalidParameter;               // NTFS does not shrink here
        if (n - 1 == g.totalSectors) return kSuccess;
        const std::uint64_t start = v.extents[0].offset;
        if (auto boot = ReadNtfsBootSector(d->bytes, start)) {
            if (v.extents.size() != 1) return kNotSupported;
            auto sector = d->bytes.Read(start, boot->bytesPerSector);
            velta::StoreLe64(sector.data() + 0x28, n - 1);
            d->bytes.Write(start + (n - 1) * boot->bytesPerSector, sector.data(), sector.size());
            d->bytes.Write(start, sector.data(), sector.size());
        } else {
            v.sizeBytes = (n - 1) * g.bytesPerSector;
        }
        return kSuccess;
    }

    Machine& machine_;
    std::u16string guidPath_;
    bool noBuffering_;
};

// A volume's root directory: a directory, not the device, so device controls fail on it as
// they do on Windows.
class RootDirectoryObject : public HandleObject {};

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace

bool WantsRead(std::uint32_t a) { return (a & (kGenericRead | kGenericAll | kMaximumAllowed | kFileReadData)) != 0; }
bool WantsWrite(std::uint32_t a) {
    return (a & (kGenericWrite | kGenericAll | kMaximumAllowed | kFileWriteData | kFileAppendData)) != 0;
}
bool WantsDelete(std::uint32_t a) { return (a & (kDelete | kGenericAll)) != 0; }

SharedObject::SharedObject(std::string key, const OpenRequest& r)
    : key_(std::move(key)), read_(WantsRead(r.access)), write_(WantsWrite(r.access)),
      delete_(WantsDelete(r.access)), share_(r.share) {}

NtStatus CheckSharing(const Machine& machine, const std::string& key, const OpenRequest& r) {
    const bool read = WantsRead(r.access), write = WantsWrite(r.access), del = WantsDelete(r.access);
    NtStatus result = kSuccess;
    machine.handles.ForEach([&](HandleObject& h) {
        auto* s = dynamic_cast<SharedObject*>(&h);
        if (s == nullptr || s->Key() != key || result == kAccessDenied) return;
        if (s->Locked()) {
            result = kAccessDenied;
            return;
        }
        // Opens that ask for no data access take no part in sharing.
        bool conflict = (read && !(s->Share() & kShareRead)) || (write && !(s->Share() & kShareWrite)) ||
                        (del && !(s->Share() & kShareDelete)) || (s->CanRead() && !(r.share & kShareRead)) ||
                        (s->CanWrite() && !(r.share & kShareWrite)) || (s->CanDelete() && !(r.share & kShareDelete));
        if (conflict) result = kSharingViolation;
    });
    return result;
}

bool VolumeLocked(const Machine& machine, const Volume& volume) {
    const std::string key = VolumeKey(volume);
    bool locked = false;
    machine.handles.ForEach([&](HandleObject& h) {
        auto* s = dynamic_cast<SharedObject*>(&h);
        if (s != nullptr && s->Key() == key && s->Locked()) locked = true;
    });
    return locked;
}

NtStatus OpenDisk(Machine& machine, std::uint32_t number, const OpenRequest& request,
                  std::shared_ptr<HandleObject>* object) {
    object->reset();
    if (machine.storage.FindDisk(number) == nullptr) return kObjectNameNotFound;
    if (NtStatus s = CheckSharing(machine, "disk:" + std::to_string(number), request); s != kSuccess) return s;
    *object = std::make_shared<DiskObject>(machine, number, request);
    return kSuccess;
}

NtStatus OpenVolume(Machine& machine, const Volume& volume, const OpenRequest& request,
                    std::shared_ptr<HandleObject>* object) {
    object->reset();
    if (NtStatus s = CheckSharing(machine, VolumeKey(volume), request); s != kSuccess) return s;
    *object = std::make_shared<VolumeObject>(machine, volume, request);
    return kSuccess;
}

std::shared_ptr<HandleObject> OpenRootDirectory() { return std::make_shared<RootDirectoryObject>(); }

const char* ControlName(std::uint32_t code, const void* in, std::uint32_t inSize) {
    switch (code) {
        case win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: return "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS";
        case win::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX: return "IOCTL_DISK_GET_DRIVE_GEOMETRY_EX";
        case win::IOCTL_DISK_GET_DRIVE_LAYOUT_EX: return "IOCTL_DISK_GET_DRIVE_LAYOUT_EX";
        case win::FSCTL_GET_NTFS_VOLUME_DATA: return "FSCTL_GET_NTFS_VOLUME_DATA";
        case kIoctlDiskSetDriveLayoutEx: return "IOCTL_DISK_SET_DRIVE_LAYOUT_EX";
        case kIoctlDiskUpdateProperties: return "IOCTL_DISK_UPDATE_PROPERTIES";
        case kIoctlDiskGrowPartition: return "IOCTL_DISK_GROW_PARTITION";
        case kFsctlLockVolume: return "FSCTL_LOCK_VOLUME";
        case kFsctlUnlockVolume: return "FSCTL_UNLOCK_VOLUME";
        case kFsctlExtendVolume: return "FSCTL_EXTEND_VOLUME";
        case win::IOCTL_STORAGE_QUERY_PROPERTY:
            if (in != nullptr && inSize >= 4) {
                std::uint32_t property = velta::LoadLe32(static_cast<const std::uint8_t*>(in));
                if (property == win::StorageAccessAlignmentProperty) return "StorageAccessAlignmentProperty";
                if (property == win::StorageDeviceProperty) return "StorageDeviceProperty";
            }
            return "IOCTL_STORAGE_QUERY_PROPERTY";
        default: return "DeviceIoControl";
    }
}

std::shared_ptr<HandleObject> OpenDevice(Machine& machine, std::u16string_view path, std::uint32_t access,
                                         std::uint32_t share, ErrorCode* error) {
    *error = DosErrorOf(kObjectNameNotFound);
    OpenRequest request{access, share, false, false};
    std::shared_ptr<HandleObject> object;
    NtStatus status = kObjectNameNotFound;
    std::u16string_view rest = path.substr(4);  // after "\\.\" or "\\?\"
    if (StartsWithNoCase(rest, u"PhysicalDrive")) {
        std::u16string_view digits = rest.substr(13);
        if (digits.empty() || digits.size() > 9) return nullptr;
        std::uint32_t n = 0;
        for (char16_t c : digits) {
            if (c < u'0' || c > u'9') return nullptr;
            n = n * 10 + static_cast<std::uint32_t>(c - u'0');
        }
        status = OpenDisk(machine, n, request, &object);
    } else if (StartsWithNoCase(rest, u"Volume{")) {
        Volume* v = machine.storage.FindVolume(path);
        if (v == nullptr) return nullptr;
        if (path.back() == u'\\') {
            *error = 0;
            return OpenRootDirectory();
        }
        status = OpenVolume(machine, *v, request, &object);
    } else if (rest.size() == 2 && rest[1] == u':') {
        Volume* v = machine.storage.FindVolumeByMountPoint(std::u16string(rest) + u"\\");
        if (v == nullptr) return nullptr;
        status = OpenVolume(machine, *v, request, &object);
    }
    *error = DosErrorOf(status);
    return object;
}

}  // namespace sim
