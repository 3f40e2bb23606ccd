#include "app/ui/console_writer.h"

#include <string>

#include "platform/win/console.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"

namespace velta {

void WriteConsoleText(std::u16string_view text) {
    if (text.empty()) return;
    // Fetched afresh: attaching a console changes it.
    win::HANDLE out = win::GetStdHandle(win::STD_OUTPUT_HANDLE);
    win::DWORD mode = 0;
    auto units = static_cast<win::DWORD>(text.size());
    if (win::GetConsoleMode(out, &mode)) {
        win::DWORD written = 0;
        win::WriteConsoleW(out, text.data(), units, &written, nullptr);
        return;
    }
    int size = win::WideCharToMultiByte(win::CP_UTF8, 0, text.data(), static_cast<int>(units), nullptr, 0,
                                        nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    size = win::WideCharToMultiByte(win::CP_UTF8, 0, text.data(), static_cast<int>(units), bytes.data(), size,
                                    nullptr, nullptr);
    if (size <= 0) return;
    win::DWORD written = 0;
    win::WriteFile(out, bytes.data(), static_cast<win::DWORD>(size), &written, nullptr);
}

}  // namespace velta
