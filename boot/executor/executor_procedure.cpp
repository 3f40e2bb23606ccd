#include "boot/executor/executor_entry.h"

namespace velta::boot {

// Plan loading, the checks and the move are not part of this program yet: after the handshake
// it ends without touching a disk.
void RunExecutorProcedure(nt::HANDLE) {}

}  // namespace velta::boot
