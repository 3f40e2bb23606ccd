#include "boot/marker/marker_entry.h"

#include "boot/entry_handshake.h"

namespace velta::boot {

void MarkerEntry() { RunBootEntry(nullptr); }

}  // namespace velta::boot
