// Step 8 of the inspection: how much can be added, and the status that explains why not.
#include <algorithm>

#include "app/inspect/amounts.h"
#include "app/inspect/fingerprint.h"
#include "app/inspect/inspection_context.h"
#include "app/inspect/right_side_plan.h"
#include "app/inspect/volume_mapping.h"
#include "app/wmi/storage_checks.h"

namespace velta {

namespace {

bool Contains(const std::vector<std::uint32_t>& numbers, std::uint32_t n) {
    return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
}

// Whether the source may give space at all; refusals leave no trace but a maximum that
// stays at the unallocated increase.
bool SourceQualifies(const LayoutInspection& r, const CandidatePass& pass, const PartitionEntry& neighbour,
                     const std::optional<PartitionEntry>& source, std::uint64_t gap) {
    const LayoutSnapshot& s = r.snapshot;
    if (!source || !pass.candidate || !(*source == *pass.candidate) || r.candidateVolumePath.empty()) return false;
    if (neighbour.kind == PartitionKind::Extended) {
        if (s.isGpt || pass.logicalCount > 2 || s.logicalSectorSize != 512) return false;
        if (source->start + source->length > neighbour.start + neighbour.length) return false;
    } else if (neighbour.kind != PartitionKind::Data || pass.anyExtended) {
        return false;
    }
    if (!Contains(r.plainDataNumbers, source->number)) return false;
    if (gap % kMebibyte != 0 || source->start % kMebibyte != 0 || source->length % kMebibyte != 0) return false;
    return s.unallocatedIncrease == gap;
}

}  // namespace

void AnalyseRightSide(InspectionContext& ctx) {
    LayoutInspection& r = ctx.record;
    LayoutSnapshot& s = r.snapshot;

    CandidatePass pass = RunCandidatePass(ctx);
    // NTFS reports a size greater than zero for every NTFS volume, so zero means not NTFS.
    if (s.windowsVolumeBytes == 0) {
        s.status = ResizeStatus::NotNtfs;
        return;
    }
    if (s.planKind == PlanKind::None) return;

    StorageCheckResult windows = CheckPartitionStorage(r, r.windowsEntry, s.windowsVolumePath, true);
    if (windows.status != ResizeStatus::Ready) {
        s.status = windows.status;
        s.detail = windows.detail;
        return;
    }

    // The plan is derived again rather than carried: it is a pure function of the table.
    RightSidePlan plan =
        PlanRightSide(r.partitions, s.windowsPartitionNumber, ctx.usableStart, ctx.usableEnd, s.logicalSectorSize);
    std::uint64_t gap = plan.unallocatedRight;
    bool mbrException = !s.isGpt && s.planKind == PlanKind::Unallocated && plan.neighbour &&
                        plan.neighbour->kind == PartitionKind::Data;
    s.unallocatedIncrease = GrowthFromUnallocated(gap, s.windowsPartitionLength, windows.sizeMax, mbrException);
    s.maximumIncrease = s.unallocatedIncrease;
    if (mbrException && windows.sizeMax == s.windowsPartitionLength) return;
    if (!plan.neighbour) return;
    const PartitionEntry& neighbour = *plan.neighbour;

    std::optional<PartitionEntry> source =
        neighbour.kind == PartitionKind::Extended ? pass.firstLogical : std::optional<PartitionEntry>(neighbour);
    if (!SourceQualifies(r, pass, neighbour, source, gap)) return;

    // The candidate volume lies exactly on the source partition (FindVolumeOnPartition).
    NtfsFacts facts = ReadNtfsFacts(r.candidateVolumePath, source->length);
    if (!facts.isNtfs) {
        if (s.unallocatedIncrease == 0) s.status = ResizeStatus::NotNtfs;
        return;
    }
    s.sourceFreeBytes = facts.freeBytes;
    s.candidateTotalBytes = facts.totalBytes;
    s.candidateFreeBytes = facts.freeBytes;

    StorageCheckResult checks = CheckPartitionStorage(r, *source, r.candidateVolumePath, false);
    if (checks.status != ResizeStatus::Ready) {
        if (s.unallocatedIncrease == 0) {
            s.status = checks.status;
            s.detail = checks.detail;
        }
        return;
    }

    // At least 1 GiB always stays free on the source volume.
    std::uint64_t length = source->length;
    if (checks.sizeMin == 0 || length <= checks.sizeMin) {
        s.shrinkable = 0;
    } else {
        std::uint64_t spare = s.sourceFreeBytes > kGibibyte ? s.sourceFreeBytes - kGibibyte : 0;
        s.shrinkable = RoundDownToMebibyte(std::min(spare, length - checks.sizeMin));
    }
    if (s.shrinkable == 0) {
        if (s.unallocatedIncrease == 0) s.status = ResizeStatus::InsufficientShrinkable;
        return;
    }

    r.sourceEntry = *source;
    r.neighbourStart = neighbour.start;
    s.maximumIncrease = s.unallocatedIncrease + s.shrinkable;
    s.fingerprint = ComputeFingerprint(s.fingerprint + u"|" + r.candidateVolumePath);
}

}  // namespace velta
