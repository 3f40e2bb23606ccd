#include "sim/wmi/storage_source.h"

#include <algorithm>

#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace sim {

namespace {

std::u16string GuidText(const win::GUID& g) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string s = u"{";
    auto put = [&](std::uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i) s += kHex[(v >> (4 * i)) & 0xF];
    };
    put(g.Data1, 8);
    s += u'-';
    put(g.Data2, 4);
    s += u'-';
    put(g.Data3, 4);
    s += u'-';
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    s += u'-';
    for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
    return s + u"}";
}

bool IsDriveRoot(std::u16string_view p) {
    return p.size() == 3 && p[1] == u':' && p[2] == u'\\' &&
           ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
}

// The offset the partition's end may reach, by the same rule the table update follows.
std::uint64_t GrowthLimit(const Disk& d, const TableView& t, const LayoutEntry& p) {
    std::uint64_t limit;
    if (t.style == TableStyle::Gpt) {
        limit = t.usableStart + t.usableLength;
    } else {
        limit = std::min<std::uint64_t>(d.Size(), std::uint64_t{d.logicalSectorSize} << 32);
        if (p.logical)
            for (const auto& e : t.entries)
                if (e.container) limit = e.offset + e.length;
    }
    for (const auto& e : t.entries) {
        if (!e.Used() || &e == &p) continue;
        if (p.logical) {
            if (e.link && e.offset > p.offset) limit = std::min(limit, e.offset);
            if (e.logical && e.recordOffset > p.offset) limit = std::min(limit, e.recordOffset);
        } else if (!e.logical && !e.link && e.offset > p.offset) {
            limit = std::min(limit, e.offset);
        }
    }
    return limit;
}

}  // namespace

StorageFacts CollectStorageFacts(Machine& machine) {
    StorageFacts facts;
    // The boot partition holds the volume of the Windows directory.
    const Volume* windows = machine.storage.VolumeOfPath(machine.windowsDirectory);

    for (Disk* d : machine.storage.Disks()) {
        TableView t = d->Table();
        WmiDiskFacts disk;
        disk.number = d->number;
        disk.partitionStyle = t.style == TableStyle::Gpt ? 2 : t.style == TableStyle::Mbr ? 1 : 0;
        disk.size = d->Size();
        if (t.style == TableStyle::Gpt) disk.guid = GuidText(t.diskId);
        disk.signature = t.mbrSignature;
        disk.offline = d->offline;
        disk.readOnly = d->readOnly;
        facts.disks.push_back(disk);

        for (const auto& e : t.entries) {
            if (!e.IsPartition()) continue;
            WmiPartitionFacts p;
            p.diskNumber = d->number;
            p.number = e.number;
            p.offset = e.offset;
            p.size = e.length;
            p.limit = GrowthLimit(*d, t, e);
            if (const Volume* v = machine.storage.FindVolumeOnExtent(d->number, e.offset, e.length)) {
                p.accessPaths = v->mountPoints;
                p.volumePath = v->GuidPath();
                p.accessPaths.push_back(p.volumePath);
                for (const auto& mount : v->mountPoints)
                    if (IsDriveRoot(mount)) {
                        p.driveLetter = static_cast<char16_t>(mount[0] & ~0x20);
                        break;
                    }
                p.isBoot = v == windows;
                p.hasFileSystem = !v->fileSystem.empty();
                p.usedBytes = v->usedBytes;
            }
            facts.partitions.push_back(std::move(p));
        }
    }
    return facts;
}

std::uint32_t ApplyPartitionResize(Machine& machine, std::uint32_t diskNumber,
                                   std::uint32_t partitionNumber, std::uint64_t newLength) {
    return machine.storage.ResizePartition(diskNumber, partitionNumber, newLength);
}

}  // namespace sim
