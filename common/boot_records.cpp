#include "common/boot_records.h"

#include "common/little_endian.h"

namespace velta {

void EncodeBootPlan(const BootPlan& plan, uint8_t (&image)[kBootPlanSize]) {
    uint8_t* p = image;
    StoreLe32(p + 0x00, plan.magic);
    StoreLe32(p + 0x04, plan.diskNumber);
    StoreLe32(p + 0x08, plan.windowsPartitionNumber);
    StoreLe32(p + 0x0C, plan.sourcePartitionNumber);
    StoreLe32(p + 0x10, plan.bytesPerSector);
    StoreLe32(p + 0x14, plan.mbrSignature);
    StoreGuid(p + 0x18, plan.gptDiskId);
    StoreGuid(p + 0x28, plan.windowsPartitionId);
    StoreGuid(p + 0x38, plan.sourcePartitionId);
    StoreGuid(p + 0x48, plan.sourceVolumeId);
    StoreLe64(p + 0x58, plan.diskSize);
    StoreLe64(p + 0x60, plan.windowsStart);
    StoreLe64(p + 0x68, plan.windowsLength);
    StoreLe64(p + 0x70, plan.sourceStart);
    StoreLe64(p + 0x78, plan.sourceLength);
    StoreLe64(p + 0x80, plan.shift);
}

bool DecodeBootPlan(const uint8_t* p, size_t size, BootPlan* plan) {
    if (p == nullptr || plan == nullptr || size != kBootPlanSize) return false;
    plan->magic = LoadLe32(p + 0x00);
    plan->diskNumber = LoadLe32(p + 0x04);
    plan->windowsPartitionNumber = LoadLe32(p + 0x08);
    plan->sourcePartitionNumber = LoadLe32(p + 0x0C);
    plan->bytesPerSector = LoadLe32(p + 0x10);
    plan->mbrSignature = LoadLe32(p + 0x14);
    plan->gptDiskId = LoadGuid(p + 0x18);
    plan->windowsPartitionId = LoadGuid(p + 0x28);
    plan->sourcePartitionId = LoadGuid(p + 0x38);
    plan->sourceVolumeId = LoadGuid(p + 0x48);
    plan->diskSize = LoadLe64(p + 0x58);
    plan->windowsStart = LoadLe64(p + 0x60);
    plan->windowsLength = LoadLe64(p + 0x68);
    plan->sourceStart = LoadLe64(p + 0x70);
    plan->sourceLength = LoadLe64(p + 0x78);
    plan->shift = LoadLe64(p + 0x80);
    return true;
}

void EncodeGrowPlan(const GrowPlan& grow, uint8_t (&image)[kGrowPlanSize]) {
    StoreGuid(image + 0x00, grow.windowsVolumeId);
    StoreLe64(image + 0x10, grow.growBy);
    StoreLe64(image + 0x18, grow.neighbourStart);
}

GrowPlan DefaultGrowPlan(const BootPlan& plan) {
    GrowPlan grow;
    grow.growBy = plan.shift;
    grow.neighbourStart = plan.magic == static_cast<uint32_t>(BootPlanKind::MoveLogical)
                              ? plan.windowsStart + plan.windowsLength
                              : plan.sourceStart;
    return grow;
}

bool DecodeGrowPlan(const uint8_t* p, size_t size, const BootPlan& plan, GrowPlan* grow) {
    if (p == nullptr || grow == nullptr) return false;
    if (size != kGrowPlanSize && size != kGrowPlanShortSize) return false;
    GrowPlan decoded = DefaultGrowPlan(plan);
    decoded.windowsVolumeId = LoadGuid(p + 0x00);
    if (size == kGrowPlanSize) {
        decoded.growBy = LoadLe64(p + 0x10);
        decoded.neighbourStart = LoadLe64(p + 0x18);
    }
    *grow = decoded;
    return true;
}

void EncodeMoveResult(const MoveResult& result, uint8_t (&image)[kMoveResultSize]) {
    StoreLe32(image + 0x00, static_cast<uint32_t>(result.stage));
    StoreLe32(image + 0x04, static_cast<uint32_t>(result.status));
    StoreLe64(image + 0x08, result.bytesMoved);
}

bool DecodeMoveResult(const uint8_t* p, size_t size, MoveResult* result) {
    if (p == nullptr || result == nullptr || size != kMoveResultSize) return false;
    result->stage = static_cast<MoveStage>(LoadLe32(p + 0x00));
    result->status = static_cast<int32_t>(LoadLe32(p + 0x04));
    result->bytesMoved = LoadLe64(p + 0x08);
    return true;
}

void EncodeGrowResult(const GrowResult& result, uint8_t (&image)[kGrowResultSize]) {
    StoreLe32(image + 0x00, static_cast<uint32_t>(result.stage));
    StoreLe32(image + 0x04, static_cast<uint32_t>(result.status));
    StoreLe64(image + 0x08, result.partitionLength);
    StoreLe64(image + 0x10, result.ntfsBytesBefore);
    StoreLe64(image + 0x18, result.ntfsBytesAfter);
}

bool DecodeGrowResult(const uint8_t* p, size_t size, GrowResult* result) {
    if (p == nullptr || result == nullptr || size != kGrowResultSize) return false;
    result->stage = static_cast<GrowStage>(LoadLe32(p + 0x00));
    result->status = static_cast<int32_t>(LoadLe32(p + 0x04));
    result->partitionLength = LoadLe64(p + 0x08);
    result->ntfsBytesBefore = LoadLe64(p + 0x10);
    result->ntfsBytesAfter = LoadLe64(p + 0x18);
    return true;
}

void EncodeDrawCounters(const DrawCounters& counters, uint8_t (&image)[kDrawCountersSize]) {
    StoreLe32(image + 0x00, counters.drawCalls);
    StoreLe32(image + 0x04, counters.drawSuccesses);
    StoreLe32(image + 0x08, static_cast<uint32_t>(counters.lastDrawStatus));
}

bool DecodeDrawCounters(const uint8_t* p, size_t size, DrawCounters* counters) {
    if (p == nullptr || counters == nullptr || size != kDrawCountersSize) return false;
    counters->drawCalls = LoadLe32(p + 0x00);
    counters->drawSuccesses = LoadLe32(p + 0x04);
    counters->lastDrawStatus = static_cast<int32_t>(LoadLe32(p + 0x08));
    return true;
}

}  // namespace velta
