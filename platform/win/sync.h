// Named mutex calls.
#pragma once

#include "platform/win/types.h"

namespace win {

HANDLE CreateMutexW(void* security, BOOL initialOwner, LPCWSTR name);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);

}  // namespace win
