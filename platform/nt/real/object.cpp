// Forwarders to ntdll: object calls.
#include "platform/nt/object.h"

extern "C" {
__declspec(dllimport) nt::NTSTATUS __stdcall NtClose(nt::HANDLE);
}

namespace nt {

NTSTATUS NtClose(HANDLE handle) { return ::NtClose(handle); }

}  // namespace nt
