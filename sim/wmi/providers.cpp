#include "sim/wmi/providers.h"

#include <string>

#include "platform/win/com_constants.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"
#include "sim/wmi/provider_parts.h"

namespace sim {

namespace {

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

}  // namespace

std::u16string ObjectPath(std::u16string_view ns, std::u16string_view cls, std::u16string_view key,
                          std::u16string_view value) {
    return u"\\\\" + std::u16string(kSimHostName) + u"\\" + CanonicalNamespace(ns) + u":" +
           std::u16string(cls) + u"." + std::u16string(key) + u"=" + PathKey(value);
}

std::u16string Decimal(std::uint64_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

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
