// The host has no window system: the simulated PC records that the main window was asked
// for, with which language, and answers with a chosen exit code.
#pragma once

#include <vector>

namespace sim {

struct WindowRecord {
    std::vector<bool> runs;  // useChinese of each RunMainWindow call
    int result = 0;
};

WindowRecord& MainWindowRecord();

}  // namespace sim
