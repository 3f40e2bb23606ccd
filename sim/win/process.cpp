// Process-level calls of the simulated PC.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/win/constants.h"
#include "platform/win/process.h"
#include "sim/core/machine.h"

namespace win {

DWORD GetLastError() { return sim::LastError(); }
void SetLastError(DWORD code) { sim::SetLastError(code); }

LPWSTR GetCommandLineW() { return sim::Current().commandLine.data(); }

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The documented splitting rules of CommandLineToArgvW.
std::vector<std::u16string> SplitCommandLine(std::u16string_view s) {
    std::vector<std::u16string> args;
    std::size_t i = 0;
    // The program name: up to the next quote if it starts with one, else up to a blank.
    std::u16string first;
    if (i < s.size() && s[i] == u'"') {
        ++i;
        while (i < s.size() && s[i] != u'"') first.push_back(s[i++]);
        if (i < s.size()) ++i;
    } else {
        while (i < s.size() && !IsBlank(s[i])) first.push_back(s[i++]);
    }
    args.push_back(first);
    for (;;) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i >= s.size()) break;
        std::u16string arg;
        bool quoted = false;
        while (i < s.size() && (quoted || !IsBlank(s[i]))) {
            if (s[i] == u'\\') {
                std::size_t n = 0;
                while (i < s.size() && s[i] == u'\\') {
                    ++n;
                    ++i;
                }
                if (i < s.size() && s[i] == u'"') {
                    arg.append(n / 2, u'\\');
                    if (n % 2 == 1) {
                        arg.push_back(u'"');
                        ++i;
                    }
                } else {
                    arg.append(n, u'\\');
                }
            } else if (s[i] == u'"') {
                if (quoted && i + 1 < s.size() && s[i + 1] == u'"') {
                    arg.push_back(u'"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg.push_back(s[i++]);
            }
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argc) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("CommandLineToArgvW")) {
        sim::SetLastError(f->code);
        return nullptr;
    }
    if (commandLine == nullptr || argc == nullptr) {
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string_view text(commandLine);
    std::vector<std::u16string> args =
        text.empty() ? std::vector<std::u16string>{u"Veltamoor.exe"} : SplitCommandLine(text);
    // One block, as Windows returns it: the pointer array, then the strings.
    std::size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
    for (const auto& a : args) bytes += (a.size() + 1) * sizeof(char16_t);
    auto* block = static_cast<unsigned char*>(::operator new(bytes));
    auto** argv = reinterpret_cast<LPWSTR*>(block);
    auto* text16 = reinterpret_cast<char16_t*>(block + (args.size() + 1) * sizeof(LPWSTR));
    for (std::size_t k = 0; k < args.size(); ++k) {
        argv[k] = text16;
        std::memcpy(text16, args[k].data(), args[k].size() * sizeof(char16_t));
        text16[args[k].size()] = 0;
        text16 += args[k].size() + 1;
    }
    argv[args.size()] = nullptr;
    *argc = static_cast<int>(args.size());
    m.localAllocations.insert(block);
    return argv;
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory == nullptr) return nullptr;
    auto& m = sim::Current();
    auto it = m.localAllocations.find(memory);
    if (it == m.localAllocations.end()) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    m.localAllocations.erase(it);
    ::operator delete(memory);
    return nullptr;
}

LANGID GetUserDefaultUILanguage() { return sim::Current().uiLanguage; }

}  // namespace win
