// Property values and instances of the simulated WMI service, and their VARIANT forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/win/com.h"

namespace sim {

// An array of strings as WMI delivers it (VT_ARRAY | VT_BSTR). The odd shapes (another
// lower bound, more dimensions, null elements, a null array) let tests deliver what a
// provider might.
struct BstrArray {
    std::vector<std::optional<std::u16string>> items;
    win::LONG lowerBound = 0;
    win::USHORT dims = 1;
    bool nullArray = false;
};

// One typed value: each alternative is one VARIANT type.
struct WmiValue {
    using Storage = std::variant<std::monostate,  // VT_NULL
                                 bool,            // VT_BOOL
                                 std::int16_t,    // VT_I2
                                 std::int32_t,    // VT_I4
                                 std::uint8_t,    // VT_UI1
                                 std::uint16_t,   // VT_UI2
                                 std::uint32_t,   // VT_UI4
                                 std::uint64_t,   // VT_UI8
                                 std::int64_t,    // VT_I8
                                 std::u16string,  // VT_BSTR
                                 BstrArray>;      // VT_ARRAY | VT_BSTR
    Storage v;

    WmiValue() = default;
    template <typename T>
    WmiValue(T value) : v(std::move(value)) {}
    WmiValue(const char16_t* text) : v(std::u16string(text)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(v); }
    // The value as a number, when it is one (a CIM uint64 arrives as decimal text).
    std::optional<std::uint64_t> AsNumber() const;
    const std::u16string* AsText() const { return std::get_if<std::u16string>(&v); }
};

// WMI's own forms of the CIM types.
inline WmiValue CimUint32(std::uint32_t n) { return WmiValue(static_cast<std::int32_t>(n)); }
inline WmiValue CimUint16(std::uint16_t n) { return WmiValue(static_cast<std::int32_t>(n)); }
inline WmiValue CimChar16(char16_t c) { return WmiValue(static_cast<std::int16_t>(c)); }
WmiValue CimUint64(std::uint64_t n);

// An instance, a class definition or a parameters object.
struct WmiInstance {
    std::u16string className;
    std::u16string path;  // __PATH; empty for parameters objects
    std::vector<std::pair<std::u16string, WmiValue>> properties;

    // Names are compared without regard to case, as WMI does.
    const WmiValue* Find(std::u16string_view name) const;
    WmiValue* Find(std::u16string_view name);
    void Set(std::u16string_view name, WmiValue value);
};

// Fills a VARIANT with a copy of the value (new BSTRs and arrays, tracked as live).
void ToVariant(const WmiValue& value, win::VARIANT* out);
// Copies a VARIANT the program passed in; false for a type the service does not take.
bool FromVariant(const win::VARIANT& in, WmiValue& out);

}  // namespace sim
