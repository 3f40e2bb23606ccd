// The main window: runs until it closes and returns the program's exit code.
#pragma once

#include "platform/win/types.h"

namespace velta {

int RunMainWindow(win::HINSTANCE instance, bool useChinese);

}  // namespace velta
