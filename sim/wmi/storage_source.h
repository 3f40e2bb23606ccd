// What the storage and encryption providers see of the simulated disks and volumes, and how
// the storage provider changes a partition's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class Machine;

struct WmiDiskFacts {
    std::uint32_t number = 0;
    std::uint32_t partitionStyle = 0;  // MSFT_Disk: 0 unknown (RAW), 1 MBR, 2 GPT
    std::uint64_t size = 0;
    std::u16string guid;               // GPT: registry form
    std::uint32_t signature = 0;       // MBR
    bool offline = false;
    bool readOnly = false;
};

struct WmiPartitionFacts {
    std::uint32_t diskNumber = 0;
    std::uint32_t number = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::vector<std::u16string> accessPaths;  // the volume's mount points, then its GUID path
    std::u16string volumePath;                // empty when no volume lies on it
    bool isBoot = false;                      // holds the Windows directory's volume
    char16_t driveLetter = 0;
    bool hasFileSystem = false;
    std::uint64_t usedBytes = 0;  // of its file system
    std::uint64_t limit = 0;      // the offset its end may grow to: the next partition, EBR or usable end
};

struct StorageFacts {
    std::vector<WmiDiskFacts> disks;
    std::vector<WmiPartitionFacts> partitions;
};

StorageFacts CollectStorageFacts(Machine& machine);

// Changes the partition's length on disk and in its file system; 0 or a Win32 error.
std::uint32_t ApplyPartitionResize(Machine& machine, std::uint32_t diskNumber,
                                   std::uint32_t partitionNumber, std::uint64_t newLength);

}  // namespace sim
