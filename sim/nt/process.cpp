// Process and time calls of the native API on the simulated PC.
#include "platform/nt/process.h"
#include "platform/nt/status.h"
#include "platform/nt/time.h"
#include "sim/core/machine.h"
#include "sim/boot/session_manager.h"
#include "sim/nt/native_call.h"

namespace nt {

NTSTATUS NtTerminateProcess(HANDLE process, NTSTATUS exitStatus) {
    // Not open to faults: the boot programs wait forever after a failed termination of
    // themselves, which would hang the test run rather than show anything.
    NTSTATUS s = sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        m.faults.Hit("NtTerminateProcess");
        return process == NtCurrentProcess() ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
    });
    if (s != STATUS_SUCCESS) return s;
    // The simulated process ends here; whoever started it catches this.
    throw sim::ProcessExit{exitStatus};
}

NTSTATUS NtQuerySystemTime(PLARGE_INTEGER systemTime) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (auto f = m.faults.Hit("NtQuerySystemTime")) return static_cast<NTSTATUS>(f->code);
        if (systemTime == nullptr) return STATUS_INVALID_PARAMETER;
        systemTime->QuadPart = static_cast<std::int64_t>(m.systemTime);
        return STATUS_SUCCESS;
    });
}

}  // namespace nt
