#include "tests/support/wine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace velta::testing {

namespace {

std::map<std::string, std::string> WineEnvironment(const std::string& locale) {
    return {{"WINEPREFIX", WinePrefix()},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml="},  // no Mono or Gecko install prompts
            {"LC_ALL", locale},
            {"DISPLAY", "\x01unset"}};
}

// A wineserver that outlives each program saves every run its start-up.
void KeepServerRunning() {
    RunProcess({"sh", "-c", "wineserver -p30 </dev/null >/dev/null 2>&1"},
               {{"WINEPREFIX", WinePrefix()}, {"WINEDEBUG", "-all"}});
}

}  // namespace

std::string WindowsProgram(const std::string& name) { return std::string(VELTA_WINDOWS_BUILD_DIR) + "/" + name; }

const std::string& WinePrefix() {
    static const std::string prefix = [] {
        std::string dir = std::string(VELTA_HOST_BUILD_DIR) + "/wineprefix";
        std::string lockPath = std::string(VELTA_HOST_BUILD_DIR) + "/wineprefix.lock";
        int lock = open(lockPath.c_str(), O_CREAT | O_RDWR, 0644);
        if (lock < 0) throw std::runtime_error("cannot open " + lockPath);
        flock(lock, LOCK_EX);
        struct stat st {};
        std::string ready = dir + "/.veltamoor-ready";
        if (stat(ready.c_str(), &st) != 0) {
            auto r = RunProcess({"wineboot", "-i"}, {{"WINEPREFIX", dir},
                                                      {"WINEDEBUG", "-all"},
                                                      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                                                      {"DISPLAY", "\x01unset"}});
            RunProcess({"wineserver", "-w"}, {{"WINEPREFIX", dir}});
            if (r.exitCode == 0) close(open(ready.c_str(), O_CREAT | O_WRONLY, 0644));
        }
        flock(lock, LOCK_UN);
        close(lock);
        return dir;
    }();
    return prefix;
}

ProcessResult RunWine(const std::vector<std::string>& programAndArgs, const std::string& locale,
                      const std::map<std::string, std::string>& env) {
    KeepServerRunning();
    std::vector<std::string> argv{"wine"};
    argv.insert(argv.end(), programAndArgs.begin(), programAndArgs.end());
    auto environment = WineEnvironment(locale);
    for (const auto& [k, v] : env) environment[k] = v;
    return RunProcess(argv, environment);
}

std::string WinePath(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (auto& c : p)
        if (c == '/') c = '\\';
    return p;
}

}  // namespace velta::testing
