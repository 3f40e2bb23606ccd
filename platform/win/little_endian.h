// Little-endian reads and writes at explicit offsets of a byte image. Layouts that Windows
// returns or that live on disk are always handled through these, never by overlaying structs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/types.h"

namespace win {

inline std::uint16_t LoadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t LoadU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
}
inline std::int64_t LoadI64(const std::uint8_t* p) { return static_cast<std::int64_t>(LoadU64(p)); }

inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A GUID in its 16-byte wire form: Data1..Data3 little-endian, then Data4 as bytes. This is
// both the in-memory layout Windows uses and the on-disk layout of GPT.
inline GUID LoadGuid(const std::uint8_t* p) {
    GUID g{};
    g.Data1 = LoadU32(p);
    g.Data2 = LoadU16(p + 4);
    g.Data3 = LoadU16(p + 6);
    for (int i = 0; i < 8; ++i) g.Data4[i] = p[8 + i];
    return g;
}
inline void StoreGuid(std::uint8_t* p, const GUID& g) {
    StoreU32(p, g.Data1);
    StoreU16(p + 4, g.Data2);
    StoreU16(p + 6, g.Data3);
    for (int i = 0; i < 8; ++i) p[8 + i] = g.Data4[i];
}

inline bool IsZeroGuid(const GUID& g) { return g == GUID{}; }

}  // namespace win
