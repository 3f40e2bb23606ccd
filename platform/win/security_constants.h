// Constants of the token and restart calls. Not for the real forwarders (macros there).
#pragma once

#include "platform/win/security.h"

namespace win {

constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
inline constexpr char16_t SE_SHUTDOWN_NAME[] = u"SeShutdownPrivilege";

constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;

constexpr UINT EWX_REBOOT = 0x00000002;
constexpr UINT EWX_FORCEIFHUNG = 0x00000010;
constexpr DWORD SHTDN_REASON_MAJOR_APPLICATION = 0x00040000;
constexpr DWORD SHTDN_REASON_MINOR_MAINTENANCE = 0x00000001;
constexpr DWORD SHTDN_REASON_FLAG_PLANNED = 0x80000000u;

}  // namespace win
