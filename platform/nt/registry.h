// Registry calls of the native API.
#pragma once

#include "platform/nt/types.h"

namespace nt {

constexpr ACCESS_MASK KEY_QUERY_VALUE = 0x0001;
constexpr ACCESS_MASK KEY_SET_VALUE = 0x0002;

constexpr ULONG REG_SZ = 1;
constexpr ULONG REG_BINARY = 3;
constexpr ULONG REG_DWORD = 4;
constexpr ULONG REG_MULTI_SZ = 7;
constexpr ULONG REG_QWORD = 11;

enum KEY_VALUE_INFORMATION_CLASS : int {
    KeyValueBasicInformation = 0,
    KeyValueFullInformation = 1,
    KeyValuePartialInformation = 2,
};

// KEY_VALUE_PARTIAL_INFORMATION: TitleIndex (u32), Type (u32), DataLength (u32), then the data.
// Read with explicit offsets; the data starts at byte 12.
constexpr ULONG KEY_VALUE_PARTIAL_INFORMATION_DATA_OFFSET = 12;

NTSTATUS NtOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes);
NTSTATUS NtQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                         KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                         ULONG length, PULONG resultLength);
NTSTATUS NtSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type,
                       PVOID data, ULONG dataSize);

}  // namespace nt
