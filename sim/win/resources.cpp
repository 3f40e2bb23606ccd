// Resources of the simulated desktop program's module.
#include <cstdint>

#include "platform/win/constants.h"
#include "platform/win/resource_id.h"
#include "platform/win/resources.h"
#include "sim/core/machine.h"

namespace win {

namespace {
// The simulated program's module handle, as the loader would give the image base.
HMODULE const kModule = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x140000000ull));

std::vector<std::uint8_t>* Entry(HRSRC r) { return static_cast<std::vector<std::uint8_t>*>(r); }
}  // namespace

HMODULE GetModuleHandleW(LPCWSTR name) { return name == nullptr ? kModule : nullptr; }

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("FindResourceW")) {
        sim::SetLastError(f->code);
        return nullptr;
    }
    if ((module != nullptr && module != kModule) || !IsIntResource(name) || !IsIntResource(type)) {
        sim::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto it = m.resources.items.find({IntResourceId(type), IntResourceId(name)});
    if (it == m.resources.items.end()) {
        sim::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return &it->second;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) return 0;
    return static_cast<DWORD>(Entry(resource)->size());
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("LoadResource")) {
        sim::SetLastError(f->code);
        return nullptr;
    }
    return resource;
}

LPVOID LockResource(HGLOBAL data) {
    auto& m = sim::Current();
    if (data == nullptr) return nullptr;
    if (m.faults.Hit("LockResource")) return nullptr;
    return Entry(data)->data();
}

}  // namespace win
