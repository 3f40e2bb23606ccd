#include "common/claim_record.h"

#include "common/disk_layout.h"
#include "common/little_endian.h"

namespace velta {

namespace {

constexpr size_t kMagic = 0x00;
constexpr size_t kVersion = 0x04;
constexpr size_t kPlan = 0x08;
constexpr size_t kBytesMoved = kPlan + kBootPlanSize;  // 0x90
constexpr size_t kStage = 0x98;
constexpr size_t kStatus = 0x9C;
constexpr size_t kReserved = 0xA0;
constexpr size_t kCrc = 0xA4;
static_assert(kCrc + 4 == kClaimRecordSize, "the CRC closes the record");

}  // namespace

void EncodeClaimRecord(const ClaimRecord& record, uint8_t (&image)[kClaimRecordSize]) {
    StoreLe32(image + kMagic, kClaimRecordMagic);
    StoreLe32(image + kVersion, kClaimRecordVersion);
    for (size_t i = 0; i < kBootPlanSize; ++i) image[kPlan + i] = record.plan[i];
    StoreLe64(image + kBytesMoved, record.bytesMoved);
    StoreLe32(image + kStage, static_cast<uint32_t>(record.stage));
    StoreLe32(image + kStatus, static_cast<uint32_t>(record.status));
    StoreLe32(image + kReserved, 0);
    StoreLe32(image + kCrc, disk::Crc32(image, kCrc));
}

bool DecodeClaimRecord(const uint8_t* image, size_t size, ClaimRecord* record) {
    if (image == nullptr || record == nullptr || size < kClaimRecordSize) return false;
    if (LoadLe32(image + kMagic) != kClaimRecordMagic) return false;
    if (LoadLe32(image + kVersion) != kClaimRecordVersion) return false;
    if (LoadLe32(image + kCrc) != disk::Crc32(image, kCrc)) return false;
    for (size_t i = 0; i < kBootPlanSize; ++i) record->plan[i] = image[kPlan + i];
    record->bytesMoved = LoadLe64(image + kBytesMoved);
    record->stage = static_cast<MoveStage>(LoadLe32(image + kStage));
    record->status = static_cast<int32_t>(LoadLe32(image + kStatus));
    return true;
}

}  // namespace velta
