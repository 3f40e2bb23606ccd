// Owning type for a volume search handle, closed with FindVolumeClose.
#pragma once

#include <utility>

#include "platform/win/constants.h"
#include "platform/win/storage.h"

namespace win {

class UniqueFindVolume {
public:
    UniqueFindVolume() = default;
    explicit UniqueFindVolume(HANDLE h) : handle_(h) {}
    UniqueFindVolume(const UniqueFindVolume&) = delete;
    UniqueFindVolume& operator=(const UniqueFindVolume&) = delete;
    ~UniqueFindVolume() {
        if (valid()) FindVolumeClose(handle_);
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace win
