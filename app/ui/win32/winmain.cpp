// The Windows entry point of the desktop program.
#include "platform/win/real/prelude.h"

#include "app/ui/entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return velta::RunProgram(instance); }
