// Allocation helpers of the simulated OLE Automation runtime, for the simulated providers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win/com.h"

namespace sim {

// A BSTR is preceded by its length in bytes, as Windows lays it out.
constexpr std::size_t kBstrPrefixUnits = 2;

// A BSTR of exactly these code units (it may hold zeros), tracked as live until freed.
win::BSTR AllocBstr(std::u16string_view text);

// A SAFEARRAY of BSTRs with the given lower bound and dimension count (all elements in
// the first dimension; further dimensions have one element). A null item is a null BSTR.
win::SAFEARRAY* CreateBstrArray(const std::vector<std::optional<std::u16string>>& items,
                                win::LONG lowerBound, win::USHORT dims);
// Frees an array made by CreateBstrArray with its elements (VariantClear's part).
void DestroyBstrArray(win::SAFEARRAY* array);

}  // namespace sim
