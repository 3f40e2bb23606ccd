// Run-time library string helpers of ntdll.
#pragma once

#include "platform/nt/types.h"

namespace nt {

// Points the string at a zero-terminated text; it copies nothing.
void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source);

// Formats a GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case) into a buffer that
// ntdll allocates; the caller frees it with RtlFreeUnicodeString.
NTSTATUS RtlStringFromGUID(const GUID& guid, PUNICODE_STRING guidString);
void RtlFreeUnicodeString(PUNICODE_STRING unicodeString);

}  // namespace nt
