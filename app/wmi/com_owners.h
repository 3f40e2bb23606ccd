// Owners for COM references, BSTRs and VARIANTs, so that every path releases them.
#pragma once

#include "common/unique_any.h"
#include "platform/win/com.h"

namespace velta {

template <typename T>
struct ComReleaseTraits {
    using Type = T*;
    static constexpr Type Invalid() { return nullptr; }
    static constexpr bool IsValid(Type p) { return p != nullptr; }
    static void Close(Type p) { p->Release(); }
};

// One counted reference to a COM interface.
template <typename T>
class ComPtr : public UniqueAny<ComReleaseTraits<T>> {
public:
    using UniqueAny<ComReleaseTraits<T>>::UniqueAny;

    T* operator->() const { return this->get(); }
    // For CoCreateInstance-style calls; drops the old reference first, as put() does.
    void** put_void() { return reinterpret_cast<void**>(this->put()); }
};

struct BstrTraits {
    using Type = win::BSTR;
    static constexpr Type Invalid() { return nullptr; }
    static constexpr bool IsValid(Type b) { return b != nullptr; }
    static void Close(Type b) { win::SysFreeString(b); }
};

// A BSTR freed with SysFreeString.
using UniqueBstr = UniqueAny<BstrTraits>;

// A VARIANT initialised on construction and cleared with VariantClear when it ends. It is
// a value that may own a BSTR, an array or a reference, not a handle, so it has its own type.
class UniqueVariant {
public:
    UniqueVariant() { win::VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.value_) { win::VariantInit(&other.value_); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            win::VariantClear(&value_);
            value_ = other.value_;
            win::VariantInit(&other.value_);
        }
        return *this;
    }
    ~UniqueVariant() { win::VariantClear(&value_); }

    win::VARIANT* get() { return &value_; }
    const win::VARIANT& operator*() const { return value_; }
    const win::VARIANT* operator->() const { return &value_; }
    // Clears what is held; for calls that fill the variant through an out parameter.
    win::VARIANT* put() {
        win::VariantClear(&value_);
        return &value_;
    }

private:
    win::VARIANT value_;
};

}  // namespace velta
