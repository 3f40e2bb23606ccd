// The one place where the simulated PC turns a device's NTSTATUS into the Win32 error code
// that kernel32 leaves for GetLastError, as RtlNtStatusToDosError does (the table is in
// docs/simulated-pc.md).
#pragma once

#include <cstdint>

namespace sim {

std::uint32_t DosErrorOf(std::int32_t status);

}  // namespace sim
