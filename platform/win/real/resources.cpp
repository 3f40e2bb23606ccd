#include "platform/win/real/prelude.h"

#include "platform/win/resources.h"

namespace win {

HMODULE GetModuleHandleW(LPCWSTR name) { return ::GetModuleHandleW(W(name)); }
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    return ::FindResourceW(static_cast<::HMODULE>(module), W(name), W(type));
}
DWORD SizeofResource(HMODULE module, HRSRC resource) {
    return ::SizeofResource(static_cast<::HMODULE>(module), static_cast<::HRSRC>(resource));
}
HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    return ::LoadResource(static_cast<::HMODULE>(module), static_cast<::HRSRC>(resource));
}
LPVOID LockResource(HGLOBAL data) { return ::LockResource(data); }

}  // namespace win
