// The main window. Until the window is built the program opens none and ends at once;
// every console mode works without it.
#include "platform/win/real/prelude.h"

#include "app/ui/main_window.h"

namespace velta {

int RunMainWindow(win::HINSTANCE, bool) { return 0; }

}  // namespace velta
