// Resources embedded in the program's own module.
#pragma once

#include "platform/win/types.h"

namespace win {

HMODULE GetModuleHandleW(LPCWSTR name);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);

}  // namespace win
