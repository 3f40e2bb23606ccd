// Text helpers of the simulated PC.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// Windows compares object and path names without regard to case; ASCII folding is enough
// for every name the simulated PC holds.
std::u16string FoldCase(std::u16string_view s);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

std::u16string ToU16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace sim
