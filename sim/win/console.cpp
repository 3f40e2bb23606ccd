// Console and standard-output calls of the simulated PC.
#include <string>

#include "platform/win/console.h"
#include "platform/win/constants.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace win {

HANDLE GetStdHandle(DWORD which) {
    auto& m = sim::Current();
    if (which != STD_OUTPUT_HANDLE) return nullptr;
    switch (m.console.stdoutKind) {
        case sim::StdOutKind::Console:
            return m.consoleHandle;
        case sim::StdOutKind::File:
        case sim::StdOutKind::Pipe:
            return m.redirectHandle;
        case sim::StdOutKind::None:
            // Attaching to the parent's console gives a GUI program standard handles.
            return m.console.attached ? m.consoleHandle : nullptr;
    }
    return nullptr;
}

DWORD GetFileType(HANDLE file) {
    auto object = sim::Current().handles.Get(file);
    if (!object) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    return object->FileType();
}

BOOL AttachConsole(DWORD processId) {
    auto& c = sim::Current().console;
    c.attachCalls++;
    if (processId != ATTACH_PARENT_PROCESS || c.attached || c.stdoutKind != sim::StdOutKind::None) {
        sim::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!c.parentConsole) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    c.attached = true;
    return TRUE;
}

BOOL GetConsoleMode(HANDLE console, DWORD* mode) {
    auto& m = sim::Current();
    if (console == nullptr || console != m.consoleHandle || GetStdHandle(STD_OUTPUT_HANDLE) != console) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mode != nullptr) *mode = 0x3;  // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT
    return TRUE;
}

BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD length, DWORD* written, void*) {
    auto& m = sim::Current();
    if (console == nullptr || console != m.consoleHandle) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    m.console.writeCalls++;
    if (auto f = m.faults.Hit("WriteConsoleW")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    m.console.consoleText.append(static_cast<const char16_t*>(buffer), length);
    if (written != nullptr) *written = length;
    return TRUE;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multi,
                        int multiLength, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (codePage != CP_UTF8 || flags != 0 || wide == nullptr || defaultChar != nullptr ||
        usedDefaultChar != nullptr || multiLength < 0) {
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string_view in = wideLength < 0 ? std::u16string_view(wide)
                                            : std::u16string_view(wide, static_cast<std::size_t>(wideLength));
    std::string out = sim::ToUtf8(in);
    if (wideLength < 0) out.push_back('\0');
    if (multiLength == 0) return static_cast<int>(out.size());
    if (static_cast<std::size_t>(multiLength) < out.size()) {
        sim::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(multi, out.size());
    return static_cast<int>(out.size());
}

}  // namespace win
