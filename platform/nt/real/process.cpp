// Forwarders to ntdll for the native build.
#include "platform/nt/process.h"

extern "C" __declspec(dllimport) nt::NTSTATUS __stdcall NtTerminateProcess(nt::HANDLE, nt::NTSTATUS);

namespace nt {

NTSTATUS NtTerminateProcess(HANDLE process, NTSTATUS exitStatus) {
    return ::NtTerminateProcess(process, exitStatus);
}

}  // namespace nt
