// The real Windows programs under Wine: one prefix per test run, made once and shared.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace velta::testing {

// The build's Windows programs.
std::string WindowsProgram(const std::string& name);  // e.g. "Veltamoor.exe"

// The shared prefix (under the host build directory), created with wineboot on first use.
// Safe to call from several test processes at once.
const std::string& WinePrefix();

// Runs `wine PROGRAM ARGS...` in the shared prefix with WINEDEBUG=-all; `locale` sets LC_ALL
// (Wine takes the user's UI language from it).
ProcessResult RunWine(const std::vector<std::string>& programAndArgs, const std::string& locale = "en_US.UTF-8",
                      const std::map<std::string, std::string>& env = {});

// Converts a Unix path to the Windows path Wine maps it to (Z:\...).
std::string WinePath(const std::string& unixPath);

}  // namespace velta::testing
