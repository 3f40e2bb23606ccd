// Registry calls of the desktop program on the simulated PC's registry (the same store the
// native calls of the boot-time programs use).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "platform/win/constants.h"
#include "platform/win/registry.h"
#include "platform/win/registry_constants.h"
#include "sim/core/machine.h"

namespace win {

namespace {

constexpr LSTATUS kKeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr LSTATUS kNoAccess = 998;     // ERROR_NOACCESS
constexpr LSTATUS kBadPathname = 161;  // ERROR_BAD_PATHNAME

// An open key: its full path and the access it was opened with. The key is looked up again
// at every call, so one deleted in the meantime is noticed.
class KeyObject : public sim::HandleObject {
public:
    KeyObject(std::u16string path, REGSAM access) : path(std::move(path)), access(access) {}
    const std::u16string path;
    const REGSAM access;
};

constexpr char16_t kMachineRoot[] = u"HKLM";

bool IsMachineRoot(HKEY key) { return key == HKEY_LOCAL_MACHINE; }

// The path and the access behind a key handle; the predefined root key allows everything.
LSTATUS Resolve(sim::Machine& m, HKEY key, std::u16string* path, REGSAM* access) {
    if (IsMachineRoot(key)) {
        *path = kMachineRoot;
        *access = KEY_QUERY_VALUE | KEY_SET_VALUE;
        return ERROR_SUCCESS;
    }
    auto object = std::dynamic_pointer_cast<KeyObject>(m.handles.Get(key));
    if (!object) return ERROR_INVALID_HANDLE;
    *path = object->path;
    *access = object->access;
    return ERROR_SUCCESS;
}

// The key a call acts on, after checking the access it needs.
LSTATUS OpenedKey(sim::Machine& m, HKEY key, REGSAM needed, sim::RegistryKey** out) {
    std::u16string path;
    REGSAM access = 0;
    if (LSTATUS e = Resolve(m, key, &path, &access); e != ERROR_SUCCESS) return e;
    if ((access & needed) != needed) return ERROR_ACCESS_DENIED;
    *out = m.registry.Open(path);
    return *out == nullptr ? kKeyDeleted : ERROR_SUCCESS;
}

// The RRF_RT_* bit of a value type; 0 for types no restriction names.
DWORD RestrictionBit(DWORD type) {
    switch (type) {
        case REG_NONE: return RRF_RT_REG_NONE;
        case REG_SZ: return RRF_RT_REG_SZ;
        case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
        case REG_BINARY: return RRF_RT_REG_BINARY;
        case REG_DWORD: return RRF_RT_REG_DWORD;
        case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
        case REG_QWORD: return RRF_RT_REG_QWORD;
        default: return 0;
    }
}

// Copies a value out as both query calls do: the size always, the bytes when they fit.
LSTATUS CopyOut(const sim::RegistryValue& value, DWORD* type, void* data, DWORD* dataSize) {
    if (type != nullptr) *type = value.type;
    const auto size = static_cast<DWORD>(value.data.size());
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    const DWORD room = *dataSize;
    *dataSize = size;
    if (room < size) return ERROR_MORE_DATA;
    if (size > 0) std::memcpy(data, value.data.data(), size);
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, HKEY* result) {
    auto& m = sim::Current();
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (auto f = m.faults.Hit("RegOpenKeyExW")) return static_cast<LSTATUS>(f->code);
    std::u16string path;
    REGSAM access = 0;
    if (LSTATUS e = Resolve(m, key, &path, &access); e != ERROR_SUCCESS) return e;
    if (subKey != nullptr && *subKey != 0) {
        if (*subKey == u'\\') return kBadPathname;
        path += u"\\";
        path += subKey;
    }
    if (m.registry.Open(path) == nullptr) return ERROR_FILE_NOT_FOUND;
    *result = static_cast<HKEY>(m.handles.Add(std::make_shared<KeyObject>(path, desired)));
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("RegQueryValueExW")) return static_cast<LSTATUS>(f->code);
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return ERROR_INVALID_PARAMETER;
    sim::RegistryKey* k = nullptr;
    if (LSTATUS e = OpenedKey(m, key, KEY_QUERY_VALUE, &k); e != ERROR_SUCCESS) return e;
    const sim::RegistryValue* value = k->Value(valueName == nullptr ? u"" : valueName);
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    return CopyOut(*value, type, data, dataSize);
}

LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, DWORD* type,
                     void* data, DWORD* dataSize) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("RegGetValueW")) return static_cast<LSTATUS>(f->code);
    if ((flags & RRF_RT_ANY) == 0 || (data != nullptr && dataSize == nullptr)) return ERROR_INVALID_PARAMETER;
    std::u16string path;
    REGSAM access = 0;
    if (LSTATUS e = Resolve(m, key, &path, &access); e != ERROR_SUCCESS) return e;
    if (subKey != nullptr && *subKey != 0) {
        // The subkey is opened for reading, whatever the handle allows.
        path += u"\\";
        path += subKey;
        access = KEY_QUERY_VALUE;
    }
    if ((access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    sim::RegistryKey* k = m.registry.Open(path);
    if (k == nullptr) return subKey != nullptr && *subKey != 0 ? ERROR_FILE_NOT_FOUND : kKeyDeleted;
    const sim::RegistryValue* value = k->Value(valueName == nullptr ? u"" : valueName);
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if ((RestrictionBit(value->type) & flags) == 0) {
        if (type != nullptr) *type = value->type;
        return ERROR_UNSUPPORTED_TYPE;
    }
    return CopyOut(*value, type, data, dataSize);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("RegSetValueExW")) return static_cast<LSTATUS>(f->code);
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    if (data == nullptr && dataSize != 0) return kNoAccess;
    sim::RegistryKey* k = nullptr;
    if (LSTATUS e = OpenedKey(m, key, KEY_SET_VALUE, &k); e != ERROR_SUCCESS) return e;
    k->SetValue(valueName == nullptr ? u"" : valueName,
                sim::RegistryValue{type, std::vector<std::uint8_t>(data, data + dataSize)});
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("RegDeleteValueW")) return static_cast<LSTATUS>(f->code);
    sim::RegistryKey* k = nullptr;
    if (LSTATUS e = OpenedKey(m, key, KEY_SET_VALUE, &k); e != ERROR_SUCCESS) return e;
    return k->DeleteValue(valueName == nullptr ? u"" : valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS RegFlushKey(HKEY key) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("RegFlushKey")) return static_cast<LSTATUS>(f->code);
    std::u16string path;
    REGSAM access = 0;
    return Resolve(m, key, &path, &access);
}

LSTATUS RegCloseKey(HKEY key) {
    auto& m = sim::Current();
    if (IsMachineRoot(key)) return ERROR_SUCCESS;
    if (!std::dynamic_pointer_cast<KeyObject>(m.handles.Get(key))) return ERROR_INVALID_HANDLE;
    m.handles.Close(key);
    return ERROR_SUCCESS;
}

}  // namespace win
