// Small owning types for the platform layer's handles, so that every path releases them.
#pragma once

#include <utility>

#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/process.h"

namespace win {

// A kernel handle closed with CloseHandle. Both null and INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE h = nullptr) {
        HANDLE old = std::exchange(handle_, h);
        if (old != nullptr && old != INVALID_HANDLE_VALUE) CloseHandle(old);
    }

private:
    HANDLE handle_ = nullptr;
};

// Memory that a Windows call allocated with LocalAlloc for us.
template <typename T>
class UniqueLocal {
public:
    UniqueLocal() = default;
    explicit UniqueLocal(T* p) : ptr_(p) {}
    UniqueLocal(const UniqueLocal&) = delete;
    UniqueLocal& operator=(const UniqueLocal&) = delete;
    UniqueLocal(UniqueLocal&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~UniqueLocal() {
        if (ptr_ != nullptr) LocalFree(ptr_);
    }
    T* get() const { return ptr_; }

private:
    T* ptr_ = nullptr;
};

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
