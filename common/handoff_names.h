// The names through which the desktop program and the boot-time programs speak: the key,
// its values, the boot-list entry and the two files. One definition for all three programs.
#pragma once

#include <stdint.h>

namespace velta {

// Under HKEY_LOCAL_MACHINE for the Win32 registry calls.
inline constexpr char16_t kSessionManagerSubkey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// The same key as the native registry calls name it.
inline constexpr char16_t kSessionManagerObjectName[] =
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

inline constexpr char16_t kVeltamoorMoveLabPlan[] = u"VeltamoorMoveLabPlan";
inline constexpr char16_t kVeltamoorMoveLabGrow[] = u"VeltamoorMoveLabGrow";
inline constexpr char16_t kVeltamoorBootLanguage[] = u"VeltamoorBootLanguage";
inline constexpr char16_t kVeltamoorMoveLabResult[] = u"VeltamoorMoveLabResult";
inline constexpr char16_t kVeltamoorMoveLabGrowResult[] = u"VeltamoorMoveLabGrowResult";
inline constexpr char16_t kVeltamoorMoveLabDisplay[] = u"VeltamoorMoveLabDisplay";
inline constexpr char16_t kVeltamoorMarkerUtc[] = u"VeltamoorMarkerUtc";
inline constexpr char16_t kVeltamoorMarkerStatus[] = u"VeltamoorMarkerStatus";
inline constexpr char16_t kBootExecute[] = u"BootExecute";

// The handoff values in the order the desktop clean-up deletes them.
inline constexpr const char16_t* kHandoffValueNames[] = {
    kVeltamoorMoveLabPlan,   kVeltamoorMoveLabGrow,    kVeltamoorMoveLabGrowResult,
    kVeltamoorBootLanguage,  kVeltamoorMoveLabResult,  kVeltamoorMoveLabDisplay,
    kVeltamoorMarkerUtc,     kVeltamoorMarkerStatus,
};
inline constexpr uint32_t kHandoffValueCount = sizeof(kHandoffValueNames) / sizeof(kHandoffValueNames[0]);
static_assert(kHandoffValueCount == 8, "eight handoff values");

// The BootExecute element, compared unit for unit and case-sensitively.
inline constexpr char16_t kBootEntry[] = u"autocheck VeltamoorMarker";
inline constexpr uint32_t kBootEntryUnits = sizeof(kBootEntry) / sizeof(kBootEntry[0]) - 1;
static_assert(kBootEntryUnits == 25, "the entry is 25 units");

// The largest BootExecute value either side accepts, in bytes.
inline constexpr uint32_t kBootExecuteMaxBytes = 32768;

// Appended to the Windows directory: the installed executor image and the claim file.
inline constexpr char16_t kInstalledImageSuffix[] = u"\\System32\\VeltamoorMarker.exe";
inline constexpr char16_t kClaimFileSuffix[] = u"\\VeltamoorMoveLab.claim";
// The claim file as the executor names it.
inline constexpr char16_t kClaimFileObjectName[] = u"\\SystemRoot\\VeltamoorMoveLab.claim";

// VeltamoorBootLanguage: the Windows primary language identifiers.
inline constexpr uint32_t kBootLanguageChinese = 4;
inline constexpr uint32_t kBootLanguageEnglish = 9;

}  // namespace velta
