#include "app/inspect/capacity_estimate.h"

#include <limits>

namespace velta {

std::optional<std::uint64_t> EstimatedCapacity(std::uint64_t amount, std::uint64_t windowsVolumeBytes,
                                               std::uint64_t windowsPartitionLength) {
    if (windowsVolumeBytes > windowsPartitionLength) return std::nullopt;
    if (amount > std::numeric_limits<std::uint64_t>::max() - windowsVolumeBytes) return std::nullopt;
    return amount + windowsVolumeBytes;
}

}  // namespace velta
