// Fault injection: "the Nth call of X (counted from when the fault is armed) fails with code C".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct Fault {
    std::string call;       // the simulated call's Windows name, e.g. "WriteFile"
    std::uint64_t nth = 1;  // 1 = the next call
    std::uint32_t code = 0; // error code (Win32 error, HRESULT or NTSTATUS, as the call reports)
    // When set, the call succeeds but transfers at most this many bytes (a short transfer).
    std::optional<std::uint64_t> transferLimit;
    bool repeat = false;    // keep failing from the Nth call on
    // The call runs out of memory instead: std::bad_alloc leaves it, as from an allocation
    // in the program's own code.
    bool throwsBadAlloc = false;
};

class Faults {
public:
    // Arms a fault; counting for it starts with the next call of that name.
    void Arm(Fault fault);
    void Fail(std::string call, std::uint64_t nth, std::uint32_t code) {
        Arm(Fault{std::move(call), nth, code, std::nullopt, false});
    }
    void FailAlways(std::string call, std::uint32_t code) {
        Arm(Fault{std::move(call), 1, code, std::nullopt, true});
    }
    // Every simulated call reports itself here; returns the fault to apply, if any.
    std::optional<Fault> Hit(std::string_view call);
    // How many times a call was made since the machine was created.
    std::uint64_t Calls(std::string_view call) const;
    void Clear() { armed_.clear(); }

private:
    struct Armed {
        Fault fault;
        std::uint64_t callsAtArm;
    };
    std::vector<Armed> armed_;
    std::map<std::string, std::uint64_t, std::less<>> calls_;
};

}  // namespace sim
