// Constants of the wait and mutex calls. Not for the real forwarders (macros there).
#pragma once

#include "platform/win/sync.h"

namespace win {

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

constexpr DWORD ERROR_NOT_OWNER = 288;

}  // namespace win
