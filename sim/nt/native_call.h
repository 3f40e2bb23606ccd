// The barrier around every native call of the simulated PC: what the simulation's own code
// throws becomes a status, as a driver would fail the request; only the deliberate signals
// (a process exit, a power cut, an injected allocation failure of the program) go through.
// While the call runs, every write that reaches a disk counts as a durable write of the
// machine (the power-cut counter).
#pragma once

#include <exception>
#include <new>

#include "platform/nt/status.h"
#include "sim/core/machine.h"
#include "sim/storage/disk_bytes.h"

namespace sim {

template <class Body>
nt::NTSTATUS NativeCall(Body&& body) {
    try {
        Machine& m = Current();
        DiskBytes::WriteGate gate([&m] { m.faults.DurableWrite(); });
        return body(m);
    } catch (const InjectedBadAlloc&) {
        throw;
    } catch (const std::bad_alloc&) {
        return nt::STATUS_NO_MEMORY;
    } catch (const std::exception&) {
        return nt::STATUS_UNSUCCESSFUL;
    }
}

}  // namespace sim
