#include "platform/win/real/prelude.h"

#include "platform/win/files.h"

namespace win {

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    return ::CreateFileW(W(path), access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                         disposition, flags, templateFile);
}
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, DWORD* written, void* overlapped) {
    return ::WriteFile(file, buffer, size, reinterpret_cast<LPDWORD>(written),
                       static_cast<LPOVERLAPPED>(overlapped));
}
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, DWORD* read, void* overlapped) {
    return ::ReadFile(file, buffer, size, reinterpret_cast<LPDWORD>(read),
                      static_cast<LPOVERLAPPED>(overlapped));
}
BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }
BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }
BOOL DeleteFileW(LPCWSTR path) { return ::DeleteFileW(W(path)); }
UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) {
    return ::GetSystemWindowsDirectoryW(W(buffer), size);
}

}  // namespace win
