// COM and OLE Automation calls of the simulated PC.
#include "sim/wmi/com_runtime.h"

#include <cstring>
#include <new>

#include "platform/win/com.h"
#include "platform/win/com_constants.h"
#include "sim/wmi/com_object.h"
#include "sim/core/machine.h"
#include "sim/wmi/service.h"

namespace sim {

namespace {

ComState& Com() { return Current().com; }

}  // namespace

void DestroyBstrArray(win::SAFEARRAY* array) {
    auto* data = static_cast<win::BSTR*>(array->pvData);
    std::size_t count = array->rgsabound[array->cDims - 1].cElements;
    for (std::size_t i = 0; i < count; ++i)
        if (data[i] != nullptr) win::SysFreeString(data[i]);
    delete[] data;
    Com().liveArrays.erase(array);
    ::operator delete(array);
}

bool HasBlanket(const ComIdentity& object) { return object.blanketSet; }

win::BSTR AllocBstr(std::u16string_view text) {
    auto* block = new char16_t[kBstrPrefixUnits + text.size() + 1];
    std::uint32_t bytes = static_cast<std::uint32_t>(text.size() * 2);
    std::memcpy(block, &bytes, sizeof bytes);
    std::memcpy(block + kBstrPrefixUnits, text.data(), text.size() * 2);
    block[kBstrPrefixUnits + text.size()] = 0;
    Com().liveBstrs.insert(block);
    return block + kBstrPrefixUnits;
}

win::SAFEARRAY* CreateBstrArray(const std::vector<std::optional<std::u16string>>& items,
                                win::LONG lowerBound, win::USHORT dims) {
    if (dims == 0) dims = 1;
    std::size_t size = sizeof(win::SAFEARRAY) + (dims - 1) * sizeof(win::SAFEARRAYBOUND);
    auto* array = static_cast<win::SAFEARRAY*>(::operator new(size));
    std::memset(array, 0, size);
    array->cDims = dims;
    array->cbElements = sizeof(win::BSTR);
    // The bounds are stored last dimension first: rgsabound[cDims - 1] is dimension 1.
    for (win::USHORT d = 0; d < dims; ++d) array->rgsabound[d] = {1, lowerBound};
    array->rgsabound[dims - 1].cElements = static_cast<win::ULONG>(items.size());
    auto* data = new win::BSTR[items.size() + 1]();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i]) data[i] = AllocBstr(*items[i]);
    array->pvData = data;
    Com().liveArrays.insert(array);
    return array;
}

}  // namespace sim

namespace win {

HRESULT CoInitializeEx(void* reserved, DWORD coInit) {
    auto& machine = sim::Current();
    if (auto f = machine.faults.Hit("CoInitializeEx")) return static_cast<HRESULT>(f->code);
    if (reserved != nullptr) return E_INVALIDARG;
    bool multithreaded = (coInit & COINIT_APARTMENTTHREADED) == 0;
    auto& apartment = machine.com.apartments[std::this_thread::get_id()];
    if (apartment.depth > 0 && apartment.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
    apartment.multithreaded = multithreaded;
    apartment.depth++;
    machine.com.initializeCalls++;
    return apartment.depth == 1 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    auto& com = sim::Current().com;
    auto it = com.apartments.find(std::this_thread::get_id());
    if (it == com.apartments.end() || it->second.depth == 0) {
        com.unbalancedUninitialize++;
        return;
    }
    it->second.depth--;
    com.uninitializeCalls++;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid,
                         void** object) {
    auto& machine = sim::Current();
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (auto f = machine.faults.Hit("CoCreateInstance")) return static_cast<HRESULT>(f->code);
    if (machine.com.Depth() == 0) return CO_E_NOTINITIALIZED;
    if (!(clsid == CLSID_WbemLocator)) return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return Hr(0x80040110u);  // CLASS_E_NOAGGREGATION
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    IUnknown* locator = sim::CreateWbemLocator(machine);
    HRESULT hr = locator->QueryInterface(iid, object);
    locator->Release();
    return hr;
}

HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                          OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                          void* authInfo, DWORD capabilities) {
    auto& machine = sim::Current();
    if (auto f = machine.faults.Hit("CoSetProxyBlanket")) return static_cast<HRESULT>(f->code);
    auto* identity = dynamic_cast<sim::ComIdentity*>(proxy);
    if (identity == nullptr) return E_NOINTERFACE;
    // The providers accept only this program's blanket; anything weaker leaves the proxy
    // unable to make calls, as an unauthenticated WMI proxy is.
    identity->blanketSet = authnService == RPC_C_AUTHN_WINNT && authzService == RPC_C_AUTHZ_NONE &&
                           serverPrincipalName == nullptr &&
                           authnLevel == RPC_C_AUTHN_LEVEL_PKT_PRIVACY &&
                           impLevel == RPC_C_IMP_LEVEL_IMPERSONATE && authInfo == nullptr &&
                           capabilities == EOAC_NONE;
    return S_OK;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    if (sim::Current().faults.Hit("SysAllocString")) return nullptr;
    return sim::AllocBstr(std::u16string_view(text));
}

void SysFreeString(BSTR text) {
    if (text == nullptr) return;
    auto& com = sim::Current().com;
    const void* block = text - sim::kBstrPrefixUnits;
    if (com.liveBstrs.erase(block) == 0) {
        com.badFrees++;
        return;
    }
    delete[] static_cast<const char16_t*>(block);
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, text - sim::kBstrPrefixUnits, sizeof bytes);
    return bytes / 2;
}

void VariantInit(VARIANT* value) {
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value) {
    if (value == nullptr) return E_INVALIDARG;
    switch (value->vt) {
        case VT_BSTR: SysFreeString(value->bstrVal); break;
        case VT_UNKNOWN:
            if (value->punkVal != nullptr) value->punkVal->Release();
            break;
        case VT_ARRAY | VT_BSTR:
            if (value->parray != nullptr) sim::DestroyBstrArray(value->parray);
            break;
        default: break;
    }
    VariantInit(value);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }

namespace {
HRESULT Bound(SAFEARRAY* array, UINT dim, LONG* bound, bool upper, const char* call) {
    if (auto f = sim::Current().faults.Hit(call)) return static_cast<HRESULT>(f->code);
    if (array == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->rgsabound[array->cDims - dim];
    *bound = upper ? static_cast<LONG>(b.lLbound + static_cast<LONG>(b.cElements) - 1) : b.lLbound;
    return S_OK;
}
}  // namespace

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    return Bound(array, dim, bound, false, "SafeArrayGetLBound");
}
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    return Bound(array, dim, bound, true, "SafeArrayGetUBound");
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element) {
    if (auto f = sim::Current().faults.Hit("SafeArrayGetElement")) return static_cast<HRESULT>(f->code);
    if (array == nullptr || indices == nullptr || element == nullptr) return E_INVALIDARG;
    // The arrays the providers build are addressed in one dimension only.
    if (array->cDims != 1) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->rgsabound[0];
    std::int64_t offset = static_cast<std::int64_t>(indices[0]) - b.lLbound;
    if (offset < 0 || offset >= static_cast<std::int64_t>(b.cElements)) return DISP_E_BADINDEX;
    BSTR source = static_cast<BSTR*>(array->pvData)[offset];
    *static_cast<BSTR*>(element) =
        source == nullptr ? nullptr : sim::AllocBstr(std::u16string_view(source, SysStringLen(source)));
    return S_OK;
}

}  // namespace win
