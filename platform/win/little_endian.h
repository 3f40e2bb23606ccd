// Byte images that hold Windows GUIDs. The integers at explicit little-endian offsets come
// from common/little_endian.h, shared with the boot-time programs; layouts that Windows
// returns or that live on disk are always handled through these, never by overlaying structs.
#pragma once

#include <cstdint>

#include "common/little_endian.h"
#include "platform/win/types.h"

namespace win {

inline std::int64_t LoadI64(const std::uint8_t* p) { return static_cast<std::int64_t>(velta::LoadLe64(p)); }

// A GUID in its 16-byte wire form: Data1..Data3 little-endian, then Data4 as bytes. This is
// both the in-memory layout Windows uses and the on-disk layout of GPT.
inline GUID LoadGuid(const std::uint8_t* p) {
    GUID g{};
    g.Data1 = velta::LoadLe32(p);
    g.Data2 = velta::LoadLe16(p + 4);
    g.Data3 = velta::LoadLe16(p + 6);
    for (int i = 0; i < 8; ++i) g.Data4[i] = p[8 + i];
    return g;
}
inline void StoreGuid(std::uint8_t* p, const GUID& g) {
    velta::StoreLe32(p, g.Data1);
    velta::StoreLe16(p + 4, g.Data2);
    velta::StoreLe16(p + 6, g.Data3);
    for (int i = 0; i < 8; ++i) p[8 + i] = g.Data4[i];
}

inline bool IsZeroGuid(const GUID& g) { return g == GUID{}; }

}  // namespace win
