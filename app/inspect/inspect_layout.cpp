#include "app/inspect/inspect_layout.h"

#include <utility>

#include "app/inspect/inspection_context.h"

namespace velta {

LayoutInspection InspectLayout(bool analyse) {
    LayoutInspection record;
    record.snapshot.status = ResizeStatus::StorageInfoUnavailable;
    InspectionContext ctx{record, analyse};
    if (!ProbeWindowsVolume(ctx)) {
        record.snapshot.status = ResizeStatus::UnsupportedExtents;
        return record;
    }
    ProbeDisk(ctx);
    ReadPartitionTable(ctx);
    RecordRightSidePlan(ctx);
    ReadWindowsVolumeFacts(ctx);
    HashLayoutIdentity(ctx);
    if (analyse) AnalyseRightSide(ctx);
    return record;
}

LayoutSnapshot InspectForDisplay() {
    auto failed = [](std::u16string step) {
        LayoutSnapshot s;
        s.status = ResizeStatus::StorageInfoUnavailable;
        s.detail = std::move(step);
        return s;
    };
    try {
        return std::move(InspectLayout(true).snapshot);
    } catch (const Error& e) {
        return failed(e.step);
    } catch (const WmiError& e) {
        return failed(e.step);
    }
}

}  // namespace velta
