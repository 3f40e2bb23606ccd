// Native-API types of the boot-time programs' platform layer, with the published layouts.
// Freestanding: no headers beyond the fixed-width integers and the shared GUID layout.
#pragma once

#include <stdint.h>

#include "common/guid.h"

namespace nt {

using NTSTATUS = int32_t;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using PVOID = void*;
using ULONG = uint32_t;
using PULONG = ULONG*;
using USHORT = uint16_t;
using WCHAR = char16_t;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using ACCESS_MASK = uint32_t;
using ULONG_PTR = uintptr_t;
using GUID = velta::Guid;

constexpr NTSTATUS STATUS_SUCCESS = 0;

inline HANDLE NtCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

inline bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

// A counted UTF-16 string; Length and MaximumLength are in bytes, no terminator required.
struct UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;

constexpr ULONG OBJ_CASE_INSENSITIVE = 0x00000040;

struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;

inline void InitializeObjectAttributes(OBJECT_ATTRIBUTES* attributes, PUNICODE_STRING name,
                                       ULONG flags, HANDLE root, PVOID securityDescriptor) {
    attributes->Length = sizeof(OBJECT_ATTRIBUTES);
    attributes->RootDirectory = root;
    attributes->ObjectName = name;
    attributes->Attributes = flags;
    attributes->SecurityDescriptor = securityDescriptor;
    attributes->SecurityQualityOfService = nullptr;
}

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        int32_t HighPart;
    } u;
    int64_t QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(UNICODE_STRING) == 16, "UNICODE_STRING layout");
static_assert(sizeof(OBJECT_ATTRIBUTES) == 48, "OBJECT_ATTRIBUTES layout");
#endif
static_assert(sizeof(LARGE_INTEGER) == 8, "LARGE_INTEGER layout");

}  // namespace nt
