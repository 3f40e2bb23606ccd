// The host has no window system: this stand-in for the main window records that it was asked
// for, with which language, and answers with a chosen exit code.
#pragma once

#include <vector>

namespace velta {

struct WindowRecord {
    std::vector<bool> runs;  // useChinese of each RunMainWindow call
    int result = 0;
};

WindowRecord& MainWindowRecord();

}  // namespace velta
