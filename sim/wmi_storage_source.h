// Where the storage provider gets its disks, partitions and volumes from, and how it changes
// a partition's size.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/wmi_state.h"

namespace sim {

class Machine;

struct StorageFacts {
    std::vector<WmiDiskFacts> disks;
    std::vector<WmiPartitionFacts> partitions;
};

StorageFacts CollectStorageFacts(Machine& machine);

// Changes the partition's length on disk and in its file system; 0 or a Win32 error.
std::uint32_t ApplyPartitionResize(Machine& machine, std::uint32_t diskNumber,
                                   std::uint32_t partitionNumber, std::uint64_t newLength);

}  // namespace sim
