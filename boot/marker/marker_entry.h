// VeltamoorMarker: proves that a native program installed for the boot list runs at boot.
#pragma once

namespace velta::boot {

// The handshake alone: removes the entry, records the time, touches no disk. Never returns.
[[noreturn]] void MarkerEntry();

}  // namespace velta::boot
