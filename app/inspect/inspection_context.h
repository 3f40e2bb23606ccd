// State that the steps of one inspection share while the record is being built.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/model/layout_model.h"
#include "platform/win/unique.h"

namespace velta {

struct InspectionContext {
    InspectionContext(LayoutInspection& r, bool a) : record(r), analyse(a) {}

    LayoutInspection& record;
    bool analyse = false;

    // Owned for the whole inspection and closed on every exit.
    win::UniqueHandle volume;
    win::UniqueHandle disk;

    // The Windows volume's single extent.
    std::uint64_t extentStart = 0;
    std::uint64_t extentLength = 0;

    // The geometry's DiskSize; kept as diskSize once the partition style is accepted.
    std::uint64_t geometryDiskSize = 0;

    std::vector<std::uint8_t> deviceDescriptor;  // only the bytes Windows returned
    std::vector<std::uint8_t> driveLayout;       // only the bytes Windows returned

    std::uint64_t usableStart = 0;
    std::uint64_t usableEnd = 0;

    // The identity text as it grows; hashed into the fingerprint.
    std::u16string identity;
};

// The pipeline's steps, in order.
bool ProbeWindowsVolume(InspectionContext& ctx);  // false: not exactly one extent
void ProbeDisk(InspectionContext& ctx);
void ReadPartitionTable(InspectionContext& ctx);
void RecordRightSidePlan(InspectionContext& ctx);
void ReadWindowsVolumeFacts(InspectionContext& ctx);
void HashLayoutIdentity(InspectionContext& ctx);
void AnalyseRightSide(InspectionContext& ctx);

}  // namespace velta
