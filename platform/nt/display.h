// Boot-screen text of the native API.
#pragma once

#include "platform/nt/types.h"

namespace nt {

// Draws one line of text on the boot screen.
NTSTATUS NtDrawText(PUNICODE_STRING text);

}  // namespace nt
