// GUID text in the registry form, as the layout lines and the identity text write it.
#pragma once

#include <string>

#include "platform/win/types.h"

namespace velta {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", uppercase, 38 characters. Raises Error "GUID".
std::u16string GuidText(const win::GUID& guid);

}  // namespace velta
