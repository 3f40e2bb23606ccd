// The record of one layout inspection, its enumerations and the inspection's exception types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/types.h"

namespace velta {

enum class PartitionKind : std::uint32_t {
    Data = 0,
    Other = 1,
    Extended = 2,
    Logical = 3,
    Dynamic = 4,
};

enum class PlanKind : std::uint32_t {
    None = 0,
    Unallocated = 1,
    AdjacentData = 2,
    LogicalInExtended = 3,
};

// The numbers are fixed: the report, the window and the message tables index by them.
enum class ResizeStatus : std::uint32_t {
    Ready = 0,
    InvalidLayout = 1,
    ReservedNeighbour = 2,
    NoSpaceOnRight = 3,
    RestartRequired = 4,
    UnsupportedExtents = 5,
    NotNtfs = 6,
    BitLockerActive = 7,
    DecryptionUnconfirmed = 8,
    InsufficientShrinkable = 9,
    StorageInfoUnavailable = 10,
};

constexpr std::uint32_t kResizeStatusCount = 11;

struct PartitionEntry {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    std::uint32_t number = 0;
    PartitionKind kind = PartitionKind::Data;

    bool operator==(const PartitionEntry&) const = default;
};

struct GptPartitionId {
    std::uint32_t number = 0;
    win::GUID id{};
};

// What display code keeps of an inspection.
struct LayoutSnapshot {
    std::uint32_t diskNumber = 0;
    std::uint32_t windowsPartitionNumber = 0;
    std::uint32_t logicalSectorSize = 0;
    std::uint32_t physicalSectorSize = 0;
    bool isGpt = false;
    std::uint64_t windowsVolumeBytes = 0;
    std::uint64_t windowsUsedBytes = 0;
    std::uint64_t windowsPartitionLength = 0;
    std::uint64_t unallocatedRight = 0;
    std::uint64_t sourceFreeBytes = 0;
    std::uint64_t shrinkable = 0;
    std::uint64_t unallocatedIncrease = 0;
    std::uint64_t maximumIncrease = 0;
    PlanKind planKind = PlanKind::None;
    ResizeStatus status = ResizeStatus::StorageInfoUnavailable;
    std::u16string windowsDrive;
    std::u16string windowsVolumePath;
    std::u16string candidateVolumeName;
    std::u16string neighbourText;
    std::u16string fingerprint;
    std::u16string detail;
    std::u16string candidateDrive;
    std::uint64_t candidateTotalBytes = 0;
    std::uint64_t candidateFreeBytes = 0;
    std::vector<std::u16string> partitionLines;
};

// The full result; the schedule transaction reads the plan detail after the snapshot.
struct LayoutInspection {
    LayoutSnapshot snapshot;
    std::vector<PartitionEntry> partitions;
    PartitionEntry windowsEntry{0, 0, 0, PartitionKind::Data};
    PartitionEntry sourceEntry{0, 0, 0, PartitionKind::Data};
    std::vector<GptPartitionId> gptPartitionIds;
    std::vector<std::uint32_t> plainDataNumbers;
    std::u16string candidateVolumePath;
    std::uint64_t neighbourStart = 0;
    std::u16string identityText;
    std::u16string diskGuidText;
    std::uint32_t mbrSignature = 0;
    std::uint64_t diskSize = 0;
};

// Raised by the inspection: the label of the failed step and a Windows error code.
struct Error {
    std::u16string step;
    std::uint32_t code = 0;
};

// Raised by the storage management queries: what failed and its HRESULT.
struct WmiError {
    std::u16string step;
    std::uint32_t code = 0;
};

}  // namespace velta
