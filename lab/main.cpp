// veltamoor-lab: runs the desktop program's real code against a simulated PC.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "app/ui/entry.h"
#include "platform/win/resources.h"
#include "sim/machine.h"
#include "sim/text.h"

namespace {

int Usage() {
    std::fputs(
        "usage: veltamoor-lab demo\n"
        "       veltamoor-lab run [ARGUMENTS...]   run Veltamoor.exe's command line on the built-in PC\n",
        stderr);
    return 2;
}

// Runs the desktop program with the given arguments; its output goes to our standard output.
int RunDesktop(sim::Machine& machine, const std::u16string& arguments) {
    sim::UseMachine use(machine);
    machine.console.stdoutKind = sim::StdOutKind::Pipe;
    machine.console.redirectedBytes.clear();
    machine.commandLine = u"Veltamoor.exe" + (arguments.empty() ? u"" : u" " + arguments);
    int code = velta::RunProgram(win::GetModuleHandleW(nullptr));
    std::fwrite(machine.console.redirectedBytes.data(), 1, machine.console.redirectedBytes.size(), stdout);
    return code;
}

std::u16string Quote(const char* arg) {
    std::u16string a = sim::ToU16(arg);
    if (!a.empty() && a.find_first_of(u" \t\"") == std::u16string::npos) return a;
    std::u16string q = u"\"";
    for (char16_t c : a) {
        if (c == u'"') q += u'\\';
        q += c;
    }
    return q + u"\"";
}

int Demo() {
    sim::Machine machine;
    std::cout << "== Veltamoor.exe --help\n";
    int code = RunDesktop(machine, u"--help");
    std::cout << "(exit " << code << ")\n\n== Veltamoor.exe --scan\n";
    code = RunDesktop(machine, u"--scan");
    std::cout << "(exit " << code << ")\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "demo") == 0 && argc == 2) return Demo();
    if (std::strcmp(argv[1], "run") == 0) {
        std::u16string args;
        for (int i = 2; i < argc; ++i) args += (i > 2 ? u" " : u"") + Quote(argv[i]);
        sim::Machine machine;
        return RunDesktop(machine, args);
    }
    return Usage();
}
