// The subsystem's two top-level operations and the entry point of the inspection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/model/layout_model.h"
#include "app/wmi/partition_identity.h"
#include "app/wmi/wmi_layer.h"

namespace velta {

struct StorageCheckResult {
    ResizeStatus status = ResizeStatus::StorageInfoUnavailable;
    std::uint64_t sizeMin = 0;  // bytes; 0 unless status is Ready
    std::uint64_t sizeMax = 0;  // bytes; 0 unless status is Ready
    std::u16string detail;
};

// "GetSupportedSize" on a verified MSFT_Partition instance.
StorageCheckResult QuerySupportedSize(const WmiConnection& connection, win::IWbemClassObject* partition);

// BitLocker state, identity and supported size of one partition, in its own COM scope.
// A BitLocker failure becomes a status; storage failures raise WmiError.
StorageCheckResult RunStorageChecks(const PartitionIdentity& identity);

// What the inspection calls: never raises WmiError.
StorageCheckResult CheckPartitionStorage(const LayoutInspection& inspection, const PartitionEntry& entry,
                                         std::u16string_view volumePath, bool expectBoot);

// Repeats every check, then shrinks (or grows) the partition with MSFT_Partition "Resize".
// Returns Resize's ReturnValue (0 for success); every refusal raises WmiError.
std::uint32_t ShrinkPartitionOnline(const PartitionIdentity& identity, std::uint64_t newSize);

}  // namespace velta
