// Byte units. Every size and offset is an unsigned 64-bit byte count; amounts are whole MiB.
// Freestanding: shared by the desktop program and both boot-time programs.
#pragma once

#include <stdint.h>

namespace velta {

inline constexpr uint64_t kKibibyte = uint64_t{1} << 10;
inline constexpr uint64_t kMebibyte = uint64_t{1} << 20;
inline constexpr uint64_t kGibibyte = uint64_t{1} << 30;
inline constexpr uint64_t kTebibyte = uint64_t{1} << 40;

// The sector size of every MBR and EBR image; also the smaller logical sector size.
inline constexpr uint32_t kSectorSize512 = 512;
inline constexpr uint32_t kSectorSize4096 = 4096;

}  // namespace velta
