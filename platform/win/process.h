// Process-level calls: last error, command line, language, local memory.
#pragma once

#include "platform/win/types.h"

namespace win {

DWORD GetLastError();
void SetLastError(DWORD code);
LPWSTR GetCommandLineW();
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argc);
HLOCAL LocalFree(HLOCAL memory);
LANGID GetUserDefaultUILanguage();

}  // namespace win
