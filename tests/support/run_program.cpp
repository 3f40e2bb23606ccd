#include "tests/support/run_program.h"

#include "app/ui/entry.h"
#include "platform/win/resources.h"

namespace velta::testing {

ProgramRun RunVeltamoor(sim::Machine& machine, const std::u16string& arguments) {
    sim::UseMachine use(machine);
    machine.commandLine = u"\"C:\\Program Files\\Veltamoor\\Veltamoor.exe\"";
    if (!arguments.empty()) machine.commandLine += u" " + arguments;
    ProgramRun run;
    run.exitCode = RunProgram(win::GetModuleHandleW(nullptr));
    run.consoleText = machine.console.consoleText;
    run.redirectedBytes = machine.console.redirectedBytes;
    run.writeCalls = machine.console.writeCalls;
    return run;
}

}  // namespace velta::testing
