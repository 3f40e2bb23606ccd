#include "boot/executor/executor_entry.h"

#include "boot/entry_handshake.h"

namespace velta::boot {

void MoveLabEntry() { RunBootEntry(&RunExecutorProcedure); }

}  // namespace velta::boot
