// Opening device paths ("\\.\PhysicalDriveN", "\\?\Volume{GUID}") on the simulated PC.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "sim/core/handles.h"

namespace sim {

class Machine;

// Returns the device object for a path that starts with "\\.\" or "\\?\", or null with
// *error set (ERROR_FILE_NOT_FOUND for a device that does not exist).
std::shared_ptr<HandleObject> OpenDevice(Machine& machine, std::u16string_view path,
                                         std::uint32_t access, std::uint32_t share,
                                         ErrorCode* error);

}  // namespace sim
