#include "sim/wmi/objects.h"

#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace sim {

namespace {

const char* KindName(WmiObject::Kind kind) {
    switch (kind) {
        case WmiObject::Kind::Instance: return "IWbemClassObject(instance)";
        case WmiObject::Kind::Class: return "IWbemClassObject(class)";
        case WmiObject::Kind::Signature: return "IWbemClassObject(signature)";
        case WmiObject::Kind::Parameters: return "IWbemClassObject(parameters)";
    }
    return "IWbemClassObject";
}

win::HRESULT Injected(Machine& machine, const std::string& call) {
    if (auto f = machine.faults.Hit(call)) return static_cast<win::HRESULT>(f->code);
    return win::S_OK;
}

}  // namespace

WmiObject::WmiObject(Machine& machine, Kind kind, WmiInstance data, const WmiClassDef* cls)
    : ComObject(machine.com, win::IID_IWbemClassObject, KindName(kind)),
      machine_(machine),
      kind_(kind),
      data_(std::move(data)),
      cls_(cls) {}

win::HRESULT WmiObject::Get(win::LPCWSTR name, win::LONG flags, win::VARIANT* value, win::CIMTYPE* type,
                            win::LONG* flavor) {
    if (name == nullptr) return win::WBEM_E_INVALID_PARAMETER;
    std::u16string n(name);
    if (win::HRESULT hr = Injected(machine_, "IWbemClassObject::Get(" + ToUtf8(n) + ")"); hr != win::S_OK) return hr;
    if (win::HRESULT hr = Injected(machine_, "IWbemClassObject::Get"); hr != win::S_OK) return hr;
    if (flags != 0) return win::WBEM_E_INVALID_PARAMETER;
    WmiValue found;
    if (EqualsNoCase(n, u"__PATH")) {
        found = data_.path.empty() ? WmiValue() : WmiValue(data_.path);
    } else if (EqualsNoCase(n, u"__CLASS")) {
        found = WmiValue(data_.className);
    } else if (const WmiValue* v = data_.Find(n)) {
        found = *v;
    } else {
        return win::WBEM_E_NOT_FOUND;
    }
    if (type != nullptr) *type = 0;
    if (flavor != nullptr) *flavor = 0;
    if (value != nullptr) ToVariant(found, value);
    return win::S_OK;
}

win::HRESULT WmiObject::Put(win::LPCWSTR name, win::LONG flags, win::VARIANT* value, win::CIMTYPE type) {
    if (name == nullptr) return win::WBEM_E_INVALID_PARAMETER;
    if (win::HRESULT hr = Injected(machine_, "IWbemClassObject::Put"); hr != win::S_OK) return hr;
    if (kind_ == Kind::Class || kind_ == Kind::Signature) return win::WBEM_E_NOT_SUPPORTED;
    // On an instance the type comes from the class, so it must be left 0.
    if (flags != 0 || type != 0) return win::WBEM_E_INVALID_PARAMETER;
    WmiValue* slot = data_.Find(name);
    if (slot == nullptr) return win::WBEM_E_NOT_FOUND;
    WmiValue copy;
    if (value == nullptr) {
        copy = WmiValue();
    } else if (!FromVariant(*value, copy)) {
        return win::WBEM_E_TYPE_MISMATCH;
    }
    *slot = std::move(copy);
    return win::S_OK;
}

win::HRESULT WmiObject::SpawnInstance(win::LONG flags, win::IWbemClassObject** instance) {
    if (instance == nullptr) return win::WBEM_E_INVALID_PARAMETER;
    *instance = nullptr;
    if (win::HRESULT hr = Injected(machine_, "IWbemClassObject::SpawnInstance"); hr != win::S_OK) return hr;
    if (flags != 0) return win::WBEM_E_INVALID_PARAMETER;
    if (kind_ != Kind::Signature) return win::WBEM_E_NOT_SUPPORTED;
    *instance = new WmiObject(machine_, Kind::Parameters, data_, cls_);
    return win::S_OK;
}

win::HRESULT WmiObject::GetMethod(win::LPCWSTR name, win::LONG flags, win::IWbemClassObject** in,
                                  win::IWbemClassObject** out) {
    if (in != nullptr) *in = nullptr;
    if (out != nullptr) *out = nullptr;
    if (name == nullptr) return win::WBEM_E_INVALID_PARAMETER;
    if (win::HRESULT hr = Injected(machine_, "IWbemClassObject::GetMethod"); hr != win::S_OK) return hr;
    if (flags != 0) return win::WBEM_E_INVALID_PARAMETER;
    if (kind_ != Kind::Class || cls_ == nullptr) return win::WBEM_E_NOT_SUPPORTED;
    const WmiMethodDef* method = cls_->FindMethod(name);
    if (method == nullptr) return win::WBEM_E_NOT_FOUND;
    // A method without input parameters has no input signature.
    if (in != nullptr && !method->inParams.empty()) {
        WmiInstance signature;
        signature.className = u"__PARAMETERS";
        for (const auto& p : method->inParams) signature.Set(p, WmiValue());
        *in = new WmiObject(machine_, Kind::Signature, std::move(signature), cls_);
    }
    if (out != nullptr) {
        WmiInstance signature;
        signature.className = u"__PARAMETERS";
        signature.Set(u"ReturnValue", WmiValue());
        *out = new WmiObject(machine_, Kind::Signature, std::move(signature), cls_);
    }
    return win::S_OK;
}

}  // namespace sim
