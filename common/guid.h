// A GUID as the handoff records carry it: the 16-byte Windows memory layout.
// Freestanding: shared by the desktop program and both boot-time programs.
#pragma once

#include <stdint.h>

namespace velta {

struct Guid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(Guid) == 16, "a GUID is 16 bytes");

inline bool operator==(const Guid& a, const Guid& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

inline bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }

}  // namespace velta
