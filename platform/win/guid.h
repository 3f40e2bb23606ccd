// GUID text conversions of COM.
#pragma once

#include "platform/win/types.h"

namespace win {

// Writes the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its terminator;
// returns the characters written including the terminator, or 0 when `size` is too small.
int StringFromGUID2(const GUID& guid, LPWSTR text, int size);
HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid);

}  // namespace win
