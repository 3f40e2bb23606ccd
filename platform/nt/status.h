// NTSTATUS values the boot-time programs and the simulated native calls use.
#pragma once

#include "platform/nt/types.h"

namespace nt {

// Warning severity: still negative as a signed value.
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005u);

constexpr NTSTATUS STATUS_UNSUCCESSFUL = static_cast<NTSTATUS>(0xC0000001u);
constexpr NTSTATUS STATUS_INVALID_HANDLE = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS STATUS_ACCESS_DENIED = static_cast<NTSTATUS>(0xC0000022u);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = static_cast<NTSTATUS>(0xC0000023u);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = static_cast<NTSTATUS>(0xC0000034u);
constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = static_cast<NTSTATUS>(0xC0000035u);
constexpr NTSTATUS STATUS_OBJECT_PATH_SYNTAX_BAD = static_cast<NTSTATUS>(0xC000003Bu);
constexpr NTSTATUS STATUS_DATA_ERROR = static_cast<NTSTATUS>(0xC000003Eu);
constexpr NTSTATUS STATUS_KEY_DELETED = static_cast<NTSTATUS>(0xC000017Cu);
constexpr NTSTATUS STATUS_IO_DEVICE_ERROR = static_cast<NTSTATUS>(0xC0000185u);

}  // namespace nt
