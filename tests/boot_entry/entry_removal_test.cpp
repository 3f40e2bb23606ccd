// Removal of "autocheck VeltamoorMarker" from a BootExecute list, as a table of lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/entry_removal.h"

namespace velta {
namespace {

using Units = std::u16string;

const Units kEntry = u"autocheck VeltamoorMarker";
const Units kChkdsk = u"autocheck autochk *";  // 19 units

// Elements, each with its zero, then the zero that ends the list (two zeros when empty).
Units List(const std::vector<Units>& elements) {
    Units u;
    for (const auto& e : elements) {
        u += e;
        u.push_back(0);
    }
    u.push_back(0);
    if (elements.empty()) u.push_back(0);
    return u;
}

Units Z(std::size_t n) { return Units(n, u'\0'); }

TEST(EntryRemoval, TableOfLists) {
    struct Case {
        std::string what;
        Units list;
        EntryRemovalResult result;
        Units after;  // the list after a removal; otherwise the list must be unchanged
    } cases[] = {
        {"a 19-unit element, then the entry: 47 units become 21", List({kChkdsk, kEntry}), EntryRemovalResult::Removed,
         List({kChkdsk})},
        {"the entry alone becomes two zero units", List({kEntry}), EntryRemovalResult::Removed, Z(2)},
        {"the entry first", List({kEntry, u"a", u"bc"}), EntryRemovalResult::Removed, List({u"a", u"bc"})},
        {"the entry between two others", List({u"one", kEntry, u"two"}), EntryRemovalResult::Removed,
         List({u"one", u"two"})},
        {"the entry twice", List({kEntry, kEntry}), EntryRemovalResult::Malformed, {}},
        {"the entry twice, apart", List({kEntry, kChkdsk, kEntry}), EntryRemovalResult::Malformed, {}},
        {"an empty element between two others, the entry last",
         kChkdsk + Z(2) + u"x" + Z(1) + kEntry + Z(2), EntryRemovalResult::Malformed, {}},
        {"an empty element after the entry", kEntry + Z(2) + u"x" + Z(2), EntryRemovalResult::Malformed, {}},
        {"three zero units at the end", kChkdsk + Z(3), EntryRemovalResult::Malformed, {}},
        {"the entry, then three zero units", kEntry + Z(3), EntryRemovalResult::Malformed, {}},
        {"three zero units", Z(3), EntryRemovalResult::Malformed, {}},
        {"one zero unit at the end", kEntry + Z(1), EntryRemovalResult::Malformed, {}},
        {"no zero unit at all", kEntry, EntryRemovalResult::Malformed, {}},
        {"one unit", Z(1), EntryRemovalResult::Malformed, {}},
        {"no units", Units(), EntryRemovalResult::Malformed, {}},
        {"the empty list", Z(2), EntryRemovalResult::Absent, {}},
        {"other elements only", List({kChkdsk, u"autocheck other"}), EntryRemovalResult::Absent, {}},
        {"the entry in lower case", List({u"autocheck veltamoormarker"}), EntryRemovalResult::Absent, {}},
        {"the entry with arguments", List({kEntry + u" *"}), EntryRemovalResult::Absent, {}},
        {"a longer element that contains the entry", List({u"x" + kEntry}), EntryRemovalResult::Absent, {}},
        {"the entry less its last unit", List({kEntry.substr(0, 24)}), EntryRemovalResult::Absent, {}},
        // Once a match is found the rest is checked; before it, only the walk itself.
        {"a lower-case copy before the entry", List({u"autocheck veltamoormarker", kEntry}),
         EntryRemovalResult::Removed, List({u"autocheck veltamoormarker"})},
    };
    for (const auto& c : cases) {
        Units units = c.list;
        // Room behind the list, so that a write past its end would show.
        units += u"\xFFFF\xFFFF";
        std::uint32_t count = static_cast<std::uint32_t>(c.list.size());
        EntryRemovalResult got = RemoveBootEntry(units.data(), &count);
        EXPECT_EQ(got, c.result) << c.what;
        if (c.result == EntryRemovalResult::Removed) {
            ASSERT_EQ(count, c.after.size()) << c.what;
            EXPECT_EQ(units.substr(0, count), c.after) << c.what;
        } else {
            EXPECT_EQ(count, c.list.size()) << c.what;
            EXPECT_EQ(units.substr(0, c.list.size()), c.list) << c.what;
        }
        EXPECT_EQ(units.substr(c.list.size()), u"\xFFFF\xFFFF") << c.what;
    }
}

}  // namespace
}  // namespace velta
