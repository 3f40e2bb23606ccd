// MSFT_Disk and MSFT_Partition of the simulated storage provider, derived from the disks and
// volumes, with GetSupportedSize and a Resize that changes the table and the file system.
#include <algorithm>
#include <string>

#include "platform/win/com_constants.h"
#include "sim/core/machine.h"
#include "sim/wmi/provider_parts.h"
#include "sim/wmi/storage_source.h"

namespace sim {

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// Resize's own return values.
constexpr std::uint32_t kResizeFailed = 4;
constexpr std::uint32_t kResizeInvalidParameter = 5;
constexpr std::uint32_t kResizeSizeNotSupported = 4097;

std::u16string DiskObjectId(std::uint32_t disk) {
    return u"{1}\\\\" + std::u16string(kSimHostName) + u"\\Disk" + Decimal(disk);
}

std::u16string PartitionObjectId(std::uint32_t disk, std::uint32_t partition) {
    return DiskObjectId(disk) + u"\\Partition" + Decimal(partition);
}


const WmiPartitionFacts* FindPartitionFacts(const StorageFacts& facts, const WmiInstance& target) {
    const WmiValue* diskValue = target.Find(u"DiskNumber");
    const WmiValue* numberValue = target.Find(u"PartitionNumber");
    if (diskValue == nullptr || numberValue == nullptr) return nullptr;
    auto disk = diskValue->AsNumber();
    auto number = numberValue->AsNumber();
    for (const auto& p : facts.partitions)
        if (disk && number && p.diskNumber == *disk && p.number == *number) return &p;
    return nullptr;
}

// Resize's ReturnValue for the storage's Win32 result.
std::uint32_t ResizeResult(std::uint32_t error) {
    switch (error) {
        case 0: return 0;
        case 87: return kResizeInvalidParameter;   // ERROR_INVALID_PARAMETER
        case 112: return kResizeSizeNotSupported;  // ERROR_DISK_FULL
        default: return kResizeFailed;
    }
}

struct Limits {
    std::uint32_t returnValue = 0;
    std::uint64_t sizeMin = 0;
    std::uint64_t sizeMax = 0;
};

Limits SupportedSizeOf(Machine& machine, const WmiPartitionFacts& p) {
    Limits l;
    // A file system can shrink to its used bytes and a little room; anything else only grows.
    std::uint64_t used = (p.usedBytes + kMiB - 1) / kMiB * kMiB + kMiB;
    l.sizeMin = p.hasFileSystem ? std::min(p.size, used) : p.size;
    l.sizeMax = std::max(p.size, p.limit - p.offset);
    auto it = machine.wmi.supportedSize.find({p.diskNumber, p.number});
    if (it != machine.wmi.supportedSize.end()) {
        l.returnValue = it->second.returnValue;
        if (it->second.sizeMin) l.sizeMin = *it->second.sizeMin;
        if (it->second.sizeMax) l.sizeMax = *it->second.sizeMax;
    }
    return l;
}


}  // namespace

std::vector<WmiInstance> Disks(Machine& machine) {
    std::vector<WmiInstance> out;
    for (const auto& d : CollectStorageFacts(machine).disks) {
        WmiInstance i;
        i.className = u"MSFT_Disk";
        std::u16string id = DiskObjectId(d.number);
        i.path = ObjectPath(kStorage, i.className, u"ObjectId", id);
        i.Set(u"ObjectId", id);
        i.Set(u"Number", CimUint32(d.number));
        i.Set(u"PartitionStyle", CimUint16(static_cast<std::uint16_t>(d.partitionStyle)));
        i.Set(u"Size", CimUint64(d.size));
        i.Set(u"IsOffline", d.offline);
        i.Set(u"IsReadOnly", d.readOnly);
        i.Set(u"Guid", d.partitionStyle == 2 ? WmiValue(d.guid) : WmiValue());
        i.Set(u"Signature", d.partitionStyle == 1 ? CimUint32(d.signature) : WmiValue());
        out.push_back(std::move(i));
    }
    return out;
}

std::vector<WmiInstance> Partitions(Machine& machine) {
    std::vector<WmiInstance> out;
    for (const auto& p : CollectStorageFacts(machine).partitions) {
        WmiInstance i;
        i.className = u"MSFT_Partition";
        std::u16string id = PartitionObjectId(p.diskNumber, p.number);
        i.path = ObjectPath(kStorage, i.className, u"ObjectId", id);
        i.Set(u"ObjectId", id);
        i.Set(u"DiskNumber", CimUint32(p.diskNumber));
        i.Set(u"PartitionNumber", CimUint32(p.number));
        i.Set(u"Offset", CimUint64(p.offset));
        i.Set(u"Size", CimUint64(p.size));
        BstrArray paths;
        for (const auto& a : p.accessPaths) paths.items.emplace_back(a);
        i.Set(u"AccessPaths", std::move(paths));
        i.Set(u"IsBoot", p.isBoot);
        i.Set(u"DriveLetter", CimChar16(p.driveLetter));
        out.push_back(std::move(i));
    }
    return out;
}


WmiCallResult InvokePartition(Machine& machine, const WmiInstance& target, const WmiMethodDef& method,
                              const WmiInstance* in) {
    WmiCallResult r;
    r.out.className = u"__PARAMETERS";
    StorageFacts facts = CollectStorageFacts(machine);
    const WmiPartitionFacts* p = FindPartitionFacts(facts, target);
    if (p == nullptr) {
        r.hr = win::WBEM_E_NOT_FOUND;
        return r;
    }
    Limits limits = SupportedSizeOf(machine, *p);
    if (method.name == u"GetSupportedSize") {
        r.out.Set(u"ReturnValue", CimUint32(limits.returnValue));
        if (limits.returnValue == 0) {
            r.out.Set(u"SizeMin", CimUint64(limits.sizeMin));
            r.out.Set(u"SizeMax", CimUint64(limits.sizeMax));
        }
        r.out.Set(u"ExtendedStatus", WmiValue());
        return r;
    }
    // Resize: the size is a CIM uint64, so it arrives as decimal text or as a number.
    const WmiValue* size = in == nullptr ? nullptr : in->Find(u"Size");
    std::optional<std::uint64_t> newSize = size == nullptr ? std::nullopt : size->AsNumber();
    if (!newSize) {
        r.hr = win::WBEM_E_INVALID_METHOD_PARAMETERS;
        return r;
    }
    std::uint32_t result = 0;
    if (machine.wmi.resizeReturnValue) {
        result = *machine.wmi.resizeReturnValue;
    } else if (limits.returnValue != 0 || *newSize < limits.sizeMin || *newSize > limits.sizeMax) {
        result = kResizeSizeNotSupported;
    } else if (*newSize != p->size) {
        result = ResizeResult(ApplyPartitionResize(machine, p->diskNumber, p->number, *newSize));
    }
    r.out.Set(u"ReturnValue", CimUint32(result));
    r.out.Set(u"ExtendedStatus", WmiValue());
    return r;
}

}  // namespace sim
