// System time of the native API: 100-nanosecond units since 1601-01-01 UTC.
#pragma once

#include "platform/nt/types.h"

namespace nt {

NTSTATUS NtQuerySystemTime(PLARGE_INTEGER systemTime);

}  // namespace nt
