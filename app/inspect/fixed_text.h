// Text that a Windows call wrote into a buffer of fixed size. Windows promises a terminating
// zero, but the inspection does not rely on it: a buffer without one is data that breaks a rule.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace velta {

// The characters before the first zero within the buffer's `capacity` characters; none when
// no zero occurs in it.
inline std::optional<std::u16string> TerminatedText(const char16_t* buffer, std::size_t capacity) {
    for (std::size_t i = 0; i < capacity; ++i)
        if (buffer[i] == 0) return std::u16string(buffer, i);
    return std::nullopt;
}

}  // namespace velta
