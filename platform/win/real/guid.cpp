#include "platform/win/real/prelude.h"

#include <objbase.h>

#include "platform/win/guid.h"

namespace win {

int StringFromGUID2(const GUID& guid, LPWSTR text, int size) {
    return ::StringFromGUID2(reinterpret_cast<const ::GUID&>(guid), W(text), size);
}

HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid) {
    return ::CLSIDFromString(W(text), reinterpret_cast<::CLSID*>(clsid));
}

}  // namespace win
