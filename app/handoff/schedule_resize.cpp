#include "app/handoff/schedule_resize.h"

#include "app/handoff/pending_state.h"
#include "app/handoff/staging.h"
#include "app/inspect/amounts.h"
#include "app/inspect/inspect_layout.h"
#include "app/inspect/volume_mapping.h"
#include "app/wmi/partition_identity.h"
#include "app/wmi/storage_checks.h"
#include "common/boot_records.h"
#include "common/plan_check.h"
#include "platform/win/constants.h"
#include "platform/win/guid.h"
#include "platform/win/process.h"
#include "platform/win/security.h"
#include "platform/win/security_constants.h"
#include "platform/win/sync.h"
#include "platform/win/sync_constants.h"
#include "platform/win/unique.h"

namespace velta {

namespace {

constexpr std::uint32_t kInvalid = win::ERROR_INVALID_DATA;
constexpr win::UINT kRestartFlags = win::EWX_REBOOT | win::EWX_FORCEIFHUNG;
constexpr win::DWORD kRestartReason =
    win::SHTDN_REASON_FLAG_PLANNED | win::SHTDN_REASON_MAJOR_APPLICATION | win::SHTDN_REASON_MINOR_MAINTENANCE;

// The one place where the inspection's GUIDs become the records' GUIDs; both are the
// 16-byte Windows layout.
Guid ToRecordGuid(const win::GUID& g) {
    Guid out{};
    out.Data1 = g.Data1;
    out.Data2 = g.Data2;
    out.Data3 = g.Data3;
    for (int i = 0; i < 8; ++i) out.Data4[i] = g.Data4[i];
    return out;
}

// A failed call must never read as success.
std::uint32_t LastErrorOrFailure() {
    const win::DWORD e = win::GetLastError();
    return e != 0 ? e : win::ERROR_GEN_FAILURE;
}

bool SameText(const std::u16string& a, const std::u16string& b) { return a.size() == b.size() && a == b; }

bool SamePartitions(const std::vector<PartitionEntry>& a, const std::vector<PartitionEntry>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i])) return false;
    return true;
}

bool FindGptId(const LayoutInspection& record, std::uint32_t number, Guid* out) {
    for (const auto& id : record.gptPartitionIds) {
        if (id.number == number) {
            *out = ToRecordGuid(id.id);
            return true;
        }
    }
    return false;
}

bool ParseVolumeId(const std::u16string& path, Guid* out) {
    win::GUID g{};
    if (!ParseVolumeGuid(path, &g)) return false;
    *out = ToRecordGuid(g);
    return true;
}

bool ParseDiskGuid(const std::u16string& text, Guid* out) {
    win::GUID g{};
    if (text.empty() || win::CLSIDFromString(text.c_str(), &g) != 0) return false;
    *out = ToRecordGuid(g);
    return true;
}

std::uint32_t EnableShutdownPrivilege() {
    win::UniqueHandle token;
    win::HANDLE raw = nullptr;
    if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES | win::TOKEN_QUERY, &raw))
        return LastErrorOrFailure();
    token.reset(raw);
    win::LUID luid{};
    if (win::LookupPrivilegeValueW(nullptr, win::SE_SHUTDOWN_NAME, &luid)) {
        win::TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid = luid;
        privileges.Privileges[0].Attributes = win::SE_PRIVILEGE_ENABLED;
        win::SetLastError(0);
        win::AdjustTokenPrivileges(token.get(), win::FALSE, &privileges, 0, nullptr, nullptr);
    }
    // After a successful adjustment the code tells whether every privilege was assigned.
    return win::GetLastError();
}

// Steps after the mutex is owned; raises what the inspection and the shrink raise.
std::uint32_t RunOwned(const LayoutSnapshot& seen, std::uint64_t amount, bool useChinese) {
    if (!IsHandoffClean()) return win::ERROR_BUSY;
    if (std::uint32_t e = EnableShutdownPrivilege(); e != 0) return e;

    const LayoutInspection first = InspectLayout(true);
    const LayoutSnapshot& s = first.snapshot;
    if (s.fingerprint.empty() || !SameText(s.fingerprint, seen.fingerprint)) return kInvalid;

    const std::uint64_t unallocated = s.unallocatedIncrease;
    if (amount < unallocated || !IsAmountValid(amount, s.maximumIncrease, s.windowsPartitionLength) ||
        s.windowsPartitionLength + amount > first.diskSize)
        return kInvalid;

    BootPlan plan{};
    GrowPlan grow{};
    grow.growBy = amount;
    if (!ParseVolumeId(s.windowsVolumePath, &grow.windowsVolumeId)) return kInvalid;
    plan.magic = static_cast<std::uint32_t>(BootPlanKind::GrowOnly);
    plan.diskNumber = s.diskNumber;
    plan.windowsPartitionNumber = s.windowsPartitionNumber;
    plan.bytesPerSector = s.logicalSectorSize;
    plan.mbrSignature = first.mbrSignature;
    plan.diskSize = first.diskSize;
    plan.windowsStart = first.windowsEntry.start;
    plan.windowsLength = first.windowsEntry.length;
    plan.sourceStart = first.windowsEntry.start + first.windowsEntry.length;

    if (s.isGpt) {
        if (!ParseDiskGuid(first.diskGuidText, &plan.gptDiskId)) return kInvalid;
        if (!FindGptId(first, s.windowsPartitionNumber, &plan.windowsPartitionId)) return kInvalid;
    }

    const bool shrink = amount > unallocated;
    const std::uint64_t taken = amount - unallocated;
    if (shrink) {
        const PartitionEntry& source = first.sourceEntry;
        // Taking the whole partition would leave nothing to move.
        if (source.number == 0 || taken > s.shrinkable || taken >= source.length) return kInvalid;
        if (!ParseVolumeId(first.candidateVolumePath, &plan.sourceVolumeId)) return kInvalid;
        if (s.isGpt && !FindGptId(first, source.number, &plan.sourcePartitionId)) return kInvalid;
        plan.magic = static_cast<std::uint32_t>(source.kind == PartitionKind::Logical ? BootPlanKind::MoveLogical
                                                                                      : BootPlanKind::MovePrimary);
        plan.sourcePartitionNumber = source.number;
        plan.sourceStart = source.start;
        plan.sourceLength = source.length - taken;
        plan.shift = taken;
        grow.neighbourStart = first.neighbourStart;
    }
    // A plan the executor would refuse is refused here, before the disk is changed.
    if (!IsPlanWellFormed(plan, grow.growBy, grow.neighbourStart, true)) return kInvalid;

    const LayoutInspection second = InspectLayout(false);
    if (!SameText(second.identityText, first.identityText) || !SamePartitions(second.partitions, first.partitions))
        return kInvalid;

    if (shrink) {
        PartitionIdentity identity;
        identity.diskNumber = s.diskNumber;
        identity.partitionNumber = first.sourceEntry.number;
        identity.mbrSignature = first.mbrSignature;
        identity.start = first.sourceEntry.start;
        identity.length = first.sourceEntry.length;
        identity.diskSize = first.diskSize;
        identity.expectBoot = false;
        identity.volumePath = first.candidateVolumePath;
        identity.diskGuidText = first.diskGuidText;
        identity.driveLetter = 0;
        if (std::uint32_t rv = ShrinkPartitionOnline(identity, plan.sourceLength); rv != 0) return rv;

        std::vector<PartitionEntry> expected = first.partitions;
        for (auto& p : expected)
            if (p == first.sourceEntry) p.length = plan.sourceLength;
        const LayoutInspection third = InspectLayout(false);
        if (!SameText(third.identityText, first.identityText) || !SamePartitions(third.partitions, expected))
            return kInvalid;

        PartitionEntry shrunk = first.sourceEntry;
        shrunk.length = plan.sourceLength;
        if (!SameText(FindVolumeOnPartition(plan.diskNumber, shrunk), first.candidateVolumePath)) return kInvalid;
    }

    std::uint8_t planImage[kBootPlanSize] = {};
    std::uint8_t growImage[kGrowPlanSize] = {};
    EncodeBootPlan(plan, planImage);
    EncodeGrowPlan(grow, growImage);
    if (std::uint32_t e = StageBootPlan(planImage, growImage, useChinese); e != 0) return e;

    if (!win::ExitWindowsEx(kRestartFlags, kRestartReason)) return LastErrorOrFailure();
    return 0;
}

}  // namespace

std::uint32_t ScheduleResize(const LayoutSnapshot& seen, std::uint64_t amount, bool useChinese) {
    win::UniqueHandle mutex(win::CreateMutexW(nullptr, win::FALSE, kResizeMutexName));
    if (!mutex) return LastErrorOrFailure();
    const win::DWORD wait = win::WaitForSingleObject(mutex.get(), 0);
    if (wait != win::WAIT_OBJECT_0) {
        // An abandoned mutex is now ours: give it back before reporting busy.
        if (wait == win::WAIT_ABANDONED) win::ReleaseMutex(mutex.get());
        return win::ERROR_BUSY;
    }
    // Released before the handle closes, on every way out.
    win::ScopeExit release([&] { win::ReleaseMutex(mutex.get()); });
    try {
        return RunOwned(seen, amount, useChinese);
    } catch (const Error& e) {
        return e.code != 0 ? e.code : win::ERROR_GEN_FAILURE;
    } catch (const WmiError& e) {
        return e.code != 0 ? e.code : win::ERROR_GEN_FAILURE;
    }
}

}  // namespace velta
