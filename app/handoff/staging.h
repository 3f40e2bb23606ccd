// Staging of the next boot: the executor image in the system directory, the plan values and
// the BootExecute entry, all or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/boot_records.h"
#include "platform/win/registry.h"

namespace velta {

// The embedded executor image, of type RT_RCDATA.
inline constexpr std::uint16_t kMoveLabResourceId = 102;

// The Windows directory followed by the suffix; empty when the directory cannot be had.
std::u16string WindowsDirectoryPath(std::u16string_view suffix);
std::u16string InstalledImagePath();
std::u16string ClaimFilePath();

// The BootExecute value of the open Session Manager key, as UTF-16 units, read twice with
// the same size and checked for a REG_MULTI_SZ of 4 to 32,768 bytes ending in two zeros.
bool ReadBootExecute(win::HKEY key, std::vector<char16_t>* units);

// Whether the list holds the entry as one of its elements, up to its first empty element.
bool FindBootEntry(const std::vector<char16_t>& units);

// The list with the entry appended as its last element.
std::vector<char16_t> ListWithBootEntry(const std::vector<char16_t>& units);

// Deletes the eight handoff values in their fixed order, ignoring every result.
void DeleteHandoffValues(win::HKEY key);

// 0 when staged; otherwise a Windows error code, and nothing of the staging is left.
std::uint32_t StageBootPlan(const std::uint8_t (&planImage)[kBootPlanSize],
                            const std::uint8_t (&growImage)[kGrowPlanSize], bool useChinese);

}  // namespace velta
