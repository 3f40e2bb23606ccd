// Every console text goes out through here, as one finished string in one call.
#pragma once

#include <string_view>

namespace velta {

// UTF-16 to a real console; UTF-8 without byte-order mark, "\n" unexpanded, to a file or
// pipe. Write errors are ignored.
void WriteConsoleText(std::u16string_view text);

}  // namespace velta
