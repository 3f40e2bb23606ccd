#include "app/inspect/right_side_plan.h"

#include <algorithm>

#include "app/inspect/amounts.h"
#include "app/inspect/inspection_context.h"
#include "app/model/decimal.h"

namespace velta {

namespace {

RightSidePlan Refused(ResizeStatus status) { return RightSidePlan{PlanKind::None, status, 0, std::nullopt}; }

bool ByStart(const PartitionEntry& a, const PartitionEntry& b) { return a.start < b.start; }

}  // namespace

RightSidePlan PlanRightSide(const std::vector<PartitionEntry>& partitions, std::uint32_t windowsPartitionNumber,
                            std::uint64_t usableStart, std::uint64_t usableEnd, std::uint32_t sector) {
    if (usableStart >= usableEnd || (sector != 512 && sector != 4096) || usableStart % sector != 0 ||
        usableEnd % sector != 0 || windowsPartitionNumber == 0)
        return Refused(ResizeStatus::InvalidLayout);

    std::optional<PartitionEntry> windows;
    for (const auto& p : partitions) {
        if (p.length == 0 || p.start < usableStart || p.start >= usableEnd || p.length > usableEnd - p.start ||
            p.start % sector != 0 || p.length % sector != 0)
            return Refused(ResizeStatus::InvalidLayout);
        if (p.kind == PartitionKind::Dynamic) return Refused(ResizeStatus::UnsupportedExtents);
        if (p.number != 0) {
            auto sameNumber = std::count_if(partitions.begin(), partitions.end(), [&](const PartitionEntry& q) {
                return q.number == p.number && q.kind != PartitionKind::Extended;
            });
            if (sameNumber >= 2) return Refused(ResizeStatus::InvalidLayout);
        }
        if (p.number == windowsPartitionNumber && p.kind != PartitionKind::Extended) windows = p;
    }

    std::vector<PartitionEntry> logical, rest;
    for (const auto& p : partitions) (p.kind == PartitionKind::Logical ? logical : rest).push_back(p);
    std::stable_sort(logical.begin(), logical.end(), ByStart);
    std::stable_sort(rest.begin(), rest.end(), ByStart);

    std::uint64_t cursor = usableStart;
    std::optional<PartitionEntry> container;
    for (const auto& p : rest) {
        if (p.start < cursor) return Refused(ResizeStatus::InvalidLayout);
        cursor = p.start + p.length;
        if (p.kind == PartitionKind::Extended) {
            if (container) return Refused(ResizeStatus::InvalidLayout);
            container = p;
        }
    }
    if (!logical.empty()) {
        if (!container) return Refused(ResizeStatus::InvalidLayout);
        std::uint64_t containerEnd = container->start + container->length;
        cursor = container->start;
        for (const auto& p : logical) {
            // Each logical partition needs room for its EBR before it.
            if (p.start <= cursor || p.start + p.length > containerEnd) return Refused(ResizeStatus::InvalidLayout);
            cursor = p.start + p.length;
        }
    }
    if (!windows || windows->kind != PartitionKind::Data) return Refused(ResizeStatus::InvalidLayout);

    std::uint64_t windowsEnd = windows->start + windows->length;
    auto next = std::find_if(rest.begin(), rest.end(), [&](const PartitionEntry& p) { return p.start >= windowsEnd; });
    if (next == rest.end()) {
        std::uint64_t gap = usableEnd - windowsEnd;
        if (gap >= kMebibyte) return {PlanKind::Unallocated, ResizeStatus::Ready, gap, std::nullopt};
        return {PlanKind::None, ResizeStatus::NoSpaceOnRight, gap, std::nullopt};
    }
    const PartitionEntry& p = *next;
    std::uint64_t gap = p.start - windowsEnd;
    if (gap >= kMebibyte) return {PlanKind::Unallocated, ResizeStatus::Ready, gap, p};
    if (p.kind == PartitionKind::Extended) {
        if (!logical.empty()) return {PlanKind::LogicalInExtended, ResizeStatus::RestartRequired, gap, p};
        return {PlanKind::None, ResizeStatus::ReservedNeighbour, gap, p};
    }
    if (p.kind == PartitionKind::Data) return {PlanKind::AdjacentData, ResizeStatus::RestartRequired, gap, p};
    return {PlanKind::None, ResizeStatus::ReservedNeighbour, gap, p};
}

void RecordRightSidePlan(InspectionContext& ctx) {
    LayoutInspection& r = ctx.record;
    RightSidePlan plan = PlanRightSide(r.partitions, r.snapshot.windowsPartitionNumber, ctx.usableStart,
                                       ctx.usableEnd, r.snapshot.logicalSectorSize);
    r.snapshot.planKind = plan.planKind;
    r.snapshot.status = plan.status;
    r.snapshot.unallocatedRight = plan.unallocatedRight;
    if (plan.neighbour)
        r.snapshot.neighbourText = u"#" + Decimal(plan.neighbour->number) + u" @ " + Decimal(plan.neighbour->start);
}

}  // namespace velta
