// Owning type for a volume search handle, closed with FindVolumeClose.
#pragma once

#include "common/unique_any.h"
#include "platform/win/constants.h"
#include "platform/win/storage.h"

namespace win {

struct FindVolumeCloseTraits {
    using Type = HANDLE;
    // FindFirstVolumeW reports failure as INVALID_HANDLE_VALUE.
    static constexpr Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindVolumeClose(h); }
};

using UniqueFindVolume = velta::UniqueAny<FindVolumeCloseTraits>;

}  // namespace win
