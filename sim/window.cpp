#include "sim/window.h"

#include "app/ui/main_window.h"

namespace sim {

WindowRecord& MainWindowRecord() {
    static WindowRecord record;
    return record;
}

}  // namespace sim

namespace velta {

int RunMainWindow(win::HINSTANCE, bool useChinese) {
    auto& r = sim::MainWindowRecord();
    r.runs.push_back(useChinese);
    return r.result;
}

}  // namespace velta
