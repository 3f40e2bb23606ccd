// The simulated IWbemClassObject: an instance, a class definition, a method's input
// signature or a parameters object.
#pragma once

#include <string>

#include "sim/wmi/com_object.h"
#include "sim/wmi/providers.h"
#include "sim/wmi/value.h"

namespace sim {

class Machine;

class WmiObject : public ComObject<win::IWbemClassObject> {
public:
    enum class Kind { Instance, Class, Signature, Parameters };

    WmiObject(Machine& machine, Kind kind, WmiInstance data, const WmiClassDef* cls = nullptr);

    Kind kind() const { return kind_; }
    const WmiInstance& data() const { return data_; }

    win::HRESULT GetQualifierSet(win::IWbemQualifierSet**) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT Get(win::LPCWSTR name, win::LONG flags, win::VARIANT* value, win::CIMTYPE* type,
                     win::LONG* flavor) override;
    win::HRESULT Put(win::LPCWSTR name, win::LONG flags, win::VARIANT* value, win::CIMTYPE type) override;
    win::HRESULT Delete(win::LPCWSTR) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT GetNames(win::LPCWSTR, win::LONG, win::VARIANT*, win::SAFEARRAY**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT BeginEnumeration(win::LONG) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT Next(win::LONG, win::BSTR*, win::VARIANT*, win::CIMTYPE*, win::LONG*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT EndEnumeration() override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT GetPropertyQualifierSet(win::LPCWSTR, win::IWbemQualifierSet**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT Clone(win::IWbemClassObject**) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT GetObjectText(win::LONG, win::BSTR*) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT SpawnDerivedClass(win::LONG, win::IWbemClassObject**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT SpawnInstance(win::LONG flags, win::IWbemClassObject** instance) override;
    win::HRESULT CompareTo(win::LONG, win::IWbemClassObject*) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT GetPropertyOrigin(win::LPCWSTR, win::BSTR*) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT InheritsFrom(win::LPCWSTR) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT GetMethod(win::LPCWSTR name, win::LONG flags, win::IWbemClassObject** in,
                           win::IWbemClassObject** out) override;
    win::HRESULT PutMethod(win::LPCWSTR, win::LONG, win::IWbemClassObject*, win::IWbemClassObject*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT DeleteMethod(win::LPCWSTR) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT BeginMethodEnumeration(win::LONG) override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT NextMethod(win::LONG, win::BSTR*, win::IWbemClassObject**, win::IWbemClassObject**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT EndMethodEnumeration() override { return win::WBEM_E_NOT_SUPPORTED; }
    win::HRESULT GetMethodQualifierSet(win::LPCWSTR, win::IWbemQualifierSet**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    win::HRESULT GetMethodOrigin(win::LPCWSTR, win::BSTR*) override { return win::WBEM_E_NOT_SUPPORTED; }

private:
    Machine& machine_;
    Kind kind_;
    WmiInstance data_;
    const WmiClassDef* cls_;
};

}  // namespace sim
