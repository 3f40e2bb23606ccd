// VeltamoorMoveLab: the boot-time executor.
#pragma once

#include "platform/nt/types.h"

namespace velta::boot {

// Runs after a successful handshake with the open Session Manager key; all values the executor
// reads and writes go through that key.
void RunExecutorProcedure(nt::HANDLE sessionManagerKey);

// The handshake, then the executor procedure. Never returns.
[[noreturn]] void MoveLabEntry();

}  // namespace velta::boot
