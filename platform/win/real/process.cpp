#include "platform/win/real/prelude.h"
#include <shellapi.h>

#include "platform/win/process.h"

namespace win {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }
LPWSTR GetCommandLineW() { return reinterpret_cast<LPWSTR>(::GetCommandLineW()); }
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argc) {
    return reinterpret_cast<LPWSTR*>(::CommandLineToArgvW(W(commandLine), argc));
}
HLOCAL LocalFree(HLOCAL memory) { return ::LocalFree(memory); }
LANGID GetUserDefaultUILanguage() { return ::GetUserDefaultUILanguage(); }

}  // namespace win
