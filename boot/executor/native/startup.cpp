// Native entry of VeltamoorMoveLab.exe.
#include "boot/executor/executor_entry.h"

extern "C" [[noreturn]] void NtProcessStartup(void*) { velta::boot::MoveLabEntry(); }
