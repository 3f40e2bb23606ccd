// State of the desktop session of the simulated PC that the Win32 layer keeps: the program's
// token, the restart requests it made, and the named mutexes that every simulated process
// (every thread of the host process) shares.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// A mutex object. Its fields are guarded by one lock of the Win32 layer (sim/win/sync.cpp).
struct NamedMutex {
    std::optional<std::thread::id> owner;
    std::uint32_t recursion = 0;
    // The owning thread ended without releasing it; the next wait reports WAIT_ABANDONED.
    bool abandoned = false;
};

// Named kernel objects by their namespace-qualified name. An object lives while a handle
// to it is open, as in Windows; the table only finds live ones.
struct KernelNamespace {
    std::map<std::u16string, std::weak_ptr<NamedMutex>> mutexes;
};

struct RestartRequest {
    std::uint32_t flags = 0;
    std::uint32_t reason = 0;
};

struct DesktopSession {
    // The program's token holds SeShutdownPrivilege (an elevated administrator's does).
    bool holdsShutdownPrivilege = true;
    bool shutdownPrivilegeEnabled = false;
    // ExitWindowsEx calls that Windows accepted, in order. Fault "ExitWindowsEx" refuses one.
    std::vector<RestartRequest> restartRequests;
    KernelNamespace objects;
};

}  // namespace sim
