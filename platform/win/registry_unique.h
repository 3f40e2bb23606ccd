// Owning type for an open registry key, closed with RegCloseKey.
#pragma once

#include <utility>

#include "platform/win/registry.h"

namespace win {

class UniqueHkey {
public:
    UniqueHkey() = default;
    explicit UniqueHkey(HKEY key) : key_(key) {}
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;
    UniqueHkey(UniqueHkey&& other) noexcept : key_(other.release()) {}
    UniqueHkey& operator=(UniqueHkey&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHkey() { reset(); }

    HKEY get() const { return key_; }
    bool valid() const { return key_ != nullptr; }
    explicit operator bool() const { return valid(); }
    HKEY release() { return std::exchange(key_, nullptr); }
    void reset(HKEY key = nullptr) {
        if (key == key_) return;
        HKEY old = std::exchange(key_, key);
        if (old != nullptr) RegCloseKey(old);
    }
    // For RegOpenKeyExW's out parameter; closes what is held first.
    HKEY* put() {
        reset();
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace win
