// The progress record the executor keeps in the claim file: which plan runs, how many bytes of
// the source partition are copied and verified, and the step reached. It is what tells, after
// a power cut during the move, which part of the partition is at the old place and which at
// the new one (docs/claim-record.md).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/boot_records.h"

namespace velta {

inline constexpr uint32_t kClaimRecordMagic = 0x56544D43u;  // 'VTMC': bytes 'C', 'M', 'T', 'V'
inline constexpr uint32_t kClaimRecordVersion = 1;
inline constexpr size_t kClaimRecordSize = 168;

struct ClaimRecord {
    uint8_t plan[kBootPlanSize] = {};  // the plan's image exactly as the registry held it
    uint64_t bytesMoved = 0;           // bytes at the end of the partition copied and verified
    MoveStage stage = MoveStage::CreateClaim;
    int32_t status = 0;                // status of that step so far; 0 while it runs well
};

// Writes the whole image, with its magic, version and CRC-32.
void EncodeClaimRecord(const ClaimRecord& record, uint8_t (&image)[kClaimRecordSize]);

// Accepts an image of at least kClaimRecordSize bytes whose magic, version and CRC-32 hold.
bool DecodeClaimRecord(const uint8_t* image, size_t size, ClaimRecord* record);

}  // namespace velta
