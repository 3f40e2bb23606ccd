#include "sim/core/faults.h"

namespace sim {

void Faults::Arm(Fault fault) {
    std::uint64_t now = Calls(fault.call);
    armed_.push_back(Armed{std::move(fault), now});
}

std::optional<Fault> Faults::Hit(std::string_view call) {
    auto it = calls_.find(call);
    if (it == calls_.end()) it = calls_.emplace(std::string(call), 0).first;
    std::uint64_t count = ++it->second;
    for (auto a = armed_.begin(); a != armed_.end(); ++a) {
        if (a->fault.call != call) continue;
        std::uint64_t index = count - a->callsAtArm;
        if (index == a->fault.nth || (a->fault.repeat && index >= a->fault.nth)) {
            Fault f = a->fault;
            if (!f.repeat) armed_.erase(a);
            if (f.throwsBadAlloc) throw InjectedBadAlloc();
            return f;
        }
    }
    return std::nullopt;
}

std::uint64_t Faults::Calls(std::string_view call) const {
    auto it = calls_.find(call);
    return it == calls_.end() ? 0 : it->second;
}

void Faults::DurableWrite() {
    if (cutAfter_ && durableWrites_ >= *cutAfter_) {
        cutAfter_.reset();  // the power is off now; the restart starts with it back on
        throw PowerCut{durableWrites_};
    }
    ++durableWrites_;
}

}  // namespace sim
