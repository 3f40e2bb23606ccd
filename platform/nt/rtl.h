// Run-time library string helpers of ntdll.
#pragma once

#include "platform/nt/types.h"

namespace nt {

// Points the string at a zero-terminated text; it copies nothing.
void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source);

}  // namespace nt
