// The providers of the simulated WMI service: which namespaces and classes exist, their
// instances (built afresh from the machine on every query) and their methods.
#pragma once

#include <string>
#include <vector>

#include "platform/win/com.h"
#include "sim/wmi/value.h"

namespace sim {

class Machine;

struct WmiMethodDef {
    std::u16string name;
    std::vector<std::u16string> inParams;
};

struct WmiClassDef {
    std::u16string name;
    std::vector<WmiMethodDef> methods;
    const WmiMethodDef* FindMethod(std::u16string_view method) const;
};

struct WmiCallResult {
    win::HRESULT hr = 0;  // the call itself; the method's own outcome is in out's ReturnValue
    WmiInstance out;
};

inline constexpr char16_t kSimHostName[] = u"VELTAMOOR-SIM";

// Whether the namespace exists on this machine (namespaces can be switched off).
bool NamespaceExists(const Machine& machine, std::u16string_view ns);
// The canonical spelling of a namespace, for object paths.
std::u16string CanonicalNamespace(std::u16string_view ns);
const WmiClassDef* FindClass(std::u16string_view ns, std::u16string_view className);

// Every instance of the class, with the machine's adjust hook applied.
std::vector<WmiInstance> Instances(Machine& machine, std::u16string_view ns, const WmiClassDef& cls);

// Runs a method on the instance. `in` is the input-parameters object, or null.
WmiCallResult Invoke(Machine& machine, const WmiClassDef& cls, const WmiInstance& target,
                     const WmiMethodDef& method, const WmiInstance* in);

}  // namespace sim
