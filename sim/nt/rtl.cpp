// Run-time library string helpers of ntdll, as the simulated PC provides them.
#include <algorithm>
#include <cstddef>

#include "platform/nt/rtl.h"

namespace nt {

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
    // As ntdll does: a counted view of the text, its length capped to what USHORT holds.
    std::size_t units = 0;
    if (source != nullptr)
        while (source[units] != 0) ++units;
    std::size_t bytes = std::min<std::size_t>(units * sizeof(WCHAR), 0xFFFC);
    destination->Buffer = const_cast<PWSTR>(source);
    destination->Length = static_cast<USHORT>(bytes);
    destination->MaximumLength = static_cast<USHORT>(source == nullptr ? 0 : bytes + sizeof(WCHAR));
}

}  // namespace nt
