// Runs the desktop program's entry on a simulated PC and collects what it printed.
#pragma once

#include <string>

#include "sim/core/machine.h"

namespace velta::testing {

struct ProgramRun {
    int exitCode = -1;
    std::u16string consoleText;     // what reached a console, as UTF-16
    std::string redirectedBytes;    // what reached a redirected file or pipe
    int writeCalls = 0;
};

// Sets the machine's command line to "Veltamoor.exe " + arguments and runs the entry.
ProgramRun RunVeltamoor(sim::Machine& machine, const std::u16string& arguments);

}  // namespace velta::testing
