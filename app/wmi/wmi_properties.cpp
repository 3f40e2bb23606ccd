// Typed reads of instance properties, with strict conversions: a value that is present but
// not what was expected raises with the property's name.
#include <string>

#include "app/wmi/wmi_layer.h"
#include "platform/win/com_constants.h"

namespace velta {

namespace {

[[noreturn]] void Unexpected(const PropertyValue& p) { RaiseWmi(p.name, kWbemInvalidParameter); }

// Decimal text of a CIM uint64: digits only, at least one, and within 64 bits.
bool ParseDecimal(const char16_t* text, win::UINT length, std::uint64_t& out) {
    if (text == nullptr || length == 0) return false;
    std::uint64_t value = 0;
    for (win::UINT i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c < u'0' || c > u'9') return false;
        std::uint64_t digit = static_cast<std::uint64_t>(c - u'0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    out = value;
    return true;
}

}  // namespace

PropertyValue ReadProperty(win::IWbemClassObject* object, std::u16string_view name) {
    PropertyValue p{std::u16string(name), {}};
    win::HRESULT hr = object->Get(p.name.c_str(), 0, p.value.get(), nullptr, nullptr);
    if (hr < 0) RaiseWmi(p.name, static_cast<std::uint32_t>(hr));  // p.value clears itself
    return p;
}

std::uint64_t ReadUnsigned(const PropertyValue& p) {
    const win::VARIANT& v = *p.value;
    switch (v.vt) {
        case win::VT_UI1: return v.bVal;
        case win::VT_I2:
        case win::VT_UI2: return v.uiVal;
        case win::VT_I4:
        case win::VT_UI4: return v.ulVal;
        case win::VT_UI8: return v.ullVal;
        case win::VT_BSTR: {
            std::uint64_t value = 0;
            if (v.bstrVal == nullptr || !ParseDecimal(v.bstrVal, win::SysStringLen(v.bstrVal), value))
                Unexpected(p);
            return value;
        }
        default: Unexpected(p);
    }
}

std::u16string ReadString(const PropertyValue& p) {
    const win::VARIANT& v = *p.value;
    if (v.vt != win::VT_BSTR || v.bstrVal == nullptr) Unexpected(p);
    return std::u16string(v.bstrVal, win::SysStringLen(v.bstrVal));
}

bool ReadFlag(const PropertyValue& p) {
    const win::VARIANT& v = *p.value;
    if (v.vt != win::VT_BOOL) Unexpected(p);
    return v.boolVal == win::VARIANT_TRUE;
}

std::uint64_t ReadUnsigned(win::IWbemClassObject* object, std::u16string_view name) {
    return ReadUnsigned(ReadProperty(object, name));
}
std::u16string ReadString(win::IWbemClassObject* object, std::u16string_view name) {
    return ReadString(ReadProperty(object, name));
}
bool ReadFlag(win::IWbemClassObject* object, std::u16string_view name) {
    return ReadFlag(ReadProperty(object, name));
}

}  // namespace velta
