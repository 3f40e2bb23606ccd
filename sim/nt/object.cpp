// Object calls of the native API on the simulated PC.
#include "platform/nt/object.h"
#include "platform/nt/status.h"
#include "sim/nt/native_call.h"

namespace nt {

NTSTATUS NtClose(HANDLE handle) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (auto f = m.faults.Hit("NtClose")) return static_cast<NTSTATUS>(f->code);
        return m.handles.Close(handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
    });
}

}  // namespace nt
