// What every failed inspection must look like on the display path.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/inspect/inspect_layout.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace velta::testing {

inline void ExpectBlankFailure(const LayoutSnapshot& s, const std::u16string& label) {
    EXPECT_EQ(s.status, ResizeStatus::StorageInfoUnavailable);
    EXPECT_EQ(sim::ToUtf8(s.detail), sim::ToUtf8(label));
    EXPECT_EQ(s.diskNumber | s.windowsPartitionNumber | s.logicalSectorSize | s.physicalSectorSize, 0u);
    EXPECT_FALSE(s.isGpt);
    EXPECT_EQ(s.windowsVolumeBytes | s.windowsUsedBytes | s.windowsPartitionLength | s.unallocatedRight |
                  s.sourceFreeBytes | s.shrinkable | s.unallocatedIncrease | s.maximumIncrease |
                  s.candidateTotalBytes | s.candidateFreeBytes,
              0u);
    EXPECT_EQ(s.planKind, PlanKind::None);
    EXPECT_TRUE(s.windowsDrive.empty() && s.windowsVolumePath.empty() && s.candidateVolumeName.empty() &&
                s.neighbourText.empty() && s.fingerprint.empty() && s.candidateDrive.empty());
    EXPECT_TRUE(s.partitionLines.empty());
}

struct FailureCase {
    const char* name;
    std::function<void(sim::Machine&)> arrange;
    std::u16string label;
    std::uint32_t code;
};

// Runs one case on a fresh machine built by `build`: the display path shows the label and
// nothing else, the full inspection raises the label with the code, and no handle stays open.
template <typename Build>
void ExpectInspectionFails(const FailureCase& c, Build build) {
    SCOPED_TRACE(c.name);
    auto pc = build();
    c.arrange(pc->machine);
    ExpectBlankFailure(InspectForDisplay(), c.label);
    EXPECT_EQ(pc->machine.handles.OpenCount(), 0u);
    pc.reset();  // the previous machine stops being current before the next one starts
    pc = build();
    c.arrange(pc->machine);
    try {
        InspectLayout(false);
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(sim::ToUtf8(e.step), sim::ToUtf8(c.label));
        EXPECT_EQ(e.code, c.code);
    }
    EXPECT_EQ(pc->machine.handles.OpenCount(), 0u);
}

}  // namespace velta::testing
