#include "sim/wmi_storage_source.h"

#include "sim/machine.h"

namespace sim {

StorageFacts CollectStorageFacts(Machine& machine) {
    return StorageFacts{machine.wmi.disks, machine.wmi.partitions};
}

std::uint32_t ApplyPartitionResize(Machine& machine, std::uint32_t diskNumber,
                                   std::uint32_t partitionNumber, std::uint64_t newLength) {
    for (auto& p : machine.wmi.partitions) {
        if (p.diskNumber != diskNumber || p.number != partitionNumber) continue;
        if (newLength < p.usedBytes) return 112;  // ERROR_DISK_FULL
        if (newLength > p.size + p.spaceAfter) return 87;  // ERROR_INVALID_PARAMETER
        p.spaceAfter = p.size + p.spaceAfter - newLength;
        p.size = newLength;
        return 0;
    }
    return 2;  // ERROR_FILE_NOT_FOUND
}

}  // namespace sim
