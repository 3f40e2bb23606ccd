// The handoff records and their exact byte images (little-endian, packed). Encoders write the
// whole image; decoders accept an image of exactly the record's size and nothing else.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/boot_stages.h"
#include "common/guid.h"
#include "common/units.h"

namespace velta {

inline constexpr size_t kBootPlanSize = 136;
inline constexpr size_t kGrowPlanSize = 32;
inline constexpr size_t kGrowPlanShortSize = 16;  // windowsVolumeId alone
inline constexpr size_t kMoveResultSize = 16;
inline constexpr size_t kGrowResultSize = 32;
inline constexpr size_t kDrawCountersSize = 12;

// VeltamoorMoveLabPlan. Fields a plan's kind does not use stay zero.
struct BootPlan {
    uint32_t magic = 0;  // a BootPlanKind, unless the record is damaged
    uint32_t diskNumber = 0;
    uint32_t windowsPartitionNumber = 0;
    uint32_t sourcePartitionNumber = 0;
    uint32_t bytesPerSector = 0;
    uint32_t mbrSignature = 0;
    Guid gptDiskId{};
    Guid windowsPartitionId{};
    Guid sourcePartitionId{};
    Guid sourceVolumeId{};
    uint64_t diskSize = 0;
    uint64_t windowsStart = 0;
    uint64_t windowsLength = 0;
    uint64_t sourceStart = 0;
    uint64_t sourceLength = 0;
    uint64_t shift = 0;
};

// VeltamoorMoveLabGrow.
struct GrowPlan {
    Guid windowsVolumeId{};
    uint64_t growBy = 0;
    uint64_t neighbourStart = 0;
};

// VeltamoorMoveLabResult.
struct MoveResult {
    MoveStage stage = MoveStage::CheckPlan;
    int32_t status = 0;
    uint64_t bytesMoved = 0;
};

// VeltamoorMoveLabGrowResult.
struct GrowResult {
    GrowStage stage = GrowStage::OpenVolume;
    int32_t status = 0;
    uint64_t partitionLength = 0;
    uint64_t ntfsBytesBefore = 0;
    uint64_t ntfsBytesAfter = 0;
};

// VeltamoorMoveLabDisplay.
struct DrawCounters {
    uint32_t drawCalls = 0;
    uint32_t drawSuccesses = 0;
    int32_t lastDrawStatus = 0;
};

void EncodeBootPlan(const BootPlan& plan, uint8_t (&image)[kBootPlanSize]);
bool DecodeBootPlan(const uint8_t* image, size_t size, BootPlan* plan);

void EncodeGrowPlan(const GrowPlan& grow, uint8_t (&image)[kGrowPlanSize]);
// The grow record a plan implies when VeltamoorMoveLabGrow is absent: growBy = shift, and
// neighbourStart = the end of the Windows partition for 'VTM2', sourceStart otherwise.
GrowPlan DefaultGrowPlan(const BootPlan& plan);
// Accepts 32 bytes, or 16 bytes that replace only windowsVolumeId of DefaultGrowPlan(plan).
bool DecodeGrowPlan(const uint8_t* image, size_t size, const BootPlan& plan, GrowPlan* grow);

void EncodeMoveResult(const MoveResult& result, uint8_t (&image)[kMoveResultSize]);
bool DecodeMoveResult(const uint8_t* image, size_t size, MoveResult* result);

void EncodeGrowResult(const GrowResult& result, uint8_t (&image)[kGrowResultSize]);
bool DecodeGrowResult(const uint8_t* image, size_t size, GrowResult* result);

void EncodeDrawCounters(const DrawCounters& counters, uint8_t (&image)[kDrawCountersSize]);
bool DecodeDrawCounters(const uint8_t* image, size_t size, DrawCounters* counters);

}  // namespace velta
