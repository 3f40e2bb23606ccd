// Plan kinds and the step numbers that the executor records. The numbers are part of the
// registry records and never change.
#pragma once

#include <stdint.h>

namespace velta {

// The plan's magic: a multi-character constant whose record bytes are the digit, 'M', 'T', 'V'.
enum class BootPlanKind : uint32_t {
    MovePrimary = 0x56544D31u,  // 'VTM1'
    MoveLogical = 0x56544D32u,  // 'VTM2'
    GrowOnly = 0x56544D33u,     // 'VTM3'
};

enum class MoveStage : uint32_t {
    CheckPlan = 1,
    OpenDisk = 2,
    CheckLayout = 3,
    OpenSource = 4,
    CheckSourceNtfs = 5,
    CreateClaim = 6,
    ReadSource = 7,
    WriteTarget = 8,
    VerifyTarget = 9,
    FlushDisk = 10,
    WritePartitionTable = 11,
    RefreshLayout = 12,
    Done = 13,
    LockSource = 14,  // runs between CheckSourceNtfs and CreateClaim
};

enum class GrowStage : uint32_t {
    OpenVolume = 1,
    CheckVolume = 2,
    GrowPartition = 3,
    CheckPartition = 4,
    ExtendNtfs = 5,
    CheckNtfs = 6,
    Done = 7,
};

}  // namespace velta
