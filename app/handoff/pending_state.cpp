#include "app/handoff/pending_state.h"

#include <vector>

#include "app/handoff/staging.h"
#include "common/boot_records.h"
#include "common/handoff_names.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/process.h"
#include "platform/win/registry_constants.h"
#include "platform/win/registry_unique.h"

namespace velta {

namespace {

win::UniqueHkey OpenSessionManager(win::REGSAM access) {
    win::UniqueHkey key;
    if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kSessionManagerSubkey, 0, access, key.put()) !=
        win::ERROR_SUCCESS)
        key.reset();
    return key;
}

// A REG_BINARY value of exactly 32 bytes.
bool ReadBinary32(win::HKEY key, const char16_t* name, std::uint8_t (&bytes)[32]) {
    win::DWORD size = sizeof(bytes);
    return win::RegGetValueW(key, nullptr, name, win::RRF_RT_REG_BINARY, nullptr, bytes, &size) ==
               win::ERROR_SUCCESS &&
           size == sizeof(bytes);
}

bool DeleteIfPresent(const std::u16string& path) {
    if (path.empty()) return false;
    return win::DeleteFileW(path.c_str()) || win::GetLastError() == win::ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool IsFileAbsent(const std::u16string& path) {
    return win::GetFileAttributesW(path.c_str()) == win::INVALID_FILE_ATTRIBUTES &&
           win::GetLastError() == win::ERROR_FILE_NOT_FOUND;
}

bool IsHandoffClean() {
    const win::UniqueHkey key = OpenSessionManager(win::KEY_QUERY_VALUE);
    const std::u16string image = InstalledImagePath();
    const std::u16string claim = ClaimFilePath();
    if (!key || image.empty() || claim.empty()) return false;
    std::vector<char16_t> list;
    if (!ReadBootExecute(key.get(), &list)) return false;
    if (FindBootEntry(list)) return false;
    win::DWORD size = 0;
    if (win::RegQueryValueExW(key.get(), kVeltamoorMoveLabPlan, nullptr, nullptr, nullptr, &size) !=
        win::ERROR_FILE_NOT_FOUND)
        return false;
    return IsFileAbsent(image) && IsFileAbsent(claim);
}

bool IsGrowPending() {
    const win::UniqueHkey key = OpenSessionManager(win::KEY_QUERY_VALUE);
    if (!key) return false;
    std::uint8_t grow[kGrowPlanSize] = {};
    return ReadBinary32(key.get(), kVeltamoorMoveLabGrow, grow);
}

void CleanUpFinishedGrow(const LayoutSnapshot& snapshot) {
    const win::UniqueHkey key = OpenSessionManager(win::KEY_QUERY_VALUE | win::KEY_SET_VALUE);
    if (!key) return;
    std::uint8_t grow[kGrowPlanSize] = {};
    if (!ReadBinary32(key.get(), kVeltamoorMoveLabGrow, grow)) return;
    std::vector<char16_t> list;
    if (!ReadBootExecute(key.get(), &list) || FindBootEntry(list)) return;
    std::uint8_t resultBytes[kGrowResultSize] = {};
    GrowResult result;
    if (!ReadBinary32(key.get(), kVeltamoorMoveLabGrowResult, resultBytes) ||
        !DecodeGrowResult(resultBytes, sizeof(resultBytes), &result))
        return;
    if (result.stage != GrowStage::Done || result.status != 0 ||
        result.partitionLength != snapshot.windowsPartitionLength ||
        result.ntfsBytesAfter != snapshot.windowsVolumeBytes)
        return;
    if (DeleteHandoffFiles()) DeleteHandoffValues(key.get());
}

bool DeleteHandoffFiles() {
    if (!DeleteIfPresent(InstalledImagePath())) return false;
    return DeleteIfPresent(ClaimFilePath());
}

}  // namespace velta
