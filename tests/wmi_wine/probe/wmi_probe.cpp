// Runs the WMI layer against the real COM runtime and Wine's WMI service, and prints what it
// saw, one fact per line, for the host test to compare.
#include <cstdio>
#include <string>

#include "app/model/decimal.h"
#include "app/wmi/storage_checks.h"
#include "platform/win/com_constants.h"

namespace {

void Line(const char* label, const std::u16string& text) {
    std::printf("%s: ", label);
    for (char16_t c : text) std::putchar(c < 128 ? static_cast<char>(c) : '?');
    std::putchar('\n');
}

template <typename F>
void Try(const char* label, F body) {
    try {
        Line(label, body());
    } catch (const velta::WmiError& e) {
        Line(label, u"raised " + velta::DescribeWmiError(e));
    }
}

}  // namespace

int wmain() {
    using namespace velta;
    Try("storage checks", [] {
        PartitionIdentity id;
        id.volumePath = u"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\";
        StorageCheckResult r = RunStorageChecks(id);
        return Decimal(static_cast<std::uint32_t>(r.status)) + u" " + r.detail;
    });
    ComScope com;
    WmiConnection cimv2;
    Try("connect", [&] {
        cimv2 = ConnectNamespace(u"ROOT\\CIMV2");
        return std::u16string(u"ok");
    });
    Try("one instance", [&] {
        auto os = QuerySingleInstance(cimv2, u"SELECT * FROM Win32_OperatingSystem", u"Win32_OperatingSystem");
        return os ? ReadString(os.get(), u"Caption") : std::u16string(u"none");
    });
    Try("no instance", [&] {
        auto p = QuerySingleInstance(cimv2, u"SELECT * FROM Win32_Process WHERE ProcessId = 4000000000", u"Win32_Process");
        return std::u16string(p ? u"found" : u"none");
    });
    Try("two instances", [&] {
        QuerySingleInstance(cimv2, u"SELECT * FROM Win32_Process", u"Win32_Process");
        return std::u16string(u"not raised");
    });
    Try("uint64 property", [&] {
        auto os = QuerySingleInstance(cimv2, u"SELECT * FROM Win32_OperatingSystem", u"Win32_OperatingSystem");
        PropertyValue p = ReadProperty(os.get(), u"TotalVisibleMemorySize");
        return Decimal(p.value->vt) + u" " + (ReadUnsigned(p) > 0 ? u"positive" : u"zero");
    });
    Try("flag property", [&] {
        auto os = QuerySingleInstance(cimv2, u"SELECT * FROM Win32_OperatingSystem", u"Win32_OperatingSystem");
        return std::u16string(ReadFlag(os.get(), u"Primary") ? u"true" : u"false");
    });
    Try("missing property", [&] {
        auto os = QuerySingleInstance(cimv2, u"SELECT * FROM Win32_OperatingSystem", u"Win32_OperatingSystem");
        ReadProperty(os.get(), u"NoSuchProperty");
        return std::u16string(u"not raised");
    });
    Try("method with one input", [&] {
        ComPtr<win::IWbemClassObject> registry;
        UniqueBstr name = AllocBstr(u"StdRegProv");
        win::HRESULT hr = cimv2.services->GetObject(name.get(), 0, nullptr, registry.put(), nullptr);
        if (hr < 0) return u"GetObject " + FormatHresult(static_cast<std::uint32_t>(hr));
        UniqueVariant root;
        root.get()->vt = win::VT_I4;
        root.get()->lVal = static_cast<win::LONG>(0x80000002u);  // HKEY_LOCAL_MACHINE
        MethodInput input{u"hDefKey", root.get()};
        auto out = InvokeMethod(cimv2, registry.get(), u"StdRegProv", u"EnumKey", &input);
        return u"ReturnValue " + Decimal(ReadUnsigned(out.get(), u"ReturnValue"));
    });
    return 0;
}
