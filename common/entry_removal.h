// Removal of the boot-list entry from a BootExecute list, in place. Both boot-time programs
// run it first, so that one staging starts at most once.
#pragma once

#include <stdint.h>

namespace velta {

enum class EntryRemovalResult : int32_t {
    Malformed = -1,
    Absent = 0,
    Removed = 1,
};

// units holds count UTF-16 units of a REG_MULTI_SZ list. On Removed the entry and its zero
// are gone, the rest keeps its order, and count is the new length (an emptied list is two
// zero units). Nothing is changed on Malformed or Absent; an entry found twice is Malformed.
EntryRemovalResult RemoveBootEntry(char16_t* units, uint32_t* count);

}  // namespace velta
