// Forwarders to ntdll: boot-screen text.
#include "platform/nt/display.h"

extern "C" {
__declspec(dllimport) nt::NTSTATUS __stdcall NtDrawText(nt::PUNICODE_STRING);
}

namespace nt {

NTSTATUS NtDrawText(PUNICODE_STRING text) { return ::NtDrawText(text); }

}  // namespace nt
