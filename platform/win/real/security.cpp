#include "platform/win/real/prelude.h"

#include "platform/win/security.h"

namespace win {

static_assert(sizeof(LUID) == sizeof(::LUID));
static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(::TOKEN_PRIVILEGES));

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
    return ::OpenProcessToken(process, desiredAccess, token);
}
BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID* luid) {
    return ::LookupPrivilegeValueW(W(systemName), W(name), reinterpret_cast<::PLUID>(luid));
}
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                           DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    return ::AdjustTokenPrivileges(token, disableAll, reinterpret_cast<::PTOKEN_PRIVILEGES>(newState),
                                   bufferLength, reinterpret_cast<::PTOKEN_PRIVILEGES>(previousState),
                                   reinterpret_cast<::PDWORD>(returnLength));
}
BOOL ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

}  // namespace win
