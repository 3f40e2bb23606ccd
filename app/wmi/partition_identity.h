// What the program expects the storage provider to report for one partition.
#pragma once

#include <cstdint>
#include <string>

namespace velta {

struct PartitionIdentity {
    std::uint32_t diskNumber = 0;
    std::uint32_t partitionNumber = 0;
    std::uint32_t mbrSignature = 0;   // 0 on GPT disks
    std::uint64_t start = 0;          // bytes
    std::uint64_t length = 0;         // bytes
    std::uint64_t diskSize = 0;       // bytes
    bool expectBoot = false;          // true for the Windows partition
    std::u16string volumePath;        // volume GUID path with its trailing backslash
    std::u16string diskGuidText;      // "{...}" on GPT; empty marks an MBR disk
    char16_t driveLetter = 0;         // the Windows drive's letter, or 0
};

}  // namespace velta
