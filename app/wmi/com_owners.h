// Owners for COM references, BSTRs and VARIANTs, so that every path releases them.
#pragma once

#include <utility>

#include "platform/win/com.h"

namespace velta {

// One counted reference to a COM interface.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(other.release()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // For calls that return a new reference through an out pointer; drops the old one first.
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* release() { return std::exchange(ptr_, nullptr); }
    void reset(T* p = nullptr) {
        T* old = std::exchange(ptr_, p);
        if (old != nullptr) old->Release();
    }

private:
    T* ptr_ = nullptr;
};

// A BSTR freed with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(win::BSTR b) : bstr_(b) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    ~UniqueBstr() {
        if (bstr_ != nullptr) win::SysFreeString(bstr_);
    }
    win::BSTR get() const { return bstr_; }
    win::BSTR release() { return std::exchange(bstr_, nullptr); }

private:
    win::BSTR bstr_ = nullptr;
};

// A VARIANT initialised on construction and cleared with VariantClear when it ends.
class UniqueVariant {
public:
    UniqueVariant() { win::VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.value_) {
        win::VariantInit(&other.value_);
    }
    ~UniqueVariant() { win::VariantClear(&value_); }

    win::VARIANT* get() { return &value_; }
    const win::VARIANT& operator*() const { return value_; }
    const win::VARIANT* operator->() const { return &value_; }

private:
    win::VARIANT value_;
};

}  // namespace velta
