#include "common/plan_check.h"

namespace velta {

namespace {

constexpr uint32_t Magic(BootPlanKind kind) { return static_cast<uint32_t>(kind); }

bool IsMebibyteMultiple(uint64_t v) { return v % kMebibyte == 0; }

}  // namespace

uint32_t FirstBrokenPlanRule(const BootPlan& plan, uint64_t growBy, uint64_t neighbourStart,
                             bool growFull) {
    const bool growOnly = plan.magic == Magic(BootPlanKind::GrowOnly);
    const bool movePrimary = plan.magic == Magic(BootPlanKind::MovePrimary);
    const bool moveLogical = plan.magic == Magic(BootPlanKind::MoveLogical);

    if (growBy == 0) return 1;
    if (growOnly && !growFull) return 2;
    if (!growOnly && !movePrimary && !moveLogical) return 3;
    if (plan.windowsPartitionNumber == 0) return 4;
    if (plan.bytesPerSector != 512 && plan.bytesPerSector != 4096) return 5;
    if (static_cast<int64_t>(plan.diskSize) < 0 || plan.diskSize <= plan.windowsStart) return 6;
    if (!IsMebibyteMultiple(growBy)) return 7;
    // From here on diskSize > windowsStart, so the differences below cannot wrap.
    if (plan.windowsLength < 1 || plan.windowsLength > plan.diskSize - plan.windowsStart) return 8;
    const uint64_t windowsEnd = plan.windowsStart + plan.windowsLength;  // <= diskSize
    if (growBy > plan.diskSize - windowsEnd) return 9;

    if (growOnly) {
        if (plan.sourcePartitionNumber != 0 || plan.sourceStart != windowsEnd ||
            plan.sourceLength != 0 || plan.shift != 0)
            return 10;
        return 0;
    }

    if (plan.sourcePartitionNumber == 0 ||
        plan.sourcePartitionNumber == plan.windowsPartitionNumber)
        return 11;
    if (neighbourStart < windowsEnd || neighbourStart > plan.sourceStart ||
        plan.sourceStart >= plan.diskSize)
        return 11;
    if (plan.sourceLength < 1 || plan.sourceLength > plan.diskSize - plan.sourceStart) return 11;
    const uint64_t roomAfterSource = plan.diskSize - plan.sourceStart - plan.sourceLength;
    if (!IsMebibyteMultiple(plan.shift) || plan.shift < 1 || plan.shift > roomAfterSource)
        return 11;
    // Both terms are below 2^63 here, so the sum cannot wrap.
    if (growBy != plan.shift + (neighbourStart - windowsEnd)) return 11;
    if (!IsMebibyteMultiple(plan.sourceStart) || !IsMebibyteMultiple(plan.sourceLength)) return 11;

    if (movePrimary) return neighbourStart == plan.sourceStart ? 0 : 12;

    if (plan.mbrSignature == 0) return 13;
    if (plan.sourceStart - neighbourStart < 512) return 13;
    if (neighbourStart % 512 != 0) return 13;
    if (plan.bytesPerSector != 512) return 13;
    if (plan.diskSize >= (uint64_t{1} << 41)) return 13;
    return 0;
}

}  // namespace velta
