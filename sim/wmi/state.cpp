#include "sim/wmi/state.h"

#include "sim/core/text.h"

namespace sim {

namespace {
std::u16string_view WithoutTrailingBackslash(std::u16string_view p) {
    if (!p.empty() && p.back() == u'\\') p.remove_suffix(1);
    return p;
}
}  // namespace

const BitLockerState& WmiState::BitLockerOf(std::u16string_view volumePath) const {
    static const BitLockerState kDecrypted{};
    for (const auto& [path, state] : bitLocker)
        if (EqualsNoCase(WithoutTrailingBackslash(path), WithoutTrailingBackslash(volumePath))) return state;
    return kDecrypted;
}

}  // namespace sim
