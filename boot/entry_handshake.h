// The entry of both boot-time programs: remove the boot-list entry, record the time, and only
// then run the program's own work. Every path ends the process with exit status 0; the outcome
// is only in the registry.
#pragma once

#include "platform/nt/types.h"

namespace velta::boot {

// The work that follows a successful handshake, given the open Session Manager key.
using AfterHandshake = void (*)(nt::HANDLE sessionManagerKey);

// Runs the handshake on an open Session Manager key (opened for query and set). Returns true
// when the entry was removed and the time recorded; on a failure it has recorded the status in
// VeltamoorMarkerStatus; when the entry is absent it has written nothing.
bool RunEntryHandshake(nt::HANDLE sessionManagerKey);

// Opens the key, runs the handshake, then `work` (may be null) on success, closes the key and
// terminates the process.
[[noreturn]] void RunBootEntry(AfterHandshake work);

}  // namespace velta::boot
