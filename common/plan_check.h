// The rules a plan must obey before the executor touches a disk, applied in their fixed order.
#pragma once

#include <stdint.h>

#include "common/boot_records.h"

namespace velta {

// The number (1 to 13) of the first rule that the plan breaks, or 0 when it is well-formed.
// growBy and neighbourStart are the effective values (from VeltamoorMoveLabGrow or the
// defaults); growFull tells whether that value held all 32 bytes.
uint32_t FirstBrokenPlanRule(const BootPlan& plan, uint64_t growBy, uint64_t neighbourStart,
                             bool growFull);

inline bool IsPlanWellFormed(const BootPlan& plan, uint64_t growBy, uint64_t neighbourStart,
                             bool growFull) {
    return FirstBrokenPlanRule(plan, growBy, neighbourStart, growFull) == 0;
}

}  // namespace velta
