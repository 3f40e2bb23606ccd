// Native entry of VeltamoorMarker.exe.
#include "boot/marker/marker_entry.h"

extern "C" [[noreturn]] void NtProcessStartup(void*) { velta::boot::MarkerEntry(); }
