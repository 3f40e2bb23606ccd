#include "platform/win/real/prelude.h"

#include "platform/win/sync.h"

namespace win {

HANDLE CreateMutexW(void* security, BOOL initialOwner, LPCWSTR name) {
    return ::CreateMutexW(static_cast<LPSECURITY_ATTRIBUTES>(security), initialOwner, W(name));
}
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return ::WaitForSingleObject(object, milliseconds);
}
BOOL ReleaseMutex(HANDLE mutex) { return ::ReleaseMutex(mutex); }

}  // namespace win
