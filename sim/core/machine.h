// The simulated PC: everything the programs can observe, behind both platform layers.
// Tests and the lab build a Machine, make it current with UseMachine, and run the real
// program code against it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim/wmi/com_state.h"
#include "sim/core/faults.h"
#include "sim/core/handles.h"
#include "sim/core/registry.h"
#include "sim/storage/storage.h"
#include "sim/wmi/state.h"
#include "sim/win/session_state.h"

namespace sim {

// Where the process's standard output goes.
enum class StdOutKind { None, Console, File, Pipe };

struct Console {
    StdOutKind stdoutKind = StdOutKind::None;
    // A GUI program started from a console can attach to its parent's console.
    bool parentConsole = true;
    bool attached = false;
    int attachCalls = 0;
    std::u16string consoleText;     // what reached a console through WriteConsoleW
    std::string redirectedBytes;    // what reached a redirected file or pipe through WriteFile
    int writeCalls = 0;             // WriteConsoleW and WriteFile calls on standard output
};

// Files of the simulated PC, by full path (compared without regard to case).
class FileStore {
public:
    FileStore();
    bool Exists(std::u16string_view path) const;
    bool DirectoryExists(std::u16string_view path) const;
    void AddDirectory(std::u16string_view path);
    void Put(std::u16string_view path, std::vector<std::uint8_t> bytes);
    const std::vector<std::uint8_t>* Get(std::u16string_view path) const;
    std::vector<std::uint8_t>* GetMutable(std::u16string_view path);
    bool Remove(std::u16string_view path);
    std::vector<std::u16string> Paths() const;
    // FILE_ATTRIBUTE_* of a file; a new file has FILE_ATTRIBUTE_ARCHIVE.
    std::uint32_t Attributes(std::u16string_view path) const;
    void SetAttributes(std::u16string_view path, std::uint32_t attributes);

private:
    std::map<std::u16string, std::pair<std::u16string, std::vector<std::uint8_t>>> files_;
    std::set<std::u16string> directories_;
    std::map<std::u16string, std::uint32_t> attributes_;  // only those other than the default
};

// The boot screen: the lines NtDrawText drew, in draw order (fault "NtDrawText" makes a draw
// fail; a failed draw shows nothing).
struct BootScreen {
    std::vector<std::u16string> lines;
};

// Resources embedded in the desktop program's module: (type id, name id) to bytes.
struct Resources {
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>> items;
};

// Stand-in bytes for the two boot-time images on the host; the Session Manager recognises
// an installed image by these bytes.
const std::vector<std::uint8_t>& MarkerImageBytes();
const std::vector<std::uint8_t>& MoveLabImageBytes();

class Machine {
public:
    Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    ~Machine();

    std::u16string commandLine = u"Veltamoor.exe";
    std::uint16_t uiLanguage = 0x0409;  // en-US
    std::u16string windowsDirectory = u"C:\\Windows";
    // System time as NtQuerySystemTime reports it: 100 ns units since 1601-01-01 UTC
    // (here 2026-01-01 00:00 UTC).
    std::uint64_t systemTime = 134116992000000000ull;

    Registry registry;
    FileStore files;
    Resources resources;
    Console console;
    Faults faults;
    HandleTable handles;
    Storage storage;  // disks and volumes
    ComState com;  // the COM runtime's apartments, live objects and allocations
    WmiState wmi;  // the WMI providers' own state
    DesktopSession session;  // token privileges, restart requests, named mutexes

    // Blocks a Windows call allocated with LocalAlloc for the program and not yet freed.
    std::set<const void*> localAllocations;
    // Strings ntdll allocated for the program (RtlStringFromGUID) and not yet freed.
    std::set<const void*> rtlAllocations;
    BootScreen bootScreen;

    // Standard-output handles, created with the machine.
    void* consoleHandle = nullptr;
    void* redirectHandle = nullptr;
};

// The machine that the platform layers act on. Exactly one is current at a time.
Machine& Current();
bool HasCurrent();

class UseMachine {
public:
    explicit UseMachine(Machine& m);
    UseMachine(const UseMachine&) = delete;
    UseMachine& operator=(const UseMachine&) = delete;
    ~UseMachine();

private:
    Machine* previous_;
};

// Thread-local last error, as Windows keeps it per thread.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

}  // namespace sim
