// Size arithmetic shared by the inspection, the command line, the window and the schedule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/units.h"

namespace velta {

std::uint64_t RoundDownToMebibyte(std::uint64_t bytes);

// How far the Windows partition may grow into a gap of unallocated space.
std::uint64_t GrowthFromUnallocated(std::uint64_t gap, std::uint64_t current, std::uint64_t maximum,
                                    bool mbrException);

struct ParsedAmount {
    bool ok = false;
    std::uint64_t bytes = 0;
};

// A whole, positive number of mebibytes written in ASCII decimal digits.
ParsedAmount ParseMebibytes(std::u16string_view text);

bool IsAmountValid(std::uint64_t amount, std::uint64_t maximum, std::uint64_t current);

// The rule every scheduled or previewed amount obeys.
bool IsAmountAcceptable(std::uint64_t amount, std::uint64_t unallocatedIncrease,
                        std::uint64_t maximumIncrease, std::uint64_t windowsPartitionLength);

// "465.76 GB": 2^30-byte gigabytes, at most two decimals, trailing zeros dropped.
std::u16string FormatGigabytes(std::uint64_t bytes);

}  // namespace velta
