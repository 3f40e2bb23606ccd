// Native-API types of the boot-time programs' platform layer, with the published layouts.
// Freestanding: no headers beyond the fixed-width integers.
#pragma once

#include <stdint.h>

namespace nt {

using NTSTATUS = int32_t;
using HANDLE = void*;
using ULONG = uint32_t;
using USHORT = uint16_t;
using WCHAR = char16_t;
using ACCESS_MASK = uint32_t;

constexpr NTSTATUS STATUS_SUCCESS = 0;

inline HANDLE NtCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

inline bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

}  // namespace nt
