// Process and time calls of the native API on the simulated PC.
#include "platform/nt/process.h"
#include "platform/nt/status.h"
#include "platform/nt/time.h"
#include "sim/core/machine.h"
#include "sim/boot/session_manager.h"

namespace nt {

NTSTATUS NtTerminateProcess(HANDLE process, NTSTATUS exitStatus) {
    // Not open to faults: the boot programs wait forever after a failed termination of
    // themselves, which would hang the test run rather than show anything.
    sim::Current().faults.Hit("NtTerminateProcess");
    if (process != NtCurrentProcess()) return STATUS_INVALID_HANDLE;
    // The simulated process ends here; whoever started it catches this.
    throw sim::ProcessExit{exitStatus};
}

NTSTATUS NtQuerySystemTime(PLARGE_INTEGER systemTime) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("NtQuerySystemTime")) return static_cast<NTSTATUS>(f->code);
    if (systemTime == nullptr) return STATUS_INVALID_PARAMETER;
    systemTime->QuadPart = static_cast<std::int64_t>(m.systemTime);
    return STATUS_SUCCESS;
}

}  // namespace nt
