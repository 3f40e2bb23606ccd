// Console and standard-output calls.
#pragma once

#include "platform/win/types.h"

namespace win {

HANDLE GetStdHandle(DWORD which);
DWORD GetFileType(HANDLE file);
BOOL AttachConsole(DWORD processId);
BOOL GetConsoleMode(HANDLE console, DWORD* mode);
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD length, DWORD* written, void* reserved);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multi,
                        int multiLength, LPCSTR defaultChar, BOOL* usedDefaultChar);

}  // namespace win
