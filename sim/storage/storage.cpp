#include "sim/storage/storage.h"

#include <algorithm>
#include <stdexcept>

#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/core/text.h"

namespace sim {

namespace {

constexpr ErrorCode kFileNotFound = 2;
constexpr ErrorCode kInvalidParameter = 87;
constexpr ErrorCode kDiskFull = 112;
constexpr ErrorCode kWriteProtect = 19;

std::u16string WithoutTrailingBackslash(std::u16string_view s) {
    std::u16string r(s);
    if (!r.empty() && r.back() == u'\\') r.pop_back();
    return r;
}

char16_t HexDigit(unsigned v) { return static_cast<char16_t>(u"0123456789abcdef"[v & 0xf]); }

void AppendHex(std::u16string& out, std::uint64_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) out.push_back(HexDigit(static_cast<unsigned>(v >> (4 * i))));
}

}  // namespace

std::vector<std::uint8_t> Disk::DeviceDescriptor() const {
    namespace dd = win::device_descriptor;
    if (descriptorReply) return *descriptorReply;
    std::vector<std::uint8_t> out(dd::kFixedSize + 4, 0);  // the structure's padded size
    auto add = [&](const std::optional<std::string>& s, std::uint32_t field) {
        if (!s) return;
        velta::StoreLe32(out.data() + field, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), s->begin(), s->end());
        out.push_back(0);
    };
    add(identity.vendor, dd::VendorIdOffset);
    add(identity.product, dd::ProductIdOffset);
    add(identity.revision, dd::ProductRevisionOffset);
    add(identity.serial, dd::SerialNumberOffset);
    velta::StoreLe32(out.data() + dd::Version, 40);
    velta::StoreLe32(out.data() + dd::Size, static_cast<std::uint32_t>(out.size()));
    out[dd::DeviceType] = 0;  // direct-access device
    out[dd::RemovableMedia] = removable ? 1 : 0;
    velta::StoreLe32(out.data() + dd::BusType, busType);
    return out;
}

std::u16string Volume::GuidPath() const {
    std::u16string s = u"\\\\?\\Volume{";
    AppendHex(s, guid.Data1, 8);
    s += u'-';
    AppendHex(s, guid.Data2, 4);
    s += u'-';
    AppendHex(s, guid.Data3, 4);
    s += u'-';
    AppendHex(s, guid.Data4[0], 2);
    AppendHex(s, guid.Data4[1], 2);
    s += u'-';
    for (int i = 2; i < 8; ++i) AppendHex(s, guid.Data4[i], 2);
    s += u"}\\";
    return s;
}

std::optional<NtfsGeometry> ReadNtfsBootSector(const DiskBytes& disk, std::uint64_t offset) {
    if (offset + 512 > disk.Size()) return std::nullopt;
    auto b = disk.Read(offset, 512);
    static const char kOem[] = "NTFS    ";
    if (!std::equal(kOem, kOem + 8, b.begin() + 3) || b[510] != 0x55 || b[511] != 0xaa) return std::nullopt;
    NtfsGeometry g;
    // Fields NTFS itself would not mount (sector sizes other than 256..4096 bytes, clusters
    // not a power of two or above 2 MiB, records of 2^32 bytes or more) make the sector not
    // an NTFS boot sector, so no hostile image can drive a shift or a product out of range.
    auto isPowerOfTwo = [](std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; };
    g.bytesPerSector = velta::LoadLe16(b.data() + 0x0b);
    if (!isPowerOfTwo(g.bytesPerSector) || g.bytesPerSector < 256 || g.bytesPerSector > 4096) return std::nullopt;
    std::uint8_t spc = b[0x0d];
    if (spc > 0x80 && 256 - spc > 12) return std::nullopt;
    std::uint32_t sectorsPerCluster = spc <= 0x80 ? spc : (1u << (256 - spc));
    if (!isPowerOfTwo(sectorsPerCluster)) return std::nullopt;
    std::uint64_t cluster = std::uint64_t{g.bytesPerSector} * sectorsPerCluster;
    if (cluster > (2u << 20)) return std::nullopt;
    g.bytesPerCluster = static_cast<std::uint32_t>(cluster);
    g.totalSectors = velta::LoadLe64(b.data() + 0x28);
    g.totalClusters = g.totalSectors / sectorsPerCluster;
    g.mftLcn = velta::LoadLe64(b.data() + 0x30);
    g.mftMirrorLcn = velta::LoadLe64(b.data() + 0x38);
    auto cpr = static_cast<std::int8_t>(b[0x40]);
    if (cpr < -31) return std::nullopt;
    g.bytesPerFileRecord = cpr < 0 ? (1u << -cpr) : static_cast<std::uint32_t>(cpr) * g.bytesPerCluster;
    g.serial = velta::LoadLe64(b.data() + 0x48);
    return g;
}

void WriteNtfsBootSector(DiskBytes& disk, std::uint64_t offset, std::uint64_t length,
                         std::uint32_t bytesPerSector, std::uint32_t bytesPerCluster,
                         std::uint64_t serial) {
    if (bytesPerSector == 0 || bytesPerCluster % bytesPerSector != 0 || length % bytesPerSector != 0 ||
        length < 2 * bytesPerSector)
        throw std::invalid_argument("bad NTFS geometry");
    std::uint32_t spc = bytesPerCluster / bytesPerSector;
    std::vector<std::uint8_t> b(bytesPerSector, 0);
    b[0] = 0xeb; b[1] = 0x52; b[2] = 0x90;
    std::copy_n("NTFS    ", 8, b.begin() + 3);
    velta::StoreLe16(b.data() + 0x0b, static_cast<std::uint16_t>(bytesPerSector));
    // Clusters above 64 sectors are written as a negative power of two, as NTFS does.
    if (spc <= 0x80) {
        b[0x0d] = static_cast<std::uint8_t>(spc);
    } else {
        int shift = 0;
        while ((1u << shift) < spc) ++shift;
        b[0x0d] = static_cast<std::uint8_t>(256 - shift);
    }
    b[0x15] = 0xf8;
    velta::StoreLe16(b.data() + 0x18, 63);
    velta::StoreLe16(b.data() + 0x1a, 255);
    velta::StoreLe32(b.data() + 0x1c, static_cast<std::uint32_t>(offset / bytesPerSector));
    b[0x24] = 0x80;
    b[0x26] = 0x80;
    std::uint64_t totalSectors = length / bytesPerSector - 1;
    velta::StoreLe64(b.data() + 0x28, totalSectors);
    std::uint64_t clusters = totalSectors / spc;
    velta::StoreLe64(b.data() + 0x30, std::min<std::uint64_t>(4, clusters / 2));
    velta::StoreLe64(b.data() + 0x38, clusters / 2);
    b[0x40] = 0xf6;  // 1 KiB file records
    b[0x44] = 0x01;
    velta::StoreLe64(b.data() + 0x48, serial);
    b[510] = 0x55;
    b[511] = 0xaa;
    disk.Write(offset, b.data(), b.size());
    disk.Write(offset + length - bytesPerSector, b.data(), b.size());
}

Disk& Storage::AddDisk(std::uint32_t number, std::uint64_t size, std::uint32_t logical,
                       std::uint32_t physical) {
    auto d = std::make_unique<Disk>();
    d->number = number;
    d->logicalSectorSize = logical;
    d->physicalSectorSize = physical == 0 ? logical : physical;
    d->bytes = DiskBytes(size);
    d->identity.serial = "SIM" + std::to_string(1000000000 + number);
    auto& slot = disks_[number];
    slot = std::move(d);
    return *slot;
}

Disk& Storage::AddDiskFromImage(std::uint32_t number, const std::string& path,
                                std::uint32_t logical, std::uint32_t physical) {
    Disk& d = AddDisk(number, 0, logical, physical);
    d.bytes = DiskBytes::LoadImage(path);
    return d;
}

Disk* Storage::FindDisk(std::uint32_t number) {
    auto it = disks_.find(number);
    return it == disks_.end() ? nullptr : it->second.get();
}

const Disk* Storage::FindDisk(std::uint32_t number) const {
    auto it = disks_.find(number);
    return it == disks_.end() ? nullptr : it->second.get();
}

std::vector<Disk*> Storage::Disks() {
    std::vector<Disk*> out;
    for (auto& [n, d] : disks_) out.push_back(d.get());
    return out;
}

std::vector<LayoutEntry> Storage::Partitions(std::uint32_t diskNumber) const {
    const Disk* d = FindDisk(diskNumber);
    if (d == nullptr) return {};
    return d->Table().entries;
}

Volume& Storage::AddVolume(Volume volume) {
    volumes_.push_back(std::move(volume));
    return volumes_.back();
}

Volume& Storage::AddVolumeOnPartition(std::uint32_t diskNumber, std::uint32_t partitionNumber,
                                      Volume volume) {
    const Disk* d = FindDisk(diskNumber);
    if (d == nullptr) throw std::invalid_argument("no such simulated disk");
    TableView t = d->Table();
    const LayoutEntry* p = t.FindPartition(partitionNumber);
    if (p == nullptr) throw std::invalid_argument("no such partition on the simulated disk");
    return AddVolumeOnPartition(diskNumber, *p, std::move(volume));
}

Volume& Storage::AddVolumeOnPartition(std::uint32_t diskNumber, const LayoutEntry& p, Volume volume) {
    const std::uint32_t partitionNumber = p.number;
    volume.extents = {Extent{diskNumber, p.offset, p.length}};
    if (win::IsZeroGuid(volume.guid)) {
        volume.guid = win::GUID{0x5e1f0000u + diskNumber, static_cast<std::uint16_t>(partitionNumber), 0x11ee,
                                {0x80, 0x00, 0x56, 0x45, 0x4c, 0x54, 0x41, static_cast<std::uint8_t>(volumes_.size())}};
    }
    return AddVolume(std::move(volume));
}

Volume* Storage::FindVolume(std::u16string_view guidPath) {
    auto want = WithoutTrailingBackslash(guidPath);
    for (auto& v : volumes_)
        if (EqualsNoCase(WithoutTrailingBackslash(v.GuidPath()), want)) return &v;
    return nullptr;
}

Volume* Storage::FindVolumeByMountPoint(std::u16string_view mountPoint) {
    auto want = WithoutTrailingBackslash(mountPoint);
    for (auto& v : volumes_)
        for (const auto& m : v.mountPoints)
            if (EqualsNoCase(WithoutTrailingBackslash(m), want)) return &v;
    return nullptr;
}

Volume* Storage::FindVolumeOnExtent(std::uint32_t diskNumber, std::uint64_t offset, std::uint64_t length) {
    for (auto& v : volumes_)
        if (v.extents.size() == 1 && v.extents[0].diskNumber == diskNumber &&
            v.extents[0].offset == offset && v.extents[0].length == length)
            return &v;
    return nullptr;
}

const Volume* Storage::VolumeOfPath(std::u16string_view path, std::u16string* mountPoint) const {
    std::u16string full(path);
    if (full.empty()) return nullptr;
    if (full.back() != u'\\') full += u'\\';
    auto isPrefix = [&](std::u16string_view prefix) {
        return prefix.size() <= full.size() && EqualsNoCase(std::u16string_view(full).substr(0, prefix.size()), prefix);
    };
    const Volume* best = nullptr;
    std::u16string bestMount;
    for (const auto& v : volumes_) {
        for (const auto& mp : v.mountPoints)
            if (mp.size() > bestMount.size() && isPrefix(mp)) best = &v, bestMount = mp;
        std::u16string g = v.GuidPath();
        if (g.size() > bestMount.size() && isPrefix(g)) best = &v, bestMount = g;
    }
    if (best != nullptr && mountPoint != nullptr) *mountPoint = bestMount;
    return best;
}

NtfsGeometry Storage::Geometry(const Volume& v) const {
    if (!v.extents.empty()) {
        std::uint64_t length = 0;
        for (const auto& e : v.extents) length += e.length;
        // A boot sector claiming more sectors than the volume has is not the volume's: the
        // model's own figures stand, and no file-system size can exceed its extents.
        if (const Disk* d = FindDisk(v.extents[0].diskNumber))
            if (auto g = ReadNtfsBootSector(d->bytes, v.extents[0].offset))
                if (g->totalSectors <= length / g->bytesPerSector) return *g;
    }
    NtfsGeometry g;
    std::uint32_t sector = 512;
    if (!v.extents.empty())
        if (const Disk* d = FindDisk(v.extents[0].diskNumber)) sector = d->logicalSectorSize;
    g.bytesPerSector = sector;
    g.bytesPerCluster = v.clusterSize == 0 ? 4096 : v.clusterSize;
    std::uint64_t bytes = v.sizeBytes;
    if (bytes == 0) {
        for (const auto& e : v.extents) bytes += e.length;
        bytes = bytes >= sector ? bytes - sector : 0;
    }
    g.totalSectors = bytes / sector;
    g.totalClusters = bytes / g.bytesPerCluster;
    g.mftLcn = std::min<std::uint64_t>(4, g.totalClusters / 2);
    g.mftMirrorLcn = g.totalClusters / 2;
    g.serial = v.serialNumber;
    return g;
}

std::uint64_t Storage::FileSystemBytes(const Volume& v) const {
    NtfsGeometry g = Geometry(v);
    return g.totalClusters * g.bytesPerCluster;
}

std::uint64_t Storage::FreeBytes(const Volume& v) const {
    std::uint64_t total = FileSystemBytes(v);
    NtfsGeometry g = Geometry(v);
    std::uint64_t usedClusters = (v.usedBytes + g.bytesPerCluster - 1) / g.bytesPerCluster;
    std::uint64_t used = usedClusters * g.bytesPerCluster;
    return used >= total ? 0 : total - used;
}

ErrorCode Storage::ResizePartition(std::uint32_t diskNumber, std::uint32_t partitionNumber,
                                   std::uint64_t newLength) {
    Disk* d = FindDisk(diskNumber);
    if (d == nullptr) return kFileNotFound;
    if (d->readOnly || d->offline) return kWriteProtect;
    TableView t = d->Table();
    const LayoutEntry* p = t.FindPartition(partitionNumber);
    if (p == nullptr) return kFileNotFound;
    std::uint32_t ss = d->logicalSectorSize;
    if (newLength == 0 || newLength % ss != 0) return kInvalidParameter;
    std::uint64_t start = p->offset;
    std::uint64_t end = start + newLength;
    if (end < start) return kInvalidParameter;
    // The new end may not pass the next thing on disk: another partition, an EBR, the end of
    // the container for a logical partition, the usable end.
    std::uint64_t limit;
    if (t.style == TableStyle::Gpt) {
        limit = t.usableStart + t.usableLength;
    } else {
        limit = std::min<std::uint64_t>(d->Size(), std::uint64_t{ss} << 32);
        if (p->logical)
            for (const auto& e : t.entries)
                if (e.container) limit = e.offset + e.length;
    }
    for (const auto& e : t.entries) {
        if (!e.Used() || &e == p) continue;
        if (p->logical) {
            // Inside the container the next EBR (where a link points) is the barrier.
            if (e.link && e.offset > start) limit = std::min(limit, e.offset);
            if (e.logical && e.recordOffset > start) limit = std::min(limit, e.recordOffset);
        } else if (!e.logical && !e.link && e.offset > start) {
            limit = std::min(limit, e.offset);
        }
    }
    if (end > limit) return kInvalidParameter;
    Volume* v = FindVolumeOnExtent(diskNumber, p->offset, p->length);
    std::optional<NtfsGeometry> boot = v ? ReadNtfsBootSector(d->bytes, p->offset) : std::nullopt;
    if (v != nullptr) {
        std::uint32_t cluster = boot ? boot->bytesPerCluster : v->clusterSize;
        std::uint64_t fsBytes = newLength - ss;
        if (v->usedBytes > fsBytes - fsBytes % cluster) return kDiskFull;
    }
    try {
        SetEntryExtent(d->bytes, t, *p, start, newLength);
    } catch (const std::invalid_argument&) {
        return kInvalidParameter;
    }
    if (v != nullptr) {
        if (boot) {
            // The old backup boot sector no longer belongs to the volume when it shrinks.
            if (newLength < p->length) d->bytes.Zero(p->offset + p->length - ss, ss);
            auto sector = d->bytes.Read(p->offset, boot->bytesPerSector);
            velta::StoreLe64(sector.data() + 0x28, newLength / boot->bytesPerSector - 1);
            d->bytes.Write(p->offset, sector.data(), sector.size());
            d->bytes.Write(p->offset + newLength - boot->bytesPerSector, sector.data(), sector.size());
        } else if (v->sizeBytes != 0) {
            v->sizeBytes = newLength - ss;
        }
        v->extents[0].length = newLength;
    }
    return 0;
}

}  // namespace sim
