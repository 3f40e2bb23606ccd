// The layout validation and the right-side plan, as tables of partition lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/inspect/right_side_plan.h"

namespace velta {
namespace {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;
constexpr auto Data = PartitionKind::Data;
constexpr auto Other = PartitionKind::Other;
constexpr auto Extended = PartitionKind::Extended;
constexpr auto Logical = PartitionKind::Logical;
constexpr auto Dynamic = PartitionKind::Dynamic;

struct Layout {
    std::vector<PartitionEntry> partitions;
    std::uint32_t windows = 2;
    std::uint64_t usableStart = 17408;  // a GPT-like usable start (34 sectors)
    std::uint64_t usableEnd = 500 * GiB;
    std::uint32_t sector = 512;
};

struct Case {
    const char* name;
    Layout layout;
    PlanKind kind;
    ResizeStatus status;
    std::uint64_t gap;
    std::optional<std::uint32_t> neighbourNumber;
};

// EFI at 1 MiB, Windows from 101 MiB for 100 GiB; Windows ends at 101 MiB + 100 GiB.
const PartitionEntry kEfi{MiB, 100 * MiB, 1, Other};
const PartitionEntry kWindows{101 * MiB, 100 * GiB, 2, Data};
constexpr std::uint64_t kWindowsEnd = 101 * MiB + 100 * GiB;

TEST(PlanRightSide, ChoosesTheWayOfGrowing) {
    const Case cases[] = {
        {"nothing follows: unallocated to the usable end",
         {{kEfi, kWindows}}, PlanKind::Unallocated, ResizeStatus::Ready, 500 * GiB - kWindowsEnd, std::nullopt},
        {"nothing follows, under 1 MiB left",
         {{kEfi, kWindows}, 2, 17408, kWindowsEnd + MiB - 512}, PlanKind::None, ResizeStatus::NoSpaceOnRight,
         MiB - 512, std::nullopt},
        {"exactly 1 MiB left counts",
         {{kEfi, kWindows}, 2, 17408, kWindowsEnd + MiB}, PlanKind::Unallocated, ResizeStatus::Ready, MiB,
         std::nullopt},
        {"512 KiB then a recovery partition",
         {{kEfi, kWindows, {kWindowsEnd + 512 * 1024, GiB, 3, Other}}}, PlanKind::None,
         ResizeStatus::ReservedNeighbour, 512 * 1024, 3u},
        {"data partition directly after",
         {{kEfi, kWindows, {kWindowsEnd, 200 * GiB, 3, Data}}}, PlanKind::AdjacentData, ResizeStatus::RestartRequired,
         0, 3u},
        {"data partition 4 KiB after",
         {{kEfi, kWindows, {kWindowsEnd + 4096, 200 * GiB, 3, Data}}}, PlanKind::AdjacentData,
         ResizeStatus::RestartRequired, 4096, 3u},
        {"10 GiB unallocated then data",
         {{kEfi, kWindows, {kWindowsEnd + 10 * GiB, 200 * GiB, 3, Data}}}, PlanKind::Unallocated,
         ResizeStatus::Ready, 10 * GiB, 3u},
        {"extended container with logical partitions directly after",
         {{kEfi, kWindows, {kWindowsEnd, 100 * GiB, 0, Extended}, {kWindowsEnd + MiB, 50 * GiB, 5, Logical}}},
         PlanKind::LogicalInExtended, ResizeStatus::RestartRequired, 0, 0u},
        {"empty extended container directly after",
         {{kEfi, kWindows, {kWindowsEnd, 100 * GiB, 0, Extended}}}, PlanKind::None, ResizeStatus::ReservedNeighbour,
         0, 0u},
        {"logical partition listed before the rest is not the neighbour",
         {{{kWindowsEnd + MiB, 50 * GiB, 5, Logical}, kEfi, kWindows, {kWindowsEnd, 100 * GiB, 0, Extended}}},
         PlanKind::LogicalInExtended, ResizeStatus::RestartRequired, 0, 0u},
        {"unsorted list is sorted by start",
         {{{kWindowsEnd, 200 * GiB, 3, Data}, kWindows, kEfi}}, PlanKind::AdjacentData, ResizeStatus::RestartRequired,
         0, 3u},
    };
    for (const auto& c : cases) {
        const Layout& l = c.layout;
        RightSidePlan plan = PlanRightSide(l.partitions, l.windows, l.usableStart, l.usableEnd, l.sector);
        EXPECT_EQ(plan.planKind, c.kind) << c.name;
        EXPECT_EQ(plan.status, c.status) << c.name;
        EXPECT_EQ(plan.unallocatedRight, c.gap) << c.name;
        ASSERT_EQ(plan.neighbour.has_value(), c.neighbourNumber.has_value()) << c.name;
        if (c.neighbourNumber) {
            EXPECT_EQ(plan.neighbour->number, *c.neighbourNumber) << c.name;
        }
    }
}

TEST(PlanRightSide, LayoutValidationRefusesWithoutANeighbour) {
    const PartitionEntry after{kWindowsEnd, GiB, 3, Data};
    const Case cases[] = {
        {"usable range empty", {{kEfi, kWindows}, 2, 500 * GiB, 500 * GiB}},
        {"odd sector size", {{kEfi, kWindows}, 2, 32768, 500 * GiB, 2048}},
        {"usable start not a sector multiple", {{kEfi, kWindows}, 2, 17409}},
        {"no Windows number", {{kEfi, kWindows}, 0}},
        {"zero length", {{kEfi, kWindows, {kWindowsEnd, 0, 3, Data}}}},
        {"starts before the usable range", {{{512, MiB, 1, Other}, kWindows}}},
        {"reaches past the usable end", {{kEfi, kWindows, {kWindowsEnd, 500 * GiB, 3, Data}}}},
        {"start not a sector multiple", {{kEfi, kWindows, {kWindowsEnd + 100, GiB, 3, Data}}}},
        {"length not a sector multiple", {{kEfi, kWindows, {kWindowsEnd, GiB + 1, 3, Data}}}},
        {"number used twice", {{kEfi, kWindows, {kWindowsEnd, GiB, 2, Data}}}},
        {"overlap", {{kEfi, kWindows, {kWindowsEnd - MiB, GiB, 3, Data}}}},
        {"two extended entries",
         {{kEfi, kWindows, {kWindowsEnd, GiB, 0, Extended}, {kWindowsEnd + GiB, GiB, 0, Extended}}}},
        {"logical partitions without a container", {{kEfi, kWindows, {kWindowsEnd + MiB, GiB, 5, Logical}}}},
        {"logical partition right at the container start (no room for its EBR)",
         {{kEfi, kWindows, {kWindowsEnd, 10 * GiB, 0, Extended}, {kWindowsEnd, GiB, 5, Logical}}}},
        {"logical partition beyond the container end",
         {{kEfi, kWindows, {kWindowsEnd, 10 * GiB, 0, Extended}, {kWindowsEnd + MiB, 10 * GiB, 5, Logical}}}},
        {"overlapping logical partitions",
         {{kEfi, kWindows, {kWindowsEnd, 10 * GiB, 0, Extended}, {kWindowsEnd + MiB, 2 * GiB, 5, Logical},
           {kWindowsEnd + 2 * GiB, GiB, 6, Logical}}}},
        {"Windows partition missing", {{kEfi, after}, 2}},
        {"Windows partition is Other", {{kEfi, {101 * MiB, 100 * GiB, 2, Other}}}},
        {"Windows partition is logical",
         {{kEfi, {101 * MiB, 200 * GiB, 0, Extended}, {102 * MiB, 100 * GiB, 2, Logical}}}},
        {"Windows number belongs only to an extended entry", {{kEfi, {101 * MiB, 200 * GiB, 2, Extended}}}},
    };
    for (const auto& c : cases) {
        const Layout& l = c.layout;
        RightSidePlan plan = PlanRightSide(l.partitions, l.windows, l.usableStart, l.usableEnd, l.sector);
        EXPECT_EQ(plan.status, ResizeStatus::InvalidLayout) << c.name;
        EXPECT_EQ(plan.planKind, PlanKind::None) << c.name;
        EXPECT_EQ(plan.unallocatedRight, 0u) << c.name;
        EXPECT_FALSE(plan.neighbour.has_value()) << c.name;
    }
}

TEST(PlanRightSide, DynamicPartitionsAreUnsupportedUnlessAnEarlierRuleBreaks) {
    Layout dynamic{{kEfi, kWindows, {kWindowsEnd + 50 * GiB, GiB, 3, Dynamic}}};
    auto plan = PlanRightSide(dynamic.partitions, 2, dynamic.usableStart, dynamic.usableEnd, 512);
    EXPECT_EQ(plan.status, ResizeStatus::UnsupportedExtents);
    EXPECT_EQ(plan.planKind, PlanKind::None);

    // The bad extent of the same entry is seen first.
    Layout broken{{kEfi, kWindows, {kWindowsEnd + 50 * GiB + 1, GiB, 3, Dynamic}}};
    EXPECT_EQ(PlanRightSide(broken.partitions, 2, broken.usableStart, broken.usableEnd, 512).status,
              ResizeStatus::InvalidLayout);
    // A broken entry listed before the dynamic one wins; one listed after it does not.
    Layout laterBroken{{kEfi, {kWindowsEnd + 50 * GiB, GiB, 3, Dynamic}, {kWindowsEnd, 0, 4, Data}, kWindows}};
    EXPECT_EQ(PlanRightSide(laterBroken.partitions, 2, laterBroken.usableStart, laterBroken.usableEnd, 512).status,
              ResizeStatus::UnsupportedExtents);
}

TEST(PlanRightSide, MbrUsableEndAtTwoTebibytesRefusesAPartitionBeyondIt) {
    constexpr std::uint64_t kMbrLimit = 512ull << 32;  // 2 TiB with 512-byte sectors
    std::vector<PartitionEntry> parts{{MiB, 100 * MiB, 1, Other}, kWindows, {kWindowsEnd, kMbrLimit, 3, Data}};
    EXPECT_EQ(PlanRightSide(parts, 2, 512, kMbrLimit, 512).status, ResizeStatus::InvalidLayout);
    parts.pop_back();
    auto plan = PlanRightSide(parts, 2, 512, kMbrLimit, 512);
    EXPECT_EQ(plan.status, ResizeStatus::Ready);
    EXPECT_EQ(plan.unallocatedRight, kMbrLimit - kWindowsEnd);
}

}  // namespace
}  // namespace velta
