#include "app/wmi/wmi_layer.h"

#include <string>

#include "platform/win/com_constants.h"

namespace velta {

namespace {

constexpr win::LONG kNextTimeoutMs = 30000;

std::uint32_t Code(win::HRESULT hr) { return static_cast<std::uint32_t>(hr); }

// The fixed blanket: NTLM/Kerberos negotiation through WINNT, packet privacy, impersonation.
win::HRESULT SetBlanket(win::IUnknown* proxy) {
    return win::CoSetProxyBlanket(proxy, win::RPC_C_AUTHN_WINNT, win::RPC_C_AUTHZ_NONE, nullptr,
                                  win::RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                  win::RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, win::EOAC_NONE);
}

// One Next of one object; false when the enumeration has ended.
bool NextObject(win::IEnumWbemClassObject* enumerator, std::u16string_view className,
                ComPtr<win::IWbemClassObject>& out) {
    win::ULONG returned = 0;
    win::HRESULT hr = enumerator->Next(kNextTimeoutMs, 1, out.put(), &returned);
    if (hr == win::WBEM_S_TIMEDOUT) RaiseWmi(std::u16string(className), kTimeoutHresult);
    if (hr < 0) RaiseWmi(std::u16string(className), Code(hr));
    if (returned == 0) {
        // Nothing came back; drop anything a misbehaving enumerator left in the slot.
        out.reset();
        return false;
    }
    return out.get() != nullptr;
}

}  // namespace

void RaiseWmi(std::u16string step, std::uint32_t code) { throw WmiError{std::move(step), code}; }

UniqueBstr AllocBstr(std::u16string_view text) {
    std::u16string copy(text);
    win::BSTR b = win::SysAllocString(copy.c_str());
    if (b == nullptr) RaiseWmi(u"SysAllocString", kOutOfMemory);
    return UniqueBstr(b);
}

ComScope::ComScope() {
    win::HRESULT hr = win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED);
    if (hr < 0) RaiseWmi(u"CoInitializeEx", Code(hr));
}

ComScope::~ComScope() { win::CoUninitialize(); }

WmiConnection ConnectNamespace(std::u16string_view path) {
    ComPtr<win::IWbemLocator> locator;
    win::HRESULT hr = win::CoCreateInstance(win::CLSID_WbemLocator, nullptr, win::CLSCTX_INPROC_SERVER,
                                            win::IID_IWbemLocator, locator.put_void());
    if (hr < 0) RaiseWmi(u"WMI locator", Code(hr));
    UniqueBstr resource = AllocBstr(path);
    WmiConnection connection;
    hr = locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr,
                                win::WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr,
                                connection.services.put());
    if (hr < 0) RaiseWmi(std::u16string(path), Code(hr));
    locator.reset();
    hr = SetBlanket(connection.services.get());
    if (hr < 0) RaiseWmi(u"WMI security", Code(hr));
    return connection;
}

ComPtr<win::IWbemClassObject> QuerySingleInstance(const WmiConnection& connection,
                                                  std::u16string_view query,
                                                  std::u16string_view className) {
    UniqueBstr language = AllocBstr(u"WQL");
    UniqueBstr text = AllocBstr(query);
    ComPtr<win::IEnumWbemClassObject> enumerator;
    win::HRESULT hr = connection.services->ExecQuery(
        language.get(), text.get(), win::WBEM_FLAG_FORWARD_ONLY | win::WBEM_FLAG_RETURN_IMMEDIATELY,
        nullptr, enumerator.put());
    if (hr < 0) RaiseWmi(std::u16string(className), Code(hr));
    if (!enumerator) RaiseWmi(std::u16string(className), kWbemInvalidParameter);
    hr = SetBlanket(enumerator.get());
    if (hr < 0) RaiseWmi(std::u16string(className), Code(hr));

    ComPtr<win::IWbemClassObject> first;
    if (!NextObject(enumerator.get(), className, first)) return {};
    ComPtr<win::IWbemClassObject> second;
    if (NextObject(enumerator.get(), className, second))
        RaiseWmi(std::u16string(className), kWbemInvalidParameter);
    return first;
}

std::u16string QuoteWql(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size() + 8);
    for (char16_t c : value) {
        if (c == u'\\' || c == u'\'') out += u'\\';
        out += c;
    }
    return out;
}

std::u16string FormatHresult(std::uint32_t code) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string out = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(code >> shift) & 0xF];
    return out;
}

std::u16string DescribeWmiError(const WmiError& error) {
    return error.step + u" " + FormatHresult(error.code);
}

}  // namespace velta
