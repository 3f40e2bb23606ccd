#include "platform/win/real/prelude.h"

#include "platform/win/files.h"

namespace win {

DWORD GetFileAttributesW(LPCWSTR path) { return ::GetFileAttributesW(W(path)); }
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) { return ::SetFileAttributesW(W(path), attributes); }

}  // namespace win
