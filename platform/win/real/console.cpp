#include "platform/win/real/prelude.h"

#include "platform/win/console.h"

namespace win {

HANDLE GetStdHandle(DWORD which) { return ::GetStdHandle(which); }
DWORD GetFileType(HANDLE file) { return ::GetFileType(file); }
BOOL AttachConsole(DWORD processId) { return ::AttachConsole(processId); }
BOOL GetConsoleMode(HANDLE console, DWORD* mode) {
    return ::GetConsoleMode(console, reinterpret_cast<LPDWORD>(mode));
}
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD length, DWORD* written, void* reserved) {
    return ::WriteConsoleW(console, buffer, length, reinterpret_cast<LPDWORD>(written), reserved);
}
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multi,
                        int multiLength, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    return ::WideCharToMultiByte(codePage, flags, W(wide), wideLength, multi, multiLength,
                                 defaultChar, reinterpret_cast<LPBOOL>(usedDefaultChar));
}

}  // namespace win
