// Forwarders to ntdll: system time.
#include "platform/nt/time.h"

extern "C" {
__declspec(dllimport) nt::NTSTATUS __stdcall NtQuerySystemTime(nt::PLARGE_INTEGER);
}

namespace nt {

NTSTATUS NtQuerySystemTime(PLARGE_INTEGER systemTime) { return ::NtQuerySystemTime(systemTime); }

}  // namespace nt
