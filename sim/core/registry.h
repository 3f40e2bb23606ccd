// The simulated PC's registry: keys (names compared without regard to case) holding typed
// values. Paths are written from a root, e.g. "HKLM\SYSTEM\CurrentControlSet\Control".
// Both the Win32 calls and the native calls of the boot-time programs act on this one store.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Registry value types, with their published numbers.
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;
constexpr std::uint32_t REG_QWORD = 11;

struct RegistryValue {
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;

    bool operator==(const RegistryValue&) const = default;
};

class RegistryKey {
public:
    explicit RegistryKey(std::u16string name) : name_(std::move(name)) {}

    const std::u16string& name() const { return name_; }
    RegistryKey* Subkey(std::u16string_view name);
    RegistryKey& CreateSubkey(std::u16string_view name);
    bool DeleteSubkey(std::u16string_view name);

    const RegistryValue* Value(std::u16string_view name) const;
    void SetValue(std::u16string_view name, RegistryValue value);
    bool DeleteValue(std::u16string_view name);
    // Value names in the order they were first written.
    std::vector<std::u16string> ValueNames() const;

private:
    struct Named {
        std::u16string name;
        RegistryValue value;
        std::uint64_t order;
    };
    std::u16string name_;
    std::map<std::u16string, Named> values_;  // keyed by the folded name
    std::map<std::u16string, std::unique_ptr<RegistryKey>> subkeys_;
    std::uint64_t nextOrder_ = 0;
};

class Registry {
public:
    Registry();

    // A path starts with a root name: "HKLM" or "HKEY_LOCAL_MACHINE", "HKCU" or
    // "HKEY_CURRENT_USER"; the native object name "\Registry\Machine" maps to HKLM.
    RegistryKey* Open(std::u16string_view path);
    RegistryKey& Create(std::u16string_view path);

    std::optional<RegistryValue> Get(std::u16string_view keyPath, std::u16string_view name);
    void Set(std::u16string_view keyPath, std::u16string_view name, RegistryValue value);
    bool Delete(std::u16string_view keyPath, std::u16string_view name);

    // Convenience forms used by tests and the lab.
    void SetDword(std::u16string_view keyPath, std::u16string_view name, std::uint32_t v);
    void SetQword(std::u16string_view keyPath, std::u16string_view name, std::uint64_t v);
    void SetMultiSz(std::u16string_view keyPath, std::u16string_view name,
                    const std::vector<std::u16string>& elements);
    // Splits a REG_MULTI_SZ value into its elements; nullopt when absent or of another type.
    std::optional<std::vector<std::u16string>> GetMultiSz(std::u16string_view keyPath,
                                                          std::u16string_view name);

private:
    RegistryKey* Root(std::u16string_view root);
    RegistryKey machine_{u"HKEY_LOCAL_MACHINE"};
    RegistryKey user_{u"HKEY_CURRENT_USER"};
};

// The key through which the desktop program and the boot-time programs speak.
inline constexpr std::u16string_view kSessionManagerKey =
    u"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

}  // namespace sim
