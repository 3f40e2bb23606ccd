// Partitions and volumes in both directions, and what NTFS says about a volume.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/inspect/inspection_context.h"
#include "platform/win/types.h"

namespace velta {

struct NtfsFacts {
    bool isNtfs = false;
    std::uint64_t totalBytes = 0;  // total clusters times bytes per cluster
    std::uint64_t freeBytes = 0;   // free clusters times bytes per cluster
};

// `volumeGuidPath` with its trailing backslash; `extentLength` the bytes of the one extent the
// volume lies on. A volume that is not NTFS gives all zero. Raises Error
// "GetVolumeInformation", "Open NTFS volume", "FSCTL_GET_NTFS_VOLUME_DATA" or "NTFS
// geometry" (also for an NTFS size larger than the extent).
NtfsFacts ReadNtfsFacts(const std::u16string& volumeGuidPath, std::uint64_t extentLength);

// The volume GUID path (trailing backslash) of the one volume lying exactly on the
// partition; empty when none does, or more than one.
std::u16string FindVolumeOnPartition(std::uint32_t diskNumber, const PartitionEntry& p);

// The GUID between the first '{' of the text and the 37 characters after it.
bool ParseVolumeGuid(std::u16string_view text, win::GUID* out);

struct CandidatePass {
    std::uint32_t logicalCount = 0;
    std::optional<PartitionEntry> firstLogical;  // lowest start
    bool anyExtended = false;
    std::optional<PartitionEntry> candidate;
};

// The candidate pass over the partitions and the candidate's volume: fills
// candidateVolumePath, candidateVolumeName, candidateDrive, candidateTotalBytes and
// candidateFreeBytes. Best-effort: nothing here raises.
CandidatePass RunCandidatePass(InspectionContext& ctx);

}  // namespace velta
