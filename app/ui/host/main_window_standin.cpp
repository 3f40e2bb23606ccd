#include "app/ui/host/main_window_standin.h"

#include "app/ui/main_window.h"

namespace velta {

WindowRecord& MainWindowRecord() {
    static WindowRecord record;
    return record;
}

int RunMainWindow(win::HINSTANCE, bool useChinese) {
    auto& r = MainWindowRecord();
    r.runs.push_back(useChinese);
    return r.result;
}

}  // namespace velta
