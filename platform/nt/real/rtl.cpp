// Forwarders to ntdll: string helpers.
#include "platform/nt/rtl.h"

extern "C" {
__declspec(dllimport) void __stdcall RtlInitUnicodeString(nt::PUNICODE_STRING, nt::PCWSTR);
__declspec(dllimport) nt::NTSTATUS __stdcall RtlStringFromGUID(const nt::GUID*,
                                                               nt::PUNICODE_STRING);
__declspec(dllimport) void __stdcall RtlFreeUnicodeString(nt::PUNICODE_STRING);
}

namespace nt {

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
    ::RtlInitUnicodeString(destination, source);
}

NTSTATUS RtlStringFromGUID(const GUID& guid, PUNICODE_STRING guidString) {
    return ::RtlStringFromGUID(&guid, guidString);
}

void RtlFreeUnicodeString(PUNICODE_STRING unicodeString) { ::RtlFreeUnicodeString(unicodeString); }

}  // namespace nt
