// The program's token and its restart requests on the simulated PC.
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/win/constants.h"
#include "platform/win/security.h"
#include "platform/win/security_constants.h"
#include "sim/core/machine.h"

namespace win {

namespace {

// The locally unique id Windows gives SeShutdownPrivilege (SE_SHUTDOWN_PRIVILEGE).
constexpr DWORD kShutdownLuid = 19;

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

class TokenObject : public sim::HandleObject {
public:
    explicit TokenObject(DWORD access) : access(access) {}
    const DWORD access;
};

bool IsShutdownPrivilege(std::u16string_view name) {
    // Privilege names are compared without regard to case.
    constexpr std::u16string_view kName = u"SeShutdownPrivilege";
    if (name.size() != kName.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
        if (fold(name[i]) != fold(kName[i])) return false;
    }
    return true;
}

}  // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
    auto& m = sim::Current();
    if (token != nullptr) *token = nullptr;
    if (auto f = m.faults.Hit("OpenProcessToken")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    if (token == nullptr) {
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (process != kCurrentProcess) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *token = m.handles.Add(std::make_shared<TokenObject>(desiredAccess));
    return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID* luid) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("LookupPrivilegeValueW")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    if (name == nullptr || luid == nullptr || (systemName != nullptr && *systemName != 0)) {
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsShutdownPrivilege(name)) {
        // Only the one privilege the programs use is modelled.
        sim::SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    luid->LowPart = kShutdownLuid;
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("AdjustTokenPrivileges")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    auto object = std::dynamic_pointer_cast<TokenObject>(m.handles.Get(token));
    if (!object) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((object->access & TOKEN_ADJUST_PRIVILEGES) == 0 ||
        (previousState != nullptr && (object->access & TOKEN_QUERY) == 0)) {
        sim::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (previousState != nullptr || returnLength != nullptr) {
        // The programs never ask for the previous state.
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& session = m.session;
    if (disableAll) {
        session.shutdownPrivilegeEnabled = false;
        sim::SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (newState == nullptr) {
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool allAssigned = true;
    for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i) {
        const auto& p = newState->Privileges[i];
        const bool isShutdown = p.Luid.LowPart == kShutdownLuid && p.Luid.HighPart == 0;
        if (!isShutdown || !session.holdsShutdownPrivilege) {
            // A privilege the token does not hold is skipped, and the call still succeeds.
            allAssigned = false;
            continue;
        }
        session.shutdownPrivilegeEnabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    sim::SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("ExitWindowsEx")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    if (!m.session.shutdownPrivilegeEnabled) {
        sim::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    // The request is accepted; the shutdown happens after the call returns.
    m.session.restartRequests.push_back(sim::RestartRequest{flags, reason});
    return TRUE;
}

}  // namespace win
