// The texts the executor shows on the boot screen, in both languages, and the progress line.
// Pure: building a line touches no system call, so it is testable on its own.
#pragma once

#include <stdint.h>

namespace velta::boot {

enum class BootText : uint32_t {
    MovingPrefix,
    UpdatingPartitions,
    ExtendingPartition,
    ExtendingNtfs,
    ResizeComplete,
    ResizeIncomplete,
    MoveComplete,
    MoveStopped,
};

// The zero-terminated text in the chosen language.
const char16_t* BootTextFor(BootText text, bool useChinese);

// Room for the progress line and its terminator; the longest possible line is far shorter.
inline constexpr uint32_t kProgressLineUnits = 128;

// Builds "<prefix>P% (M.m/T.t GB)" for bytesMoved of total (whole MiB, total at least 1 MiB)
// into `line`, zero-terminated; returns the number of units before the terminator.
uint32_t BuildProgressLine(uint64_t bytesMoved, uint64_t total, bool useChinese,
                           char16_t (&line)[kProgressLineUnits]);

}  // namespace velta::boot
