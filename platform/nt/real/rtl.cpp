// Forwarders to ntdll: string helpers.
#include "platform/nt/rtl.h"

extern "C" {
__declspec(dllimport) void __stdcall RtlInitUnicodeString(nt::PUNICODE_STRING, nt::PCWSTR);
}

namespace nt {

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
    ::RtlInitUnicodeString(destination, source);
}

}  // namespace nt
