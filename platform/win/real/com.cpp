#include "platform/win/real/prelude.h"

#include <objbase.h>
#include <oleauto.h>

// windows.h maps GetObject to GetObjectW; our interface keeps the method's own name.
#undef GetObject

#include "platform/win/com.h"

namespace win {

static_assert(sizeof(::VARIANT) == sizeof(VARIANT));
static_assert(sizeof(::SAFEARRAY) == sizeof(SAFEARRAY));
static_assert(sizeof(::GUID) == sizeof(GUID));

namespace {
const ::GUID& G(const GUID& g) { return reinterpret_cast<const ::GUID&>(g); }
::VARIANT* V(VARIANT* v) { return reinterpret_cast<::VARIANT*>(v); }
::SAFEARRAY* A(SAFEARRAY* a) { return reinterpret_cast<::SAFEARRAY*>(a); }
::BSTR B(BSTR b) { return reinterpret_cast<::BSTR>(b); }
}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD coInit) { return ::CoInitializeEx(reserved, coInit); }
void CoUninitialize() { ::CoUninitialize(); }

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid,
                         void** object) {
    return ::CoCreateInstance(G(clsid), reinterpret_cast<::IUnknown*>(outer), context, G(iid), object);
}

HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                          OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                          void* authInfo, DWORD capabilities) {
    return ::CoSetProxyBlanket(reinterpret_cast<::IUnknown*>(proxy), authnService, authzService,
                               reinterpret_cast<wchar_t*>(serverPrincipalName), authnLevel, impLevel,
                               authInfo, capabilities);
}

BSTR SysAllocString(const OLECHAR* text) {
    return reinterpret_cast<BSTR>(::SysAllocString(reinterpret_cast<const wchar_t*>(text)));
}
void SysFreeString(BSTR text) { ::SysFreeString(B(text)); }
UINT SysStringLen(BSTR text) { return ::SysStringLen(B(text)); }
void VariantInit(VARIANT* value) { ::VariantInit(V(value)); }
HRESULT VariantClear(VARIANT* value) { return ::VariantClear(V(value)); }
UINT SafeArrayGetDim(SAFEARRAY* array) { return ::SafeArrayGetDim(A(array)); }
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    return ::SafeArrayGetLBound(A(array), dim, reinterpret_cast<::LONG*>(bound));
}
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    return ::SafeArrayGetUBound(A(array), dim, reinterpret_cast<::LONG*>(bound));
}
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element) {
    return ::SafeArrayGetElement(A(array), reinterpret_cast<::LONG*>(indices), element);
}

}  // namespace win
