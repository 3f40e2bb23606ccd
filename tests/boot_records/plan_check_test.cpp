// The well-formed plan rules: each one broken on its own, and the order in which they apply.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/boot_records.h"
#include "common/plan_check.h"

namespace velta {
namespace {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;

std::uint32_t Magic(BootPlanKind k) { return static_cast<std::uint32_t>(k); }

// The plan with its effective grow values, as the executor checks it.
struct Checked {
    BootPlan plan;
    std::uint64_t growBy = 0;
    std::uint64_t neighbourStart = 0;
    bool growFull = true;

    std::uint64_t WindowsEnd() const { return plan.windowsStart + plan.windowsLength; }
    std::uint32_t Rule() const { return FirstBrokenPlanRule(plan, growBy, neighbourStart, growFull); }
};

// GPT disk of 100 GiB: Windows at 16 MiB, 40 GiB long; a 2 MiB gap; the source partition of
// 30 GiB moves right by 10 GiB.
Checked MovePrimary() {
    Checked c;
    c.plan.magic = Magic(BootPlanKind::MovePrimary);
    c.plan.diskNumber = 0;
    c.plan.windowsPartitionNumber = 3;
    c.plan.sourcePartitionNumber = 4;
    c.plan.bytesPerSector = 512;
    c.plan.diskSize = 100 * GiB;
    c.plan.windowsStart = 16 * MiB;
    c.plan.windowsLength = 40 * GiB;
    c.plan.sourceStart = c.WindowsEnd() + 2 * MiB;
    c.plan.sourceLength = 30 * GiB;
    c.plan.shift = 10 * GiB;
    c.neighbourStart = c.plan.sourceStart;
    c.growBy = c.plan.shift + 2 * MiB;
    return c;
}

// MBR disk: the extended partition starts 1 MiB after Windows, its first logical partition
// 1 MiB after its EBR.
Checked MoveLogical() {
    Checked c = MovePrimary();
    c.plan.magic = Magic(BootPlanKind::MoveLogical);
    c.plan.mbrSignature = 0x1234ABCD;
    c.neighbourStart = c.WindowsEnd() + 1 * MiB;
    c.plan.sourceStart = c.neighbourStart + 1 * MiB;
    c.plan.sourceLength = 30 * GiB;
    c.growBy = c.plan.shift + 1 * MiB;
    return c;
}

// 5 GiB of unallocated space taken right after Windows.
Checked GrowOnly() {
    Checked c = MovePrimary();
    c.plan.magic = Magic(BootPlanKind::GrowOnly);
    c.plan.sourcePartitionNumber = 0;
    c.plan.sourceStart = c.WindowsEnd();
    c.plan.sourceLength = 0;
    c.plan.shift = 0;
    c.neighbourStart = 0;
    c.growBy = 5 * GiB;
    return c;
}

TEST(PlanCheck, TheBasePlansAreWellFormed) {
    for (auto make : {MovePrimary, MoveLogical, GrowOnly}) {
        Checked c = make();
        EXPECT_EQ(c.Rule(), 0u);
        EXPECT_TRUE(IsPlanWellFormed(c.plan, c.growBy, c.neighbourStart, c.growFull));
    }
}

TEST(PlanCheck, EachRuleFailsOnItsOwn) {
    struct Case {
        std::string what;
        Checked (*base)();
        std::function<void(Checked&)> change;
        std::uint32_t rule;
    } cases[] = {
        {"growBy 0", GrowOnly, [](Checked& c) { c.growBy = 0; }, 1},
        {"'VTM3' without all 32 grow bytes", GrowOnly, [](Checked& c) { c.growFull = false; }, 2},
        {"magic 'VTM4'", GrowOnly, [](Checked& c) { c.plan.magic = 0x56544D34; }, 3},
        {"magic in the wrong byte order", GrowOnly, [](Checked& c) { c.plan.magic = 0x334D5456; }, 3},
        {"magic 0", MovePrimary, [](Checked& c) { c.plan.magic = 0; }, 3},
        {"Windows partition number 0", GrowOnly, [](Checked& c) { c.plan.windowsPartitionNumber = 0; }, 4},
        {"1024-byte sectors", GrowOnly, [](Checked& c) { c.plan.bytesPerSector = 1024; }, 5},
        {"0-byte sectors", MovePrimary, [](Checked& c) { c.plan.bytesPerSector = 0; }, 5},
        {"disk size negative as signed", GrowOnly, [](Checked& c) { c.plan.diskSize = 1ull << 63; }, 6},
        {"disk size equal to the Windows start", GrowOnly,
         [](Checked& c) { c.plan.diskSize = c.plan.windowsStart; }, 6},
        {"growBy not a MiB multiple", GrowOnly, [](Checked& c) { c.growBy += 512; }, 7},
        {"Windows length 0", GrowOnly,
         [](Checked& c) {
             c.plan.windowsLength = 0;
             c.plan.sourceStart = c.WindowsEnd();
         }, 8},
        {"Windows partition past the disk end", GrowOnly,
         [](Checked& c) {
             c.plan.windowsLength = c.plan.diskSize - c.plan.windowsStart + 1;
             c.plan.sourceStart = c.WindowsEnd();
         }, 8},
        {"growBy past the disk end", GrowOnly,
         [](Checked& c) { c.growBy = c.plan.diskSize - c.WindowsEnd() + MiB; }, 9},
        {"'VTM3' with a source partition number", GrowOnly, [](Checked& c) { c.plan.sourcePartitionNumber = 4; }, 10},
        {"'VTM3' with sourceStart after G", GrowOnly, [](Checked& c) { c.plan.sourceStart += MiB; }, 10},
        {"'VTM3' with a source length", GrowOnly, [](Checked& c) { c.plan.sourceLength = MiB; }, 10},
        {"'VTM3' with a shift", GrowOnly, [](Checked& c) { c.plan.shift = MiB; }, 10},
        {"source partition number 0", MovePrimary, [](Checked& c) { c.plan.sourcePartitionNumber = 0; }, 11},
        {"source is the Windows partition", MovePrimary,
         [](Checked& c) { c.plan.sourcePartitionNumber = c.plan.windowsPartitionNumber; }, 11},
        {"neighbour inside the Windows partition", MoveLogical,
         [](Checked& c) {
             c.neighbourStart = c.WindowsEnd() - MiB;
             c.growBy = c.plan.shift;  // what the gap formula would wrap to, less one MiB
         }, 11},
        {"neighbour after the source start", MoveLogical,
         [](Checked& c) {
             c.neighbourStart = c.plan.sourceStart + MiB;
             c.growBy = c.plan.shift + (c.neighbourStart - c.WindowsEnd());
         }, 11},
        {"source starting at the disk end", MovePrimary,
         [](Checked& c) { c.plan.sourceStart = c.plan.diskSize; }, 11},
        {"source length 0", MovePrimary, [](Checked& c) { c.plan.sourceLength = 0; }, 11},
        {"source past the disk end", MovePrimary,
         [](Checked& c) { c.plan.sourceLength = c.plan.diskSize - c.plan.sourceStart + MiB; }, 11},
        {"shift 0", MovePrimary,
         [](Checked& c) {
             c.plan.shift = 0;
             c.growBy = 2 * MiB;
         }, 11},
        {"shift not a MiB multiple", MoveLogical,
         [](Checked& c) {
             // A half-MiB gap keeps growBy itself a MiB multiple.
             c.plan.shift += MiB / 2;
             c.neighbourStart = c.WindowsEnd() + MiB / 2;
             c.growBy = c.plan.shift + MiB / 2;
         }, 11},
        {"shift past the disk end", MovePrimary,
         [](Checked& c) {
             c.plan.shift = c.plan.diskSize - c.plan.sourceStart - c.plan.sourceLength + MiB;
             c.growBy = c.plan.shift + 2 * MiB;
         }, 11},
        {"growBy without the gap (a 16-byte grow value)", MovePrimary,
         [](Checked& c) { c.growBy = c.plan.shift; }, 11},
        {"source start not a MiB multiple", MoveLogical, [](Checked& c) { c.plan.sourceStart += 512; }, 11},
        {"source length not a MiB multiple", MovePrimary, [](Checked& c) { c.plan.sourceLength -= 512; }, 11},
        {"'VTM1' neighbour before the source", MovePrimary,
         [](Checked& c) {
             c.neighbourStart = c.plan.sourceStart - MiB;
             c.growBy = c.plan.shift + MiB;
         }, 12},
        {"'VTM2' on a GPT disk", MoveLogical, [](Checked& c) { c.plan.mbrSignature = 0; }, 13},
        {"'VTM2' source at the EBR", MoveLogical,
         [](Checked& c) {
             c.neighbourStart = c.plan.sourceStart;
             c.growBy = c.plan.shift + (c.neighbourStart - c.WindowsEnd());
         }, 13},
        {"'VTM2' EBR not on a 512-byte boundary", MoveLogical,
         [](Checked& c) {
             c.plan.windowsLength += 256;
             c.neighbourStart += 256;
         }, 13},
        {"'VTM2' with 4096-byte sectors", MoveLogical, [](Checked& c) { c.plan.bytesPerSector = 4096; }, 13},
        {"'VTM2' on a disk of exactly 2 TiB", MoveLogical, [](Checked& c) { c.plan.diskSize = 1ull << 41; }, 13},
    };
    for (const auto& c : cases) {
        Checked checked = c.base();
        c.change(checked);
        EXPECT_EQ(checked.Rule(), c.rule) << c.what;
        EXPECT_FALSE(IsPlanWellFormed(checked.plan, checked.growBy, checked.neighbourStart,
                                      checked.growFull))
            << c.what;
    }
}

TEST(PlanCheck, LimitsThatStillPass) {
    struct Case {
        std::string what;
        Checked (*base)();
        std::function<void(Checked&)> change;
    } cases[] = {
        {"growBy up to the disk end", GrowOnly,
         [](Checked& c) { c.growBy = c.plan.diskSize - c.WindowsEnd(); }},
        {"'VTM1' plans ignore a short grow value", MovePrimary, [](Checked& c) { c.growFull = false; }},
        {"'VTM1' with 4096-byte sectors", MovePrimary, [](Checked& c) { c.plan.bytesPerSector = 4096; }},
        {"'VTM1' without a gap", MovePrimary,
         [](Checked& c) {
             c.plan.sourceStart = c.WindowsEnd();
             c.neighbourStart = c.plan.sourceStart;
             c.growBy = c.plan.shift;
         }},
        {"shift up to the disk end", MovePrimary,
         [](Checked& c) {
             c.plan.shift = c.plan.diskSize - c.plan.sourceStart - c.plan.sourceLength;
             c.growBy = c.plan.shift + 2 * MiB;
         }},
        {"'VTM2' source 512 bytes after its EBR", MoveLogical,
         [](Checked& c) {
             c.neighbourStart = c.plan.sourceStart - 512;
             c.plan.windowsLength = c.neighbourStart - MiB - c.plan.windowsStart;
             c.growBy = c.plan.shift + MiB;
         }},
        {"'VTM2' on a disk just under 2 TiB", MoveLogical,
         [](Checked& c) { c.plan.diskSize = (1ull << 41) - MiB; }},
    };
    for (const auto& c : cases) {
        Checked checked = c.base();
        c.change(checked);
        EXPECT_EQ(checked.Rule(), 0u) << c.what;
    }
}

TEST(PlanCheck, TheFirstBrokenRuleIsReported) {
    Checked c = GrowOnly();
    c.growFull = false;
    c.plan.windowsPartitionNumber = 0;
    c.plan.bytesPerSector = 7;
    EXPECT_EQ(c.Rule(), 2u);
    c.growFull = true;
    EXPECT_EQ(c.Rule(), 4u);
    c.plan.windowsPartitionNumber = 3;
    EXPECT_EQ(c.Rule(), 5u);

    Checked m = MoveLogical();
    m.plan.magic = 0;
    m.growBy = 0;
    EXPECT_EQ(m.Rule(), 1u);
}

}  // namespace
}  // namespace velta
