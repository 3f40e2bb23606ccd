#include "platform/win/real/prelude.h"

#include "platform/win/registry.h"

namespace win {

namespace {
::HKEY K(HKEY key) { return reinterpret_cast<::HKEY>(key); }
}  // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, HKEY* result) {
    return ::RegOpenKeyExW(K(key), W(subKey), options, desired, reinterpret_cast<::HKEY*>(result));
}
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize) {
    return ::RegQueryValueExW(K(key), W(valueName), reinterpret_cast<LPDWORD>(reserved),
                              reinterpret_cast<LPDWORD>(type), data, reinterpret_cast<LPDWORD>(dataSize));
}
LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, DWORD* type,
                     void* data, DWORD* dataSize) {
    return ::RegGetValueW(K(key), W(subKey), W(valueName), flags, reinterpret_cast<LPDWORD>(type), data,
                          reinterpret_cast<LPDWORD>(dataSize));
}
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    return ::RegSetValueExW(K(key), W(valueName), reserved, type, data, dataSize);
}
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) { return ::RegDeleteValueW(K(key), W(valueName)); }
LSTATUS RegFlushKey(HKEY key) { return ::RegFlushKey(K(key)); }
LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(K(key)); }

}  // namespace win
