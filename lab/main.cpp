// veltamoor-lab: runs the real program code against a simulated PC described by a machine
// file (or the built-in one), and prints what the programs printed.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/inspect/inspect_layout.h"
#include "app/ui/entry.h"
#include "platform/win/resources.h"
#include "sim/core/machine.h"
#include "lab/machine_file.h"
#include "sim/core/text.h"

namespace velta::lab {
extern const char* const kBuiltinMachine;
}

namespace {

constexpr int kUsageExit = 2;

const char kUsage[] =
    "usage: veltamoor-lab demo\n"
    "       veltamoor-lab run [--machine FILE] [--console] [--] [VELTAMOOR ARGUMENTS...]\n"
    "       veltamoor-lab check FILE\n"
    "       veltamoor-lab --help\n"
    "\n"
    "demo   shows the built-in PC (C: followed by a data partition D:) through the desktop\n"
    "       program's report, in both languages, with an accepted and a refused preview.\n"
    "run    runs Veltamoor.exe's command line on the machine of FILE (default: the built-in\n"
    "       one) and exits with its exit code. Output is redirected UTF-8, or with --console\n"
    "       what a console would show.\n"
    "check  reads FILE and reports whether it describes a consistent machine.\n"
    "\n"
    "A machine file that cannot be used is named on standard error with the member at fault,\n"
    "and the lab exits with code 2. Machine files are described in docs/lab.md.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return kUsageExit;
}

// Machine files that do not load are the user's input errors: name the file and the
// member, exit 2. A machine must hold the Windows volume, since every run looks for it.
bool Load(sim::Machine& machine, const char* path) {
    try {
        if (path == nullptr)
            sim::LoadMachineText(machine, velta::lab::kBuiltinMachine, ".");
        else
            sim::LoadMachineFile(machine, path);
        sim::RequireWindowsVolume(machine);
        return true;
    } catch (const sim::MachineFileError& e) {
        std::fprintf(stderr, "veltamoor-lab: machine file %s: %s\n", path == nullptr ? "(built-in)" : path, e.what());
        return false;
    }
}

std::u16string Quote(const std::string& arg) {
    std::u16string a = sim::ToU16(arg);
    if (!a.empty() && a.find_first_of(u" \t\"") == std::u16string::npos) return a;
    std::u16string q = u"\"";
    for (char16_t c : a) {
        if (c == u'"') q += u'\\';
        q += c;
    }
    return q + u"\"";
}

// Runs the desktop program's entry with these arguments and copies its output to ours.
int RunDesktop(sim::Machine& machine, const std::vector<std::string>& args, bool console) {
    sim::UseMachine use(machine);
    machine.console = sim::Console{};
    machine.console.stdoutKind = console ? sim::StdOutKind::None : sim::StdOutKind::Pipe;
    machine.commandLine = u"Veltamoor.exe";
    for (const auto& a : args) machine.commandLine += u" " + Quote(a);
    int code = velta::RunProgram(win::GetModuleHandleW(nullptr));
    std::string out = console ? sim::ToUtf8(machine.console.consoleText) : machine.console.redirectedBytes;
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return code;
}

std::string MebibytesText(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// What a preview of `mebibytes` will show on this machine, in one line: which bound it meets
// or breaks.
std::string PreviewStep(sim::Machine& machine, std::uint64_t mebibytes) {
    velta::LayoutSnapshot s;
    {
        sim::UseMachine use(machine);
        s = velta::InspectForDisplay();
    }
    std::uint64_t amount = mebibytes << 20;
    std::string head = "A preview of adding " + std::to_string(mebibytes) + " MiB to C:: ";
    if (s.maximumIncrease == 0) return head + "refused, this layout cannot grow C: at all.";
    if (amount < s.unallocatedIncrease)
        return head + "refused, below the " + MebibytesText(s.unallocatedIncrease) +
               " of unallocated space that a resize always takes.";
    if (amount > s.maximumIncrease)
        return head + "refused, above the most C: can gain here (" + MebibytesText(s.maximumIncrease) + ").";
    return head + "within the bounds (" + MebibytesText(s.unallocatedIncrease == 0 ? 1u << 20 : s.unallocatedIncrease) +
           " to " + MebibytesText(s.maximumIncrease) + "), so it shows the estimated size.";
}

int Demo() {
    sim::Machine machine;
    if (!Load(machine, nullptr)) return kUsageExit;
    auto show = [&](const std::string& what, const std::vector<std::string>& args) {
        std::string line = "$ Veltamoor.exe";
        for (const auto& a : args) line += " " + a;
        std::cout << "== " << what << "\n" << line << "\n" << std::flush;
        int code = RunDesktop(machine, args, false);
        std::cout << "(exit code " << code << ")\n\n" << std::flush;
    };
    std::cout << "veltamoor-lab demo: Veltamoor.exe's own code run against a simulated PC, the built-in one\n"
                 "(lab/machines/demo.json: an MBR disk with C: and right after it a data partition D:).\n"
                 "Nothing here touches a real disk.\n\n";
    show("The scan report: the disk, its partitions, and how far C: can grow into D:.", {"--scan"});
    show("The same report in Chinese.", {"--lang", "zh", "--scan"});
    show(PreviewStep(machine, 10240), {"--preview", "10240"});
    show(PreviewStep(machine, 70000), {"--preview", "70000"});
    return 0;
}

int Run(int argc, char** argv) {
    const char* machinePath = nullptr;
    bool console = false;
    int i = 2;
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--machine") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fputs("veltamoor-lab: --machine needs a machine file\n", stderr);
                return Usage();
            }
            machinePath = argv[++i];
        } else if (std::strcmp(argv[i], "--console") == 0) {
            console = true;
        } else if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        } else {
            break;
        }
    }
    sim::Machine machine;
    if (!Load(machine, machinePath)) return kUsageExit;
    return RunDesktop(machine, std::vector<std::string>(argv + i, argv + argc), console);
}

int Check(const char* path) {
    sim::Machine machine;
    if (!Load(machine, path)) return kUsageExit;
    std::printf("%s: %zu disk(s), %zu volume(s)\n", path, machine.storage.Disks().size(),
                machine.storage.Volumes().size());
    return 0;
}

int Dispatch(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if ((command == "--help" || command == "-h" || command == "help") && argc == 2) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "demo" && argc == 2) return Demo();
    if (command == "run") return Run(argc, argv);
    if (command == "check" && argc == 3) return Check(argv[2]);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    // Whatever a machine file holds ends in an answer; an exception that still escapes is
    // the lab's own fault, reported as such rather than as an abort.
    try {
        return Dispatch(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltamoor-lab: internal error: %s\n", e.what());
        return 3;
    }
}
