// The two partition-table checks of the executor, on byte buffers: the drive-layout check on a
// layout reply, and the MBR chain check on the MBR and EBR sectors. They do no I/O, so the same
// logic runs at boot and under test on crafted bytes. Each returns STATUS_SUCCESS or
// STATUS_DATA_ERROR, and on success leaves what the table update needs.
#pragma once

#include <stdint.h>

#include "common/boot_records.h"
#include "platform/nt/types.h"

namespace velta::boot {

enum class TableCheckMode {
    Before,  // the source partition is expected at sourceStart
    After,   // it is expected shift bytes further on
};

// What a passing drive-layout check leaves for the table update.
struct LayoutFacts {
    uint64_t layoutSize = 0;        // PartitionCount × 144 + 48
    uint32_t sourceEntryIndex = 0;  // move kinds: the source partition's entry
    bool sourceFound = false;
    bool windowsFound = false;
};

// Checks a drive-layout reply of `returned` valid bytes against the plan. `amount` is growBy
// (it matters for 'VTM3' only). Clears every entry's RewritePartition in place.
nt::NTSTATUS CheckDriveLayout(uint8_t* layout, uint64_t returned, const BootPlan& plan,
                              uint64_t amount, TableCheckMode mode, LayoutFacts* facts);

// What the MBR chain check learns step by step and leaves for the update.
struct ChainFacts {
    uint32_t extendedIndex = 0;  // 0 to 3, in the MBR
    uint32_t extendedStart = 0;  // sectors, as the MBR holds them
    uint32_t extendedCount = 0;
    uint64_t secondEbrSector = 0;  // absolute; 0 when the source is the last logical partition
    uint32_t linkSize = 0;         // first EBR's link: size of the next logical's area
};

// Sector 0 against the plan: signature, the four entries, one extended entry at its expected
// start, exactly one Windows match, nothing else inside the extended partition.
nt::NTSTATUS CheckChainMbr(const uint8_t* mbr, const BootPlan& plan, uint64_t neighbourStart,
                           TableCheckMode mode, ChainFacts* facts);

// The first EBR (at facts->extendedStart). Sets *needSecond when it links to a next EBR, whose
// sector is then facts->secondEbrSector.
nt::NTSTATUS CheckChainFirstEbr(const uint8_t* ebr, const BootPlan& plan,
                                uint64_t neighbourStart, TableCheckMode mode, ChainFacts* facts,
                                bool* needSecond);

// The EBR that follows the source partition: one logical partition inside its link, the last.
nt::NTSTATUS CheckChainSecondEbr(const uint8_t* ebr, const ChainFacts& facts);

}  // namespace velta::boot
