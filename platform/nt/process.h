// Process calls of the native API.
#pragma once

#include "platform/nt/types.h"

namespace nt {

NTSTATUS NtTerminateProcess(HANDLE process, NTSTATUS exitStatus);

}  // namespace nt
