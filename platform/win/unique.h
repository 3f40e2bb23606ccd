// Owning types for the platform layer's handles, so that every path releases them.
#pragma once

#include <utility>

#include "common/unique_any.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/process.h"

namespace win {

// Both null and INVALID_HANDLE_VALUE mean "no handle" to the calls that hand out handles.
inline bool IsHandleValue(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

struct CloseHandleTraits {
    using Type = HANDLE;
    static constexpr Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return IsHandleValue(h); }
    static void Close(Type h) { CloseHandle(h); }
};

// A kernel handle closed with CloseHandle.
using UniqueHandle = velta::UniqueAny<CloseHandleTraits>;

template <typename T>
struct LocalFreeTraits {
    using Type = T*;
    static constexpr Type Invalid() { return nullptr; }
    static constexpr bool IsValid(Type p) { return p != nullptr; }
    static void Close(Type p) { LocalFree(p); }
};

// Memory that a Windows call allocated with LocalAlloc for us.
template <typename T>
using UniqueLocal = velta::UniqueAny<LocalFreeTraits<T>>;

// Runs a callable when the scope ends, whichever way it ends.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) f_();
    }
    void dismiss() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

}  // namespace win
