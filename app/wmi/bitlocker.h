// Whether a volume is fully decrypted with BitLocker protection off, as the volume
// encryption provider reports it. Fail-closed: anything but a clean answer blocks a resize.
#pragma once

#include <string_view>

#include "app/model/layout_model.h"

namespace velta {

// Ready, BitLockerActive or DecryptionUnconfirmed; WmiError when the provider cannot be
// asked. Runs inside the caller's COM scope.
ResizeStatus CheckBitLocker(std::u16string_view volumePath);

}  // namespace velta
