// The thin WMI layer that the storage management queries share: a COM scope per operation,
// one namespace connection, single-instance queries, typed property reads and method calls.
// Every failure raises WmiError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/model/layout_model.h"
#include "app/wmi/com_owners.h"
#include "platform/win/com.h"

namespace velta {

inline constexpr char16_t kEncryptionNamespace[] = u"ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption";
inline constexpr char16_t kStorageNamespace[] = u"ROOT\\Microsoft\\Windows\\Storage";

inline constexpr std::uint32_t kWbemInvalidParameter = 0x80041008u;
inline constexpr std::uint32_t kOutOfMemory = 0x8007000Eu;
inline constexpr std::uint32_t kTimeoutHresult = 0x800705B4u;

[[noreturn]] void RaiseWmi(std::u16string step, std::uint32_t code);

// A BSTR copy of the text; raises "SysAllocString" when it cannot be allocated.
UniqueBstr AllocBstr(std::u16string_view text);

// COM initialised as a multithreaded apartment for one top-level operation, balanced by one
// CoUninitialize when the scope ends.
class ComScope {
public:
    ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope();
};

// One connected namespace whose services proxy carries our blanket.
struct WmiConnection {
    ComPtr<win::IWbemServices> services;
};

WmiConnection ConnectNamespace(std::u16string_view path);

// The one instance that the query identifies, or an empty pointer when none matches.
// A second match raises with the class name as step.
ComPtr<win::IWbemClassObject> QuerySingleInstance(const WmiConnection& connection,
                                                  std::u16string_view query,
                                                  std::u16string_view className);

// The body of a WQL string literal: each backslash and single quote escaped with a
// backslash. The caller writes the surrounding quotes.
std::u16string QuoteWql(std::u16string_view value);

// A property's VARIANT with the name that failed conversions report.
struct PropertyValue {
    std::u16string name;
    UniqueVariant value;
};

PropertyValue ReadProperty(win::IWbemClassObject* object, std::u16string_view name);
std::uint64_t ReadUnsigned(const PropertyValue& property);
std::u16string ReadString(const PropertyValue& property);
bool ReadFlag(const PropertyValue& property);

// Shorthands: read and convert in one call.
std::uint64_t ReadUnsigned(win::IWbemClassObject* object, std::u16string_view name);
std::u16string ReadString(win::IWbemClassObject* object, std::u16string_view name);
bool ReadFlag(win::IWbemClassObject* object, std::u16string_view name);

// The optional single input parameter of a method call. The value stays the caller's.
struct MethodInput {
    std::u16string_view name;
    win::VARIANT* value = nullptr;
};

// Calls a method on an instance and returns its output-parameters object.
ComPtr<win::IWbemClassObject> InvokeMethod(const WmiConnection& connection,
                                           win::IWbemClassObject* instance,
                                           std::u16string_view className,
                                           std::u16string_view methodName,
                                           const MethodInput* input);


// "0x" and eight uppercase hexadecimal digits.
std::u16string FormatHresult(std::uint32_t code);
// The step, one space and the formatted code.
std::u16string DescribeWmiError(const WmiError& error);

}  // namespace velta
