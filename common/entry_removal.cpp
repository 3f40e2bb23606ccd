#include "common/entry_removal.h"

#include "common/handoff_names.h"

namespace velta {

namespace {

// Index of the zero that ends the element starting at `start`, or n when there is none.
uint32_t ElementEnd(const char16_t* u, uint32_t n, uint32_t start) {
    uint32_t e = start;
    while (e < n && u[e] != 0) ++e;
    return e;
}

bool IsEntry(const char16_t* u, uint32_t start, uint32_t end) {
    if (end - start != kBootEntryUnits) return false;
    for (uint32_t i = 0; i < kBootEntryUnits; ++i)
        if (u[start + i] != kBootEntry[i]) return false;
    return true;
}

}  // namespace

EntryRemovalResult RemoveBootEntry(char16_t* u, uint32_t* count) {
    if (u == nullptr || count == nullptr) return EntryRemovalResult::Malformed;
    uint32_t n = *count;
    if (n < 2 || u[n - 1] != 0 || u[n - 2] != 0) return EntryRemovalResult::Malformed;
    if (n == 2 && u[0] == 0) return EntryRemovalResult::Absent;

    uint32_t a = 0;
    uint32_t e = 0;
    for (;;) {
        e = ElementEnd(u, n, a);
        if (e == a || e >= n - 1) return EntryRemovalResult::Malformed;
        if (IsEntry(u, a, e)) break;
        a = e + 1;
        if (a >= n - 1) return EntryRemovalResult::Absent;
    }

    // The rest must be well-formed and must not hold the entry again.
    for (uint32_t i = e + 1; i < n - 1;) {
        uint32_t k = ElementEnd(u, n, i);
        if (k == i || k >= n - 1) return EntryRemovalResult::Malformed;
        if (IsEntry(u, i, k)) return EntryRemovalResult::Malformed;
        i = k + 1;
    }

    const uint32_t removed = kBootEntryUnits + 1;
    for (uint32_t i = a + removed; i < n; ++i) u[i - removed] = u[i];
    n -= removed;
    if (n == 1) {
        n = 2;
        u[1] = 0;
    }
    *count = n;
    return EntryRemovalResult::Removed;
}

}  // namespace velta
