// Native entry of VeltamoorMarker.exe.
#include "platform/nt/process.h"

extern "C" [[noreturn]] void NtProcessStartup(void*) {
    nt::NtTerminateProcess(nt::NtCurrentProcess(), 0);
    for (;;) {
    }
}
