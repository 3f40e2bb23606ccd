// Object calls of the native API on the simulated PC.
#include "platform/nt/object.h"
#include "platform/nt/status.h"
#include "sim/core/machine.h"

namespace nt {

NTSTATUS NtClose(HANDLE handle) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("NtClose")) return static_cast<NTSTATUS>(f->code);
    return m.handles.Close(handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}

}  // namespace nt
