#include "sim/wmi/value.h"

#include <string>

#include "platform/win/com_constants.h"
#include "sim/wmi/com_runtime.h"
#include "sim/core/text.h"

namespace sim {

namespace {

std::optional<std::uint64_t> ParseDecimal(const std::u16string& s) {
    if (s.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : s) {
        if (c < u'0' || c > u'9') return std::nullopt;
        std::uint64_t d = static_cast<std::uint64_t>(c - u'0');
        if (value > (UINT64_MAX - d) / 10) return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

}  // namespace

WmiValue CimUint64(std::uint64_t n) {
    std::string text = std::to_string(n);
    return WmiValue(std::u16string(text.begin(), text.end()));
}

std::optional<std::uint64_t> WmiValue::AsNumber() const {
    struct Visitor {
        std::optional<std::uint64_t> operator()(std::monostate) const { return std::nullopt; }
        std::optional<std::uint64_t> operator()(bool) const { return std::nullopt; }
        std::optional<std::uint64_t> operator()(const BstrArray&) const { return std::nullopt; }
        std::optional<std::uint64_t> operator()(const std::u16string& s) const { return ParseDecimal(s); }
        std::optional<std::uint64_t> operator()(std::int16_t n) const { return static_cast<std::uint16_t>(n); }
        std::optional<std::uint64_t> operator()(std::int32_t n) const { return static_cast<std::uint32_t>(n); }
        std::optional<std::uint64_t> operator()(std::int64_t n) const { return static_cast<std::uint64_t>(n); }
        std::optional<std::uint64_t> operator()(std::uint8_t n) const { return n; }
        std::optional<std::uint64_t> operator()(std::uint16_t n) const { return n; }
        std::optional<std::uint64_t> operator()(std::uint32_t n) const { return n; }
        std::optional<std::uint64_t> operator()(std::uint64_t n) const { return n; }
    };
    return std::visit(Visitor{}, v);
}

const WmiValue* WmiInstance::Find(std::u16string_view name) const {
    for (const auto& [n, value] : properties)
        if (EqualsNoCase(n, name)) return &value;
    return nullptr;
}

WmiValue* WmiInstance::Find(std::u16string_view name) {
    for (auto& [n, value] : properties)
        if (EqualsNoCase(n, name)) return &value;
    return nullptr;
}

void WmiInstance::Set(std::u16string_view name, WmiValue value) {
    if (WmiValue* existing = Find(name)) {
        *existing = std::move(value);
        return;
    }
    properties.emplace_back(std::u16string(name), std::move(value));
}

void ToVariant(const WmiValue& value, win::VARIANT* out) {
    win::VariantInit(out);
    struct Visitor {
        win::VARIANT* out;
        void operator()(std::monostate) const { out->vt = win::VT_NULL; }
        void operator()(bool b) const {
            out->vt = win::VT_BOOL;
            out->boolVal = b ? win::VARIANT_TRUE : win::VARIANT_FALSE;
        }
        void operator()(std::int16_t n) const { out->vt = win::VT_I2; out->iVal = n; }
        void operator()(std::int32_t n) const { out->vt = win::VT_I4; out->lVal = n; }
        void operator()(std::uint8_t n) const { out->vt = win::VT_UI1; out->bVal = n; }
        void operator()(std::uint16_t n) const { out->vt = win::VT_UI2; out->uiVal = n; }
        void operator()(std::uint32_t n) const { out->vt = win::VT_UI4; out->ulVal = n; }
        void operator()(std::uint64_t n) const { out->vt = win::VT_UI8; out->ullVal = n; }
        void operator()(std::int64_t n) const { out->vt = win::VT_I8; out->llVal = n; }
        void operator()(const std::u16string& s) const {
            out->vt = win::VT_BSTR;
            out->bstrVal = AllocBstr(s);
        }
        void operator()(const BstrArray& a) const {
            out->vt = win::VT_ARRAY | win::VT_BSTR;
            out->parray = a.nullArray ? nullptr : CreateBstrArray(a.items, a.lowerBound, a.dims);
        }
    };
    std::visit(Visitor{out}, value.v);
}

bool FromVariant(const win::VARIANT& in, WmiValue& out) {
    switch (in.vt) {
        case win::VT_EMPTY:
        case win::VT_NULL: out = WmiValue(); return true;
        case win::VT_BOOL: out = WmiValue(in.boolVal != 0); return true;
        case win::VT_I2: out = WmiValue(in.iVal); return true;
        case win::VT_I4: out = WmiValue(static_cast<std::int32_t>(in.lVal)); return true;
        case win::VT_UI1: out = WmiValue(in.bVal); return true;
        case win::VT_UI2: out = WmiValue(in.uiVal); return true;
        case win::VT_UI4: out = WmiValue(static_cast<std::uint32_t>(in.ulVal)); return true;
        case win::VT_UI8: out = WmiValue(static_cast<std::uint64_t>(in.ullVal)); return true;
        case win::VT_I8: out = WmiValue(static_cast<std::int64_t>(in.llVal)); return true;
        case win::VT_BSTR:
            if (in.bstrVal == nullptr) return false;
            out = WmiValue(std::u16string(in.bstrVal, win::SysStringLen(in.bstrVal)));
            return true;
        default: return false;
    }
}

}  // namespace sim
