#include "sim/wmi_providers.h"

#include <string>

#include "platform/win/com_constants.h"
#include "sim/machine.h"
#include "sim/text.h"
#include "sim/wmi_storage_source.h"

namespace sim {

namespace {

constexpr char16_t kEncryption[] = u"ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption";
constexpr char16_t kStorage[] = u"ROOT\\Microsoft\\Windows\\Storage";

constexpr std::uint64_t kMiB = 1024 * 1024;

// Resize's own return values.
constexpr std::uint32_t kResizeFailed = 4;
constexpr std::uint32_t kResizeInvalidParameter = 5;
constexpr std::uint32_t kResizeSizeNotSupported = 4097;
// GetConversionStatus with a precision factor outside 0..4.
constexpr std::uint32_t kInvalidArgument = 0x80070057u;

const std::vector<WmiClassDef>& EncryptionClasses() {
    static const std::vector<WmiClassDef> classes{
        {u"Win32_EncryptableVolume",
         {{u"GetConversionStatus", {u"PrecisionFactor"}}, {u"GetProtectionStatus", {}}}},
    };
    return classes;
}

const std::vector<WmiClassDef>& StorageClasses() {
    static const std::vector<WmiClassDef> classes{
        {u"MSFT_Disk", {}},
        {u"MSFT_Partition", {{u"GetSupportedSize", {}}, {u"Resize", {u"Size"}}}},
    };
    return classes;
}

const std::vector<WmiClassDef>* ClassesOf(std::u16string_view ns) {
    if (EqualsNoCase(ns, kEncryption)) return &EncryptionClasses();
    if (EqualsNoCase(ns, kStorage)) return &StorageClasses();
    return nullptr;
}

// A key value in an object path: in double quotes, with backslashes and quotes escaped.
std::u16string PathKey(std::u16string_view value) {
    std::u16string out = u"\"";
    for (char16_t c : value) {
        if (c == u'\\' || c == u'"') out += u'\\';
        out += c;
    }
    return out + u"\"";
}

std::u16string ObjectPath(std::u16string_view ns, std::u16string_view cls, std::u16string_view key,
                          std::u16string_view value) {
    return u"\\\\" + std::u16string(kSimHostName) + u"\\" + CanonicalNamespace(ns) + u":" +
           std::u16string(cls) + u"." + std::u16string(key) + u"=" + PathKey(value);
}

std::u16string Decimal(std::uint64_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// ---- Win32_EncryptableVolume

std::vector<WmiInstance> EncryptableVolumes(Machine& machine) {
    std::vector<WmiInstance> out;
    const std::u16string& dir = machine.windowsDirectory;
    const Volume* windows =
        dir.size() >= 2 && dir[1] == u':' ? machine.storage.FindVolumeByMountPoint(dir.substr(0, 2) + u"\\") : nullptr;
    for (const Volume& volume : machine.storage.Volumes()) {
        std::u16string path = volume.GuidPath();
        const BitLockerState& state = machine.wmi.BitLockerOf(path);
        if (!state.present) continue;
        WmiInstance v;
        v.className = u"Win32_EncryptableVolume";
        v.path = ObjectPath(kEncryption, v.className, u"DeviceID", path);
        v.Set(u"DeviceID", path);
        std::u16string letter;
        for (const auto& mount : volume.mountPoints)
            if (mount.size() == 3 && mount[1] == u':') letter = mount.substr(0, 2);
        v.Set(u"DriveLetter", letter.empty() ? WmiValue() : WmiValue(letter));
        v.Set(u"ProtectionStatus", CimUint32(state.protectionStatus));
        v.Set(u"VolumeType", CimUint32(&volume == windows ? 0 : 1));
        out.push_back(std::move(v));
    }
    return out;
}

WmiCallResult InvokeEncryptable(Machine& machine, const WmiInstance& target,
                                const WmiMethodDef& method, const WmiInstance* in) {
    const WmiValue* id = target.Find(u"DeviceID");
    const std::u16string* text = id == nullptr ? nullptr : id->AsText();
    const BitLockerState& state = machine.wmi.BitLockerOf(text == nullptr ? u"" : *text);
    WmiCallResult r;
    r.out.className = u"__PARAMETERS";
    if (method.name == u"GetConversionStatus") {
        std::uint64_t precision = 0;
        if (in != nullptr) {
            const WmiValue* factor = in->Find(u"PrecisionFactor");
            if (factor != nullptr && !factor->IsNull()) precision = factor->AsNumber().value_or(99);
        }
        if (precision > 4) {
            r.out.Set(u"ReturnValue", CimUint32(kInvalidArgument));
            return r;
        }
        r.out.Set(u"ReturnValue", CimUint32(state.conversionReturn));
        if (state.conversionReturn == 0) {
            r.out.Set(u"ConversionStatus", CimUint32(state.conversionStatus));
            r.out.Set(u"EncryptionPercentage", CimUint32(state.conversionStatus == 0 ? 0 : 100));
            r.out.Set(u"EncryptionFlags", CimUint32(0));
            r.out.Set(u"WipingStatus", CimUint32(0));
            r.out.Set(u"WipingPercentage", CimUint32(0));
        }
    } else {
        r.out.Set(u"ReturnValue", CimUint32(state.protectionReturn));
        if (state.protectionReturn == 0) r.out.Set(u"ProtectionStatus", CimUint32(state.protectionStatus));
    }
    return r;
}

// ---- MSFT_Disk, MSFT_Partition

std::u16string DiskObjectId(std::uint32_t disk) {
    return u"{1}\\\\" + std::u16string(kSimHostName) + u"\\Disk" + Decimal(disk);
}

std::u16string PartitionObjectId(std::uint32_t disk, std::uint32_t partition) {
    return DiskObjectId(disk) + u"\\Partition" + Decimal(partition);
}

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

}  // namespace

const WmiMethodDef* WmiClassDef::FindMethod(std::u16string_view method) const {
    for (const auto& m : methods)
        if (EqualsNoCase(m.name, method)) return &m;
    return nullptr;
}

bool NamespaceExists(const Machine& machine, std::u16string_view ns) {
    if (EqualsNoCase(ns, kEncryption)) return machine.wmi.encryptionNamespace;
    if (EqualsNoCase(ns, kStorage)) return machine.wmi.storageNamespace;
    return false;
}

std::u16string CanonicalNamespace(std::u16string_view ns) {
    if (EqualsNoCase(ns, kEncryption)) return kEncryption;
    if (EqualsNoCase(ns, kStorage)) return kStorage;
    return std::u16string(ns);
}

const WmiClassDef* FindClass(std::u16string_view ns, std::u16string_view className) {
    const auto* classes = ClassesOf(ns);
    if (classes == nullptr) return nullptr;
    for (const auto& c : *classes)
        if (EqualsNoCase(c.name, className)) return &c;
    return nullptr;
}

std::vector<WmiInstance> Instances(Machine& machine, std::u16string_view, const WmiClassDef& cls) {
    std::vector<WmiInstance> out;
    if (cls.name == u"Win32_EncryptableVolume") out = EncryptableVolumes(machine);
    else if (cls.name == u"MSFT_Disk") out = Disks(machine);
    else if (cls.name == u"MSFT_Partition") out = Partitions(machine);
    auto hook = machine.wmi.adjust.find(cls.name);
    if (hook != machine.wmi.adjust.end() && hook->second)
        for (auto& i : out) hook->second(i);
    return out;
}

WmiCallResult Invoke(Machine& machine, const WmiClassDef& cls, const WmiInstance& target,
                     const WmiMethodDef& method, const WmiInstance* in) {
    const std::u16string call = cls.name + u"." + method.name;
    machine.wmi.methodCalls.push_back(call);
    WmiCallResult r = cls.name == u"Win32_EncryptableVolume" ? InvokeEncryptable(machine, target, method, in)
                                                              : InvokePartition(machine, target, method, in);
    auto hook = machine.wmi.adjustResult.find(call);
    if (r.hr >= 0 && hook != machine.wmi.adjustResult.end() && hook->second) hook->second(r.out);
    return r;
}

}  // namespace sim
