// Integer resource identifiers travel in name pointers, as MAKEINTRESOURCEW does.
#pragma once

#include <cstdint>

#include "platform/win/types.h"

namespace win {

inline LPCWSTR MakeIntResource(WORD id) {
    return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id));
}

inline bool IsIntResource(LPCWSTR name) {
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

inline WORD IntResourceId(LPCWSTR name) {
    return static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name) & 0xFFFF);
}

}  // namespace win
