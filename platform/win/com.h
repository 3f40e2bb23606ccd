// COM and WMI as the storage management queries use them: the automation types with their
// published x64 layouts, the five interfaces with the vtable order of the real ones, and the
// COM and OLE Automation calls. The desktop program is x64 only, where COM methods use the one
// platform calling convention, so no annotation is needed for the real objects to be called
// through these declarations.
#pragma once

#include <cstdint>

#include "platform/win/types.h"

namespace win {

using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using CIMTYPE = LONG;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using IID = GUID;
using CLSID = GUID;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

struct IUnknown;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        BYTE bVal;
        SHORT iVal;
        USHORT uiVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        SAFEARRAY* parray;
        IUnknown* punkVal;
        struct {
            void* pvRecord;
            void* pRecInfo;
        } brecord;
    };
};
static_assert(sizeof(void*) != 8 || sizeof(VARIANT) == 24, "VARIANT is 24 bytes on x64");
static_assert(sizeof(void*) != 8 || sizeof(SAFEARRAY) == 32, "SAFEARRAY with one bound is 32 bytes on x64");

struct IWbemContext;
struct IWbemCallResult;
struct IWbemObjectSink;
struct IWbemQualifierSet;
struct IEnumWbemClassObject;
struct IWbemClassObject;

struct IUnknown {
    virtual HRESULT QueryInterface(const IID& riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IWbemClassObject : IUnknown {
    virtual HRESULT GetQualifierSet(IWbemQualifierSet** qualifiers) = 0;
    virtual HRESULT Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type, LONG* flavor) = 0;
    virtual HRESULT Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) = 0;
    virtual HRESULT Delete(LPCWSTR name) = 0;
    virtual HRESULT GetNames(LPCWSTR qualifierName, LONG flags, VARIANT* qualifierValue,
                             SAFEARRAY** names) = 0;
    virtual HRESULT BeginEnumeration(LONG flags) = 0;
    virtual HRESULT Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type, LONG* flavor) = 0;
    virtual HRESULT EndEnumeration() = 0;
    virtual HRESULT GetPropertyQualifierSet(LPCWSTR property, IWbemQualifierSet** qualifiers) = 0;
    virtual HRESULT Clone(IWbemClassObject** copy) = 0;
    virtual HRESULT GetObjectText(LONG flags, BSTR* text) = 0;
    virtual HRESULT SpawnDerivedClass(LONG flags, IWbemClassObject** newClass) = 0;
    virtual HRESULT SpawnInstance(LONG flags, IWbemClassObject** newInstance) = 0;
    virtual HRESULT CompareTo(LONG flags, IWbemClassObject* compareTo) = 0;
    virtual HRESULT GetPropertyOrigin(LPCWSTR name, BSTR* className) = 0;
    virtual HRESULT InheritsFrom(LPCWSTR ancestor) = 0;
    virtual HRESULT GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** inSignature,
                              IWbemClassObject** outSignature) = 0;
    virtual HRESULT PutMethod(LPCWSTR name, LONG flags, IWbemClassObject* inSignature,
                              IWbemClassObject* outSignature) = 0;
    virtual HRESULT DeleteMethod(LPCWSTR name) = 0;
    virtual HRESULT BeginMethodEnumeration(LONG flags) = 0;
    virtual HRESULT NextMethod(LONG flags, BSTR* name, IWbemClassObject** inSignature,
                               IWbemClassObject** outSignature) = 0;
    virtual HRESULT EndMethodEnumeration() = 0;
    virtual HRESULT GetMethodQualifierSet(LPCWSTR method, IWbemQualifierSet** qualifiers) = 0;
    virtual HRESULT GetMethodOrigin(LPCWSTR methodName, BSTR* className) = 0;
};

struct IEnumWbemClassObject : IUnknown {
    virtual HRESULT Reset() = 0;
    virtual HRESULT Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) = 0;
    virtual HRESULT NextAsync(ULONG count, IWbemObjectSink* sink) = 0;
    virtual HRESULT Clone(IEnumWbemClassObject** copy) = 0;
    virtual HRESULT Skip(LONG timeout, ULONG count) = 0;
};

struct IWbemServices : IUnknown {
    virtual HRESULT OpenNamespace(BSTR ns, LONG flags, IWbemContext* ctx, IWbemServices** working,
                                  IWbemCallResult** result) = 0;
    virtual HRESULT CancelAsyncCall(IWbemObjectSink* sink) = 0;
    virtual HRESULT QueryObjectSink(LONG flags, IWbemObjectSink** sink) = 0;
    virtual HRESULT GetObject(BSTR path, LONG flags, IWbemContext* ctx, IWbemClassObject** object,
                              IWbemCallResult** result) = 0;
    virtual HRESULT GetObjectAsync(BSTR path, LONG flags, IWbemContext* ctx, IWbemObjectSink* sink) = 0;
    virtual HRESULT PutClass(IWbemClassObject* object, LONG flags, IWbemContext* ctx,
                             IWbemCallResult** result) = 0;
    virtual HRESULT PutClassAsync(IWbemClassObject* object, LONG flags, IWbemContext* ctx,
                                  IWbemObjectSink* sink) = 0;
    virtual HRESULT DeleteClass(BSTR className, LONG flags, IWbemContext* ctx,
                                IWbemCallResult** result) = 0;
    virtual HRESULT DeleteClassAsync(BSTR className, LONG flags, IWbemContext* ctx,
                                     IWbemObjectSink* sink) = 0;
    virtual HRESULT CreateClassEnum(BSTR superclass, LONG flags, IWbemContext* ctx,
                                    IEnumWbemClassObject** result) = 0;
    virtual HRESULT CreateClassEnumAsync(BSTR superclass, LONG flags, IWbemContext* ctx,
                                         IWbemObjectSink* sink) = 0;
    virtual HRESULT PutInstance(IWbemClassObject* instance, LONG flags, IWbemContext* ctx,
                                IWbemCallResult** result) = 0;
    virtual HRESULT PutInstanceAsync(IWbemClassObject* instance, LONG flags, IWbemContext* ctx,
                                     IWbemObjectSink* sink) = 0;
    virtual HRESULT DeleteInstance(BSTR path, LONG flags, IWbemContext* ctx,
                                   IWbemCallResult** result) = 0;
    virtual HRESULT DeleteInstanceAsync(BSTR path, LONG flags, IWbemContext* ctx,
                                        IWbemObjectSink* sink) = 0;
    virtual HRESULT CreateInstanceEnum(BSTR className, LONG flags, IWbemContext* ctx,
                                       IEnumWbemClassObject** result) = 0;
    virtual HRESULT CreateInstanceEnumAsync(BSTR className, LONG flags, IWbemContext* ctx,
                                            IWbemObjectSink* sink) = 0;
    virtual HRESULT ExecQuery(BSTR language, BSTR query, LONG flags, IWbemContext* ctx,
                              IEnumWbemClassObject** result) = 0;
    virtual HRESULT ExecQueryAsync(BSTR language, BSTR query, LONG flags, IWbemContext* ctx,
                                   IWbemObjectSink* sink) = 0;
    virtual HRESULT ExecNotificationQuery(BSTR language, BSTR query, LONG flags, IWbemContext* ctx,
                                          IEnumWbemClassObject** result) = 0;
    virtual HRESULT ExecNotificationQueryAsync(BSTR language, BSTR query, LONG flags,
                                               IWbemContext* ctx, IWbemObjectSink* sink) = 0;
    virtual HRESULT ExecMethod(BSTR path, BSTR method, LONG flags, IWbemContext* ctx,
                               IWbemClassObject* inParams, IWbemClassObject** outParams,
                               IWbemCallResult** result) = 0;
    virtual HRESULT ExecMethodAsync(BSTR path, BSTR method, LONG flags, IWbemContext* ctx,
                                    IWbemClassObject* inParams, IWbemObjectSink* sink) = 0;
};

struct IWbemLocator : IUnknown {
    virtual HRESULT ConnectServer(BSTR resource, BSTR user, BSTR password, BSTR locale,
                                  LONG securityFlags, BSTR authority, IWbemContext* ctx,
                                  IWbemServices** services) = 0;
};

// COM.
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid,
                         void** object);
HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                          OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                          void* authInfo, DWORD capabilities);

// OLE Automation.
BSTR SysAllocString(const OLECHAR* text);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
void VariantInit(VARIANT* value);
HRESULT VariantClear(VARIANT* value);
UINT SafeArrayGetDim(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element);

}  // namespace win
