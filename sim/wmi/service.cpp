#include "sim/wmi/service.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sim/wmi/com_object.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"
#include "sim/wmi/objects.h"
#include "sim/wmi/providers.h"
#include "sim/wmi/query.h"

namespace sim {

namespace {

using win::HRESULT;
using win::LONG;
using win::ULONG;

HRESULT Injected(Machine& machine, const std::string& call) {
    if (auto f = machine.faults.Hit(call)) return static_cast<HRESULT>(f->code);
    return win::S_OK;
}

std::u16string Text(win::BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b, win::SysStringLen(b)); }

// A proxy refuses calls from a thread without COM, or before its blanket is set.
HRESULT CheckProxy(Machine& machine, const ComIdentity& proxy) {
    if (machine.com.Depth() == 0) return win::CO_E_NOTINITIALIZED;
    if (!HasBlanket(proxy)) return win::E_ACCESSDENIED;
    return win::S_OK;
}

class Enumerator : public ComObject<win::IEnumWbemClassObject> {
public:
    Enumerator(Machine& m, std::vector<WmiInstance> items)
        : ComObject(m.com, win::IID_IEnumWbemClassObject, "IEnumWbemClassObject"), machine_(m),
          items_(std::move(items)) {}

    HRESULT Reset() override { return win::WBEM_E_NOT_SUPPORTED; }  // forward-only
    HRESULT Next(LONG, ULONG count, win::IWbemClassObject** objects, ULONG* returned) override {
        if (objects == nullptr || returned == nullptr) return win::WBEM_E_INVALID_PARAMETER;
        *returned = 0;
        if (HRESULT hr = Injected(machine_, "IEnumWbemClassObject::Next"); hr != win::S_OK) return hr;
        if (HRESULT hr = CheckProxy(machine_, *this); hr != win::S_OK) return hr;
        while (*returned < count && next_ < items_.size()) {
            objects[*returned] = new WmiObject(machine_, WmiObject::Kind::Instance, items_[next_++]);
            ++*returned;
        }
        return *returned == count ? win::WBEM_S_NO_ERROR : win::WBEM_S_FALSE;
    }
    HRESULT NextAsync(ULONG, win::IWbemObjectSink*) override { return win::WBEM_E_NOT_SUPPORTED; }
    HRESULT Clone(win::IEnumWbemClassObject**) override { return win::WBEM_E_NOT_SUPPORTED; }
    HRESULT Skip(LONG, ULONG) override { return win::WBEM_E_NOT_SUPPORTED; }

private:
    Machine& machine_;
    std::vector<WmiInstance> items_;
    std::size_t next_ = 0;
};

class Services : public ComObject<win::IWbemServices> {
public:
    Services(Machine& m, std::u16string ns)
        : ComObject(m.com, win::IID_IWbemServices, "IWbemServices"), machine_(m), ns_(std::move(ns)) {}

    HRESULT ExecQuery(win::BSTR language, win::BSTR query, LONG, win::IWbemContext*,
                      win::IEnumWbemClassObject** result) override {
        if (result == nullptr) return win::WBEM_E_INVALID_PARAMETER;
        *result = nullptr;
        if (HRESULT hr = Injected(machine_, "IWbemServices::ExecQuery"); hr != win::S_OK) return hr;
        if (HRESULT hr = CheckProxy(machine_, *this); hr != win::S_OK) return hr;
        if (!EqualsNoCase(Text(language), u"WQL")) return win::WBEM_E_INVALID_QUERY_TYPE;
        auto parsed = ParseWql(Text(query));
        if (!parsed) return win::WBEM_E_INVALID_QUERY;
        const WmiClassDef* cls = FindClass(ns_, parsed->className);
        if (cls == nullptr) return win::WBEM_E_INVALID_CLASS;
        std::vector<WmiInstance> matched;
        for (auto& instance : Instances(machine_, ns_, *cls)) {
            auto m = Matches(parsed->where.get(), instance);
            if (!m) return win::WBEM_E_INVALID_QUERY;
            if (*m) matched.push_back(std::move(instance));
        }
        machine_.wmi.queries.push_back(Text(query));
        *result = new Enumerator(machine_, std::move(matched));
        return win::S_OK;
    }

    HRESULT GetObject(win::BSTR path, LONG flags, win::IWbemContext*, win::IWbemClassObject** object,
                      win::IWbemCallResult** callResult) override {
        if (object == nullptr || callResult != nullptr || flags != 0) return win::WBEM_E_INVALID_PARAMETER;
        *object = nullptr;
        if (HRESULT hr = Injected(machine_, "IWbemServices::GetObject"); hr != win::S_OK) return hr;
        if (HRESULT hr = CheckProxy(machine_, *this); hr != win::S_OK) return hr;
        // Only class definitions are fetched by name.
        const WmiClassDef* cls = FindClass(ns_, Text(path));
        if (cls == nullptr) return win::WBEM_E_NOT_FOUND;
        WmiInstance def;
        def.className = cls->name;
        *object = new WmiObject(machine_, WmiObject::Kind::Class, std::move(def), cls);
        return win::S_OK;
    }

    HRESULT ExecMethod(win::BSTR path, win::BSTR method, LONG flags, win::IWbemContext*,
                       win::IWbemClassObject* inParams, win::IWbemClassObject** outParams,
                       win::IWbemCallResult** callResult) override {
        if (outParams != nullptr) *outParams = nullptr;
        if (callResult != nullptr || flags != 0) return win::WBEM_E_INVALID_PARAMETER;
        std::u16string methodName = Text(method);
        if (HRESULT hr = Injected(machine_, "IWbemServices::ExecMethod"); hr != win::S_OK) return hr;
        if (HRESULT hr = Injected(machine_, "IWbemServices::ExecMethod(" + ToUtf8(methodName) + ")");
            hr != win::S_OK)
            return hr;
        if (HRESULT hr = CheckProxy(machine_, *this); hr != win::S_OK) return hr;

        // The instance is the one whose __PATH is exactly this path.
        std::u16string target = Text(path);
        auto colon = target.find(u':');
        auto dot = target.find(u'.', colon == std::u16string::npos ? 0 : colon);
        if (colon == std::u16string::npos || dot == std::u16string::npos) return win::WBEM_E_INVALID_OBJECT_PATH;
        const WmiClassDef* cls = FindClass(ns_, std::u16string_view(target).substr(colon + 1, dot - colon - 1));
        if (cls == nullptr) return win::WBEM_E_INVALID_CLASS;
        const WmiMethodDef* def = cls->FindMethod(methodName);
        if (def == nullptr) return win::WBEM_E_INVALID_METHOD;
        std::vector<WmiInstance> all = Instances(machine_, ns_, *cls);
        const WmiInstance* instance = nullptr;
        for (const auto& i : all)
            if (EqualsNoCase(i.path, target)) instance = &i;
        if (instance == nullptr) return win::WBEM_E_NOT_FOUND;

        const WmiInstance* in = nullptr;
        if (inParams != nullptr) {
            auto* object = dynamic_cast<WmiObject*>(inParams);
            if (object == nullptr || object->kind() != WmiObject::Kind::Parameters)
                return win::WBEM_E_INVALID_PARAMETER;
            // The parameters must be those of this method's signature.
            for (const auto& p : object->data().properties) {
                auto declared = std::find_if(def->inParams.begin(), def->inParams.end(),
                                             [&](const std::u16string& n) { return EqualsNoCase(n, p.first); });
                if (declared == def->inParams.end()) return win::WBEM_E_INVALID_METHOD_PARAMETERS;
            }
            in = &object->data();
        }
        WmiCallResult r = Invoke(machine_, *cls, *instance, *def, in);
        if (r.hr < 0) return r.hr;
        if (outParams != nullptr) *outParams = new WmiObject(machine_, WmiObject::Kind::Parameters, std::move(r.out));
        return win::S_OK;
    }

    // Not used by the program.
    HRESULT OpenNamespace(win::BSTR, LONG, win::IWbemContext*, win::IWbemServices**, win::IWbemCallResult**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT CancelAsyncCall(win::IWbemObjectSink*) override { return win::WBEM_E_NOT_SUPPORTED; }
    HRESULT QueryObjectSink(LONG, win::IWbemObjectSink**) override { return win::WBEM_E_NOT_SUPPORTED; }
    HRESULT GetObjectAsync(win::BSTR, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT PutClass(win::IWbemClassObject*, LONG, win::IWbemContext*, win::IWbemCallResult**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT PutClassAsync(win::IWbemClassObject*, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT DeleteClass(win::BSTR, LONG, win::IWbemContext*, win::IWbemCallResult**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT DeleteClassAsync(win::BSTR, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT CreateClassEnum(win::BSTR, LONG, win::IWbemContext*, win::IEnumWbemClassObject**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT CreateClassEnumAsync(win::BSTR, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT PutInstance(win::IWbemClassObject*, LONG, win::IWbemContext*, win::IWbemCallResult**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT PutInstanceAsync(win::IWbemClassObject*, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT DeleteInstance(win::BSTR, LONG, win::IWbemContext*, win::IWbemCallResult**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT DeleteInstanceAsync(win::BSTR, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT CreateInstanceEnum(win::BSTR, LONG, win::IWbemContext*, win::IEnumWbemClassObject**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT CreateInstanceEnumAsync(win::BSTR, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT ExecQueryAsync(win::BSTR, win::BSTR, LONG, win::IWbemContext*, win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT ExecNotificationQuery(win::BSTR, win::BSTR, LONG, win::IWbemContext*,
                                  win::IEnumWbemClassObject**) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT ExecNotificationQueryAsync(win::BSTR, win::BSTR, LONG, win::IWbemContext*,
                                       win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }
    HRESULT ExecMethodAsync(win::BSTR, win::BSTR, LONG, win::IWbemContext*, win::IWbemClassObject*,
                            win::IWbemObjectSink*) override {
        return win::WBEM_E_NOT_SUPPORTED;
    }

private:
    Machine& machine_;
    std::u16string ns_;
};

class Locator : public ComObject<win::IWbemLocator> {
public:
    explicit Locator(Machine& m) : ComObject(m.com, win::IID_IWbemLocator, "IWbemLocator"), machine_(m) {}

    HRESULT ConnectServer(win::BSTR resource, win::BSTR user, win::BSTR password, win::BSTR, LONG,
                          win::BSTR authority, win::IWbemContext*, win::IWbemServices** services) override {
        if (services == nullptr || resource == nullptr) return win::WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        if (HRESULT hr = Injected(machine_, "IWbemLocator::ConnectServer"); hr != win::S_OK) return hr;
        if (machine_.com.Depth() == 0) return win::CO_E_NOTINITIALIZED;
        // A local connection runs as the caller: no credentials, no authority.
        if (user != nullptr || password != nullptr || authority != nullptr) return win::WBEM_E_INVALID_PARAMETER;
        std::u16string ns = Text(resource);
        if (!NamespaceExists(machine_, ns)) return win::WBEM_E_INVALID_NAMESPACE;
        machine_.wmi.connections.push_back(ns);
        *services = new Services(machine_, CanonicalNamespace(ns));
        return win::S_OK;
    }

private:
    Machine& machine_;
};

}  // namespace

win::IWbemLocator* CreateWbemLocator(Machine& machine) { return new Locator(machine); }

}  // namespace sim
