// Fault injection: "the Nth call of X (counted from when the fault is armed) fails with code C",
// and power cuts after the Nth durable write.
#pragma once

#include <cstdint>
#include <map>
#include <new>
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
    // A read succeeds, but the data it hands back differs from the device's in the last
    // 8-byte word of the transfer (a device that corrupts data on its way back).
    bool flipLastWord = false;
};

// The allocation failure a fault injects. It is let through the simulated calls' own
// exception barriers, because it stands for a failure in the program under test.
struct InjectedBadAlloc : std::bad_alloc {
    const char* what() const noexcept override { return "injected allocation failure"; }
};

// Thrown at the durable write that the power cut forbids: the running program stops at once.
// Not a std::exception, so nothing in the program or the simulated calls swallows it; the
// Session Manager catches it.
struct PowerCut {
    std::uint64_t afterWrite;  // how many durable writes had landed
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
    void Clear() {
        armed_.clear();
        cutAfter_.reset();
    }

    // Power. A durable write is one write that reaches a disk (through any handle, or inside
    // a device control that rewrites on-disk structures) or a write-through file, counted
    // machine-wide. With a cut armed after write N (counted from the arming), writes 1..N
    // land and write N+1 throws PowerCut before any of its bytes land.
    void CutPowerAfterWrite(std::uint64_t n) { cutAfter_ = durableWrites_ + n; }
    void CancelPowerCut() { cutAfter_.reset(); }
    bool PowerCutArmed() const { return cutAfter_.has_value(); }
    // Called right before each durable write.
    void DurableWrite();
    // Durable writes since the machine was created (a clean run's count sizes a sweep).
    std::uint64_t DurableWrites() const { return durableWrites_; }

private:
    struct Armed {
        Fault fault;
        std::uint64_t callsAtArm;
    };
    std::vector<Armed> armed_;
    std::map<std::string, std::uint64_t, std::less<>> calls_;
    std::optional<std::uint64_t> cutAfter_;
    std::uint64_t durableWrites_ = 0;
};

}  // namespace sim
