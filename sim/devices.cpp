#include "sim/devices.h"

#include "sim/machine.h"

namespace sim {

std::shared_ptr<HandleObject> OpenDevice(Machine&, std::u16string_view, std::uint32_t,
                                         std::uint32_t, ErrorCode* error) {
    *error = 2;  // ERROR_FILE_NOT_FOUND: this machine has no storage devices yet
    return nullptr;
}

}  // namespace sim
