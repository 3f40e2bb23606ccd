// Registry calls of the native API on the simulated PC's registry.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "platform/nt/registry.h"
#include "platform/nt/status.h"
#include "sim/core/machine.h"
#include "sim/nt/native_call.h"

namespace nt {

namespace {

// An open key: its full path and the access it was opened with. The key is looked up again at
// every call, so a key deleted in the meantime is noticed.
class KeyObject : public sim::HandleObject {
public:
    KeyObject(std::u16string path, ACCESS_MASK access) : path(std::move(path)), access(access) {}
    const std::u16string path;
    const ACCESS_MASK access;
};

std::u16string_view View(const UNICODE_STRING& s) {
    return std::u16string_view(s.Buffer, s.Length / sizeof(WCHAR));
}

bool IsValid(const UNICODE_STRING* s) {
    if (s == nullptr) return false;
    if (s->Length % 2 != 0 || s->Length > s->MaximumLength) return false;
    return s->Length == 0 || s->Buffer != nullptr;
}

std::shared_ptr<KeyObject> KeyOf(sim::Machine& m, HANDLE handle) {
    return std::dynamic_pointer_cast<KeyObject>(m.handles.Get(handle));
}

// Finds the key behind a handle and checks the access the call needs.
NTSTATUS OpenedKey(sim::Machine& m, HANDLE handle, ACCESS_MASK needed, sim::RegistryKey** key) {
    auto object = KeyOf(m, handle);
    if (!object) return STATUS_INVALID_HANDLE;
    if ((object->access & needed) != needed) return STATUS_ACCESS_DENIED;
    *key = m.registry.Open(object->path);
    return *key == nullptr ? STATUS_KEY_DELETED : STATUS_SUCCESS;
}

}  // namespace

namespace impl {

NTSTATUS NtOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("NtOpenKey")) return static_cast<NTSTATUS>(f->code);
    if (keyHandle == nullptr || attributes == nullptr ||
        attributes->Length != sizeof(OBJECT_ATTRIBUTES) || !IsValid(attributes->ObjectName))
        return STATUS_INVALID_PARAMETER;
    *keyHandle = nullptr;
    std::u16string path(View(*attributes->ObjectName));
    if (attributes->RootDirectory != nullptr) {
        auto root = KeyOf(m, attributes->RootDirectory);
        if (!root) return STATUS_INVALID_HANDLE;
        if (path.starts_with(u"\\")) return STATUS_OBJECT_PATH_SYNTAX_BAD;
        path = root->path + u"\\" + path;
    } else if (!path.starts_with(u"\\")) {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    if (m.registry.Open(path) == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
    *keyHandle = m.handles.Add(std::make_shared<KeyObject>(path, desiredAccess));
    return STATUS_SUCCESS;
}

NTSTATUS NtQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                         KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                         ULONG length, PULONG resultLength) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("NtQueryValueKey")) return static_cast<NTSTATUS>(f->code);
    sim::RegistryKey* key = nullptr;
    if (NTSTATUS s = OpenedKey(m, keyHandle, KEY_QUERY_VALUE, &key); s != STATUS_SUCCESS) return s;
    if (!IsValid(valueName) || resultLength == nullptr) return STATUS_INVALID_PARAMETER;
    // Only the partial record is modelled; the programs ask for nothing else.
    if (informationClass != KeyValuePartialInformation) return STATUS_INVALID_PARAMETER;
    const sim::RegistryValue* value = key->Value(View(*valueName));
    if (value == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;

    const ULONG header = KEY_VALUE_PARTIAL_INFORMATION_DATA_OFFSET;
    const ULONG dataLength = static_cast<ULONG>(value->data.size());
    *resultLength = header + dataLength;
    if (length < header) return STATUS_BUFFER_TOO_SMALL;
    if (information == nullptr) return STATUS_INVALID_PARAMETER;
    auto* out = static_cast<std::uint8_t*>(information);
    auto put32 = [out](ULONG offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 0);  // TitleIndex
    put32(4, value->type);
    put32(8, dataLength);
    // The header always fits; of the data, as much as the buffer holds.
    const ULONG copied = std::min(dataLength, length - header);
    if (copied > 0) std::memcpy(out + header, value->data.data(), copied);
    return copied < dataLength ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

NTSTATUS NtSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG, ULONG type, PVOID data,
                       ULONG dataSize) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("NtSetValueKey")) return static_cast<NTSTATUS>(f->code);
    sim::RegistryKey* key = nullptr;
    if (NTSTATUS s = OpenedKey(m, keyHandle, KEY_SET_VALUE, &key); s != STATUS_SUCCESS) return s;
    if (!IsValid(valueName) || (data == nullptr && dataSize != 0)) return STATUS_INVALID_PARAMETER;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    sim::RegistryValue value{type, std::vector<std::uint8_t>(bytes, bytes + dataSize)};
    key->SetValue(View(*valueName), std::move(value));
    return STATUS_SUCCESS;
}

}  // namespace impl

NTSTATUS NtOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes) {
    return sim::NativeCall([&](sim::Machine&) { return impl::NtOpenKey(keyHandle, desiredAccess, attributes); });
}

NTSTATUS NtQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                         KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                         ULONG length, PULONG resultLength) {
    return sim::NativeCall([&](sim::Machine&) {
        return impl::NtQueryValueKey(keyHandle, valueName, informationClass, information, length, resultLength);
    });
}

NTSTATUS NtSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type, PVOID data,
                       ULONG dataSize) {
    return sim::NativeCall(
        [&](sim::Machine&) { return impl::NtSetValueKey(keyHandle, valueName, titleIndex, type, data, dataSize); });
}

}  // namespace nt
