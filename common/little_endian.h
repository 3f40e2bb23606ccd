// Little-endian loads and stores at explicit offsets, so that byte images never depend on
// the layout of a structure in memory.
#pragma once

#include <stdint.h>

#include "common/guid.h"

namespace velta {

inline uint16_t LoadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (static_cast<uint16_t>(p[1]) << 8));
}

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t LoadLe64(const uint8_t* p) {
    return static_cast<uint64_t>(LoadLe32(p)) | (static_cast<uint64_t>(LoadLe32(p + 4)) << 32);
}

inline void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void StoreLe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline Guid LoadGuid(const uint8_t* p) {
    Guid g;
    g.Data1 = LoadLe32(p);
    g.Data2 = LoadLe16(p + 4);
    g.Data3 = LoadLe16(p + 6);
    for (int i = 0; i < 8; ++i) g.Data4[i] = p[8 + i];
    return g;
}

inline void StoreGuid(uint8_t* p, const Guid& g) {
    StoreLe32(p, g.Data1);
    StoreLe16(p + 4, g.Data2);
    StoreLe16(p + 6, g.Data3);
    for (int i = 0; i < 8; ++i) p[8 + i] = g.Data4[i];
}

}  // namespace velta
