#include "app/inspect/volume_mapping.h"

#include <optional>
#include <vector>

#include "app/inspect/fixed_text.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/guid.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/process.h"
#include "platform/win/storage.h"
#include "platform/win/storage_constants.h"
#include "platform/win/storage_unique.h"
#include "platform/win/unique.h"

namespace velta {

namespace {

constexpr win::DWORD kPathChars = 260;
constexpr win::DWORD kMountListChars = 1024;
constexpr win::DWORD kFileSystemNameChars = 32;

bool IsNtfsName(std::u16string_view name) {
    static constexpr char16_t kNtfs[] = u"NTFS";
    if (name.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char16_t c = name[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != kNtfs[i]) return false;
    }
    return true;
}

std::u16string WithoutLastCharacter(std::u16string_view path) {
    return std::u16string(path.empty() ? path : path.substr(0, path.size() - 1));
}

// The single extent of a volume opened without access, if it has exactly one.
bool SingleExtent(win::HANDLE volume, std::uint32_t* disk, std::uint64_t* start, std::uint64_t* length) {
    namespace x = win::disk_extents;
    std::uint8_t buffer[x::kSize] = {};
    win::DWORD returned = 0;
    if (!win::DeviceIoControl(volume, win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer, x::kSize,
                              &returned, nullptr))
        return false;
    if (returned < x::kSize || velta::LoadLe32(buffer + x::NumberOfDiskExtents) != 1) return false;
    *disk = velta::LoadLe32(buffer + x::Extents + x::DiskNumber);
    *start = velta::LoadLe64(buffer + x::Extents + x::StartingOffset);
    *length = velta::LoadLe64(buffer + x::Extents + x::ExtentLength);
    return true;
}

bool IsDriveRoot(std::u16string_view mountPoint) { return mountPoint.size() == 3 && mountPoint[1] == u':'; }

// The candidate volume's name: its first drive root, else its GUID path.
std::u16string VolumeDisplayName(const std::u16string& volumePath) {
    std::vector<char16_t> list(kMountListChars, 0);
    win::DWORD returned = 0;
    if (win::GetVolumePathNamesForVolumeNameW(volumePath.c_str(), list.data(), kMountListChars, &returned)) {
        // Each name ends with a null, the list with an empty name; never read past the buffer,
        // and a name that the buffer cuts off before its null does not count.
        std::size_t at = 0;
        while (at < list.size() && list[at] != 0) {
            std::optional<std::u16string> name = TerminatedText(list.data() + at, list.size() - at);
            if (!name) break;
            if (IsDriveRoot(*name)) return name->substr(0, 2);
            at += name->size() + 1;
        }
    }
    return volumePath;
}

}  // namespace

NtfsFacts ReadNtfsFacts(const std::u16string& volumeGuidPath, std::uint64_t extentLength) {
    char16_t fileSystemBuffer[kFileSystemNameChars] = {};
    if (!win::GetVolumeInformationW(volumeGuidPath.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystemBuffer,
                                    kFileSystemNameChars))
        throw Error{u"GetVolumeInformation", win::GetLastError()};
    std::optional<std::u16string> fileSystem = TerminatedText(fileSystemBuffer, kFileSystemNameChars);
    if (!fileSystem) throw Error{u"GetVolumeInformation", win::ERROR_INVALID_DATA};
    if (!IsNtfsName(*fileSystem)) return {};

    win::UniqueHandle volume(win::CreateFileW(WithoutLastCharacter(volumeGuidPath).c_str(), win::GENERIC_READ,
                                              win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                              win::OPEN_EXISTING, 0, nullptr));
    if (!volume) throw Error{u"Open NTFS volume", win::GetLastError()};

    namespace n = win::ntfs_volume_data;
    std::uint8_t data[n::kSize] = {};
    win::DWORD returned = 0;
    if (!win::DeviceIoControl(volume.get(), win::FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, data, n::kSize, &returned,
                              nullptr))
        throw Error{u"FSCTL_GET_NTFS_VOLUME_DATA", win::GetLastError()};
    std::int64_t total = win::LoadI64(data + n::TotalClusters);
    std::int64_t free = win::LoadI64(data + n::FreeClusters);
    std::uint32_t cluster = velta::LoadLe32(data + n::BytesPerCluster);
    bool sound = returned >= n::kSize && total > 0 && free >= 0 && free <= total && cluster != 0 &&
                 (1u << 20) % cluster == 0;
    // A cluster count whose byte size does not fit 64 bits is no real volume either.
    if (sound && static_cast<std::uint64_t>(total) > UINT64_MAX / cluster) sound = false;
    // A file system cannot be larger than the disk space it lives in.
    if (sound && static_cast<std::uint64_t>(total) * cluster > extentLength) sound = false;
    if (!sound) throw Error{u"NTFS geometry", win::ERROR_INVALID_DATA};
    return NtfsFacts{true, static_cast<std::uint64_t>(total) * cluster, static_cast<std::uint64_t>(free) * cluster};
}

std::u16string FindVolumeOnPartition(std::uint32_t diskNumber, const PartitionEntry& p) {
    char16_t name[kPathChars] = {};
    win::UniqueFindVolume search(win::FindFirstVolumeW(name, kPathChars));
    if (!search.valid()) return {};
    std::u16string result;
    do {
        // A name without its null in the buffer is skipped like any name that cannot be opened.
        std::optional<std::u16string> found = TerminatedText(name, kPathChars);
        if (!found) continue;
        const std::u16string& path = *found;
        if (path.empty() || path.back() != u'\\') continue;
        win::UniqueHandle volume(win::CreateFileW(WithoutLastCharacter(path).c_str(), 0,
                                                  win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                                  win::OPEN_EXISTING, 0, nullptr));
        if (!volume) continue;
        std::uint32_t disk = 0;
        std::uint64_t start = 0, length = 0;
        if (!SingleExtent(volume.get(), &disk, &start, &length)) continue;
        if (disk != diskNumber || start != p.start || length != p.length) continue;
        // A partition that two volumes claim counts as having none.
        if (!result.empty()) return {};
        result = path;
    } while (win::FindNextVolumeW(search.get(), name, kPathChars));
    return result;
}

bool ParseVolumeGuid(std::u16string_view text, win::GUID* out) {
    std::size_t brace = text.find(u'{');
    if (brace == std::u16string_view::npos || text.size() - brace < 38) return false;
    char16_t buffer[39] = {};
    for (std::size_t i = 0; i < 38; ++i) buffer[i] = text[brace + i];
    return win::CLSIDFromString(buffer, out) >= 0;
}

CandidatePass RunCandidatePass(InspectionContext& ctx) {
    LayoutInspection& r = ctx.record;
    LayoutSnapshot& s = r.snapshot;
    CandidatePass pass;
    for (const auto& p : r.partitions) {
        if (p.kind == PartitionKind::Logical) {
            pass.logicalCount++;
            if (!pass.firstLogical || p.start < pass.firstLogical->start) pass.firstLogical = p;
        }
        if (p.kind == PartitionKind::Extended) pass.anyExtended = true;
    }
    if (r.windowsEntry.length != 0) {
        std::uint64_t windowsEnd = r.windowsEntry.start + r.windowsEntry.length;
        for (const auto& p : r.partitions) {
            if (p.kind != PartitionKind::Data && p.kind != PartitionKind::Logical) continue;
            if (p.start < windowsEnd) continue;
            if (!pass.candidate || p.start < pass.candidate->start) pass.candidate = p;
        }
    }
    if (!pass.candidate) return pass;

    r.candidateVolumePath = FindVolumeOnPartition(s.diskNumber, *pass.candidate);
    if (r.candidateVolumePath.empty()) return pass;
    s.candidateVolumeName = VolumeDisplayName(r.candidateVolumePath);
    std::u16string drive =
        s.candidateVolumeName.size() == 2 && s.candidateVolumeName[1] == u':' ? s.candidateVolumeName : u"";
    win::ULONGLONG total = 0, free = 0;
    if (win::GetDiskFreeSpaceExW(r.candidateVolumePath.c_str(), nullptr, &total, &free)) {
        s.candidateDrive = drive;
        s.candidateTotalBytes = total;
        s.candidateFreeBytes = free;
    }
    return pass;
}

void ReadWindowsVolumeFacts(InspectionContext& ctx) {
    LayoutSnapshot& s = ctx.record.snapshot;
    NtfsFacts facts = ReadNtfsFacts(s.windowsVolumePath, ctx.extentLength);
    s.windowsVolumeBytes = facts.totalBytes;
    s.windowsUsedBytes = facts.totalBytes - facts.freeBytes;
}

}  // namespace velta
