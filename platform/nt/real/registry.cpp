// Forwarders to ntdll: registry calls.
#include "platform/nt/registry.h"

extern "C" {
__declspec(dllimport) nt::NTSTATUS __stdcall NtOpenKey(nt::PHANDLE, nt::ACCESS_MASK,
                                                       nt::POBJECT_ATTRIBUTES);
__declspec(dllimport) nt::NTSTATUS __stdcall NtQueryValueKey(nt::HANDLE, nt::PUNICODE_STRING,
                                                             nt::KEY_VALUE_INFORMATION_CLASS,
                                                             nt::PVOID, nt::ULONG, nt::PULONG);
__declspec(dllimport) nt::NTSTATUS __stdcall NtSetValueKey(nt::HANDLE, nt::PUNICODE_STRING,
                                                           nt::ULONG, nt::ULONG, nt::PVOID,
                                                           nt::ULONG);
}

namespace nt {

NTSTATUS NtOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes) {
    return ::NtOpenKey(keyHandle, desiredAccess, attributes);
}

NTSTATUS NtQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                         KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                         ULONG length, PULONG resultLength) {
    return ::NtQueryValueKey(keyHandle, valueName, informationClass, information, length,
                             resultLength);
}

NTSTATUS NtSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type,
                       PVOID data, ULONG dataSize) {
    return ::NtSetValueKey(keyHandle, valueName, titleIndex, type, data, dataSize);
}

}  // namespace nt
