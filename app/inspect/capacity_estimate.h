// The capacity that --preview shows: the Windows volume's NTFS size plus the amount.
#pragma once

#include <cstdint>
#include <optional>

namespace velta {

// None when the NTFS size is larger than the partition that holds it (no real volume), or
// when the sum does not fit in 64 bits.
std::optional<std::uint64_t> EstimatedCapacity(std::uint64_t amount, std::uint64_t windowsVolumeBytes,
                                               std::uint64_t windowsPartitionLength);

}  // namespace velta
