// A method call on one instance, with at most one input parameter.
#include <string>

#include "app/wmi/wmi_layer.h"

namespace velta {

namespace {

std::uint32_t Code(win::HRESULT hr) { return static_cast<std::uint32_t>(hr); }

// An instance of the method's input signature carrying the one parameter.
ComPtr<win::IWbemClassObject> BuildInput(const WmiConnection& connection, std::u16string_view className,
                                         std::u16string_view methodName, const MethodInput& input) {
    const std::u16string method(methodName);
    UniqueBstr classBstr = AllocBstr(className);
    ComPtr<win::IWbemClassObject> classObject;
    win::HRESULT hr = connection.services->GetObject(classBstr.get(), 0, nullptr, classObject.put(), nullptr);
    if (hr < 0) RaiseWmi(std::u16string(className), Code(hr));
    if (!classObject) RaiseWmi(std::u16string(className), kWbemInvalidParameter);

    ComPtr<win::IWbemClassObject> signature;
    hr = classObject->GetMethod(method.c_str(), 0, signature.put(), nullptr);
    if (hr < 0) RaiseWmi(method, Code(hr));
    if (!signature) RaiseWmi(method, kWbemInvalidParameter);

    ComPtr<win::IWbemClassObject> in;
    hr = signature->SpawnInstance(0, in.put());
    if (hr < 0) RaiseWmi(method, Code(hr));
    if (!in) RaiseWmi(method, kWbemInvalidParameter);

    const std::u16string name(input.name);
    hr = in->Put(name.c_str(), 0, input.value, 0);
    if (hr < 0) RaiseWmi(method, Code(hr));
    return in;  // the class object and the signature are released here
}

}  // namespace

ComPtr<win::IWbemClassObject> InvokeMethod(const WmiConnection& connection,
                                           win::IWbemClassObject* instance,
                                           std::u16string_view className,
                                           std::u16string_view methodName,
                                           const MethodInput* input) {
    ComPtr<win::IWbemClassObject> in;
    if (input != nullptr) in = BuildInput(connection, className, methodName, *input);

    std::u16string path = ReadString(instance, u"__PATH");
    UniqueBstr pathBstr = AllocBstr(path);
    UniqueBstr methodBstr = AllocBstr(methodName);
    ComPtr<win::IWbemClassObject> out;
    win::HRESULT hr = connection.services->ExecMethod(pathBstr.get(), methodBstr.get(), 0, nullptr,
                                                      in.get(), out.put(), nullptr);
    if (hr < 0) RaiseWmi(std::u16string(methodName), Code(hr));
    if (!out) RaiseWmi(std::u16string(methodName), kWbemInvalidParameter);
    return out;
}

}  // namespace velta
