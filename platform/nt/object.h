// Object calls of the native API that apply to every kind of handle.
#pragma once

#include "platform/nt/types.h"

namespace nt {

NTSTATUS NtClose(HANDLE handle);

// Owns one native handle and closes it with NtClose when the scope ends.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr; }
    void reset() {
        if (handle_ != nullptr) NtClose(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace nt
