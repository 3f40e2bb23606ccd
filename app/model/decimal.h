// Unsigned decimal text without sign, leading zeros or grouping: every number the program writes
// into its texts, its identity text and its WQL queries.
#pragma once

#include <cstdint>
#include <string>

namespace velta {

inline std::u16string Decimal(std::uint64_t value) {
    char16_t digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::u16string out;
    while (n > 0) out.push_back(digits[--n]);
    return out;
}

}  // namespace velta
