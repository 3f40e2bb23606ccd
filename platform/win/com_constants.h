// Values of the COM, OLE Automation and WMI calls, with their published numbers.
// The real forwarders never include this file (the platform headers define these names).
#pragma once

#include "platform/win/com.h"

namespace win {

constexpr HRESULT Hr(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

// General results.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = Hr(0x80004001u);
constexpr HRESULT E_NOINTERFACE = Hr(0x80004002u);
constexpr HRESULT E_POINTER = Hr(0x80004003u);
constexpr HRESULT E_FAIL = Hr(0x80004005u);
constexpr HRESULT E_ACCESSDENIED = Hr(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = Hr(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = Hr(0x80070057u);
constexpr HRESULT HRESULT_ERROR_TIMEOUT = Hr(0x800705B4u);
constexpr HRESULT RPC_E_CHANGED_MODE = Hr(0x80010106u);
constexpr HRESULT CO_E_NOTINITIALIZED = Hr(0x800401F0u);
constexpr HRESULT REGDB_E_CLASSNOTREG = Hr(0x80040154u);
constexpr HRESULT DISP_E_BADINDEX = Hr(0x8002000Bu);
constexpr HRESULT DISP_E_BADVARTYPE = Hr(0x80020008u);

// WMI results.
constexpr HRESULT WBEM_S_NO_ERROR = 0;
constexpr HRESULT WBEM_S_FALSE = 1;
constexpr HRESULT WBEM_S_TIMEDOUT = 0x00040004;
constexpr HRESULT WBEM_E_FAILED = Hr(0x80041001u);
constexpr HRESULT WBEM_E_NOT_FOUND = Hr(0x80041002u);
constexpr HRESULT WBEM_E_ACCESS_DENIED = Hr(0x80041003u);
constexpr HRESULT WBEM_E_TYPE_MISMATCH = Hr(0x80041005u);
constexpr HRESULT WBEM_E_INVALID_PARAMETER = Hr(0x80041008u);
constexpr HRESULT WBEM_E_NOT_SUPPORTED = Hr(0x8004100Cu);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = Hr(0x8004100Eu);
constexpr HRESULT WBEM_E_INVALID_CLASS = Hr(0x80041010u);
constexpr HRESULT WBEM_E_INVALID_QUERY = Hr(0x80041017u);
constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = Hr(0x80041018u);
constexpr HRESULT WBEM_E_INVALID_METHOD = Hr(0x8004102Eu);
constexpr HRESULT WBEM_E_INVALID_METHOD_PARAMETERS = Hr(0x8004102Fu);
constexpr HRESULT WBEM_E_INVALID_OBJECT_PATH = Hr(0x8004103Au);

// CoInitializeEx, CoCreateInstance.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

// CoSetProxyBlanket.
constexpr DWORD RPC_C_AUTHN_WINNT = 10;
constexpr DWORD RPC_C_AUTHZ_NONE = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_PKT_PRIVACY = 6;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD EOAC_NONE = 0;

// WMI flags.
constexpr LONG WBEM_FLAG_CONNECT_USE_MAX_WAIT = 0x80;
constexpr LONG WBEM_FLAG_RETURN_IMMEDIATELY = 0x10;
constexpr LONG WBEM_FLAG_FORWARD_ONLY = 0x20;

// VARIANT types.
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_ARRAY = 0x2000;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Class and interface identifiers.
inline constexpr CLSID CLSID_WbemLocator{0x4590F811, 0x1D3A, 0x11D0,
                                         {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
inline constexpr IID IID_IWbemLocator{0xDC12A687, 0x737F, 0x11CF,
                                      {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000,
                                  {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IWbemServices{0x9556DC99, 0x828C, 0x11CF,
                                       {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
inline constexpr IID IID_IEnumWbemClassObject{0x027947E1, 0xD731, 0x11CE,
                                              {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
inline constexpr IID IID_IWbemClassObject{0xDC12A681, 0x737F, 0x11CF,
                                          {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

}  // namespace win
