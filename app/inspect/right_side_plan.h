// What lies directly right of the Windows partition, and which way of growing applies.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/model/layout_model.h"

namespace velta {

struct RightSidePlan {
    PlanKind planKind = PlanKind::None;
    ResizeStatus status = ResizeStatus::InvalidLayout;
    std::uint64_t unallocatedRight = 0;
    std::optional<PartitionEntry> neighbour;  // the entry that follows the Windows partition
};

// Validates the layout first: a broken rule gives {None, InvalidLayout or
// UnsupportedExtents, 0, none}.
RightSidePlan PlanRightSide(const std::vector<PartitionEntry>& partitions, std::uint32_t windowsPartitionNumber,
                            std::uint64_t usableStart, std::uint64_t usableEnd, std::uint32_t logicalSectorSize);

}  // namespace velta
