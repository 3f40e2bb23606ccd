#include "app/inspect/amounts.h"

#include <algorithm>
#include <limits>

#include "app/model/decimal.h"

namespace velta {

std::uint64_t RoundDownToMebibyte(std::uint64_t bytes) { return bytes & ~(kMebibyte - 1); }

std::uint64_t GrowthFromUnallocated(std::uint64_t gap, std::uint64_t current, std::uint64_t maximum,
                                    bool mbrException) {
    if (mbrException && maximum == current) return RoundDownToMebibyte(gap);
    if (maximum <= current) return 0;
    return RoundDownToMebibyte(std::min(gap, maximum - current));
}

ParsedAmount ParseMebibytes(std::u16string_view text) {
    // The largest count of mebibytes whose byte count fits in 64 bits.
    constexpr std::uint64_t kLimit = (1ull << 44) - 1;
    if (text.empty()) return {};
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return {};
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > kLimit) return {};
    }
    if (value == 0) return {};
    return {true, value * kMebibyte};
}

bool IsAmountValid(std::uint64_t amount, std::uint64_t maximum, std::uint64_t current) {
    if (amount % kMebibyte != 0) return false;
    if (amount - 1 >= maximum) return false;  // unsigned: an amount of 0 wraps and fails
    return amount <= std::numeric_limits<std::uint64_t>::max() - current;
}

bool IsAmountAcceptable(std::uint64_t amount, std::uint64_t unallocatedIncrease,
                        std::uint64_t maximumIncrease, std::uint64_t windowsPartitionLength) {
    return amount >= unallocatedIncrease &&
           IsAmountValid(amount, maximumIncrease, windowsPartitionLength);
}

std::u16string FormatGigabytes(std::uint64_t bytes) {
    // From this fraction on, rounding to hundredths would reach a whole gigabyte.
    constexpr std::uint64_t kCarryFrom = 1068373115;
    std::uint64_t whole = bytes / kGibibyte;
    std::uint64_t fraction = bytes % kGibibyte;
    std::uint64_t hundredths = (fraction * 100 + (kGibibyte / 2)) / kGibibyte;
    if (fraction >= kCarryFrom) {
        whole += 1;
        hundredths -= 100;
    }
    std::u16string text = Decimal(whole);
    if (hundredths != 0) {
        text += u'.';
        text += static_cast<char16_t>(u'0' + hundredths / 10);
        if (hundredths % 10 != 0) text += static_cast<char16_t>(u'0' + hundredths % 10);
    }
    text += u" GB";
    return text;
}

}  // namespace velta
