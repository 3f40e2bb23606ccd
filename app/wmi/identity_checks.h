// Whether the storage provider's disk and partition are the ones the inspection saw.
// Any difference raises WmiError with a fixed step; nothing is repaired or retried.
#pragma once

#include "app/wmi/partition_identity.h"
#include "app/wmi/wmi_layer.h"

namespace velta {

void VerifyDisk(const WmiConnection& connection, const PartitionIdentity& identity);

// The matching MSFT_Partition instance, owned by the caller.
ComPtr<win::IWbemClassObject> VerifyPartition(const WmiConnection& connection,
                                              const PartitionIdentity& identity);

}  // namespace velta
