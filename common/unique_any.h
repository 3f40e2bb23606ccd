// One owner for every kind of handle: a value that must be given back exactly once.
// Freestanding (the boot-time programs use it): no exceptions, no allocation, no library.
//
// A traits type describes the kind:
//   using Type = ...;                        the raw value (a handle, a pointer, ...)
//   static constexpr Type Invalid();         what an empty owner holds
//   static bool IsValid(Type v);             whether v must be closed
//   static void Close(Type v);               gives v back; called only for valid values
#pragma once

namespace velta {

template <typename Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    constexpr UniqueAny() noexcept : value_(Traits::Invalid()) {}
    constexpr explicit UniqueAny(Type value) noexcept : value_(value) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    Type get() const noexcept { return value_; }
    bool valid() const noexcept { return Traits::IsValid(value_); }
    explicit operator bool() const noexcept { return valid(); }

    // Hands the value to the caller, who must close it; the owner is empty afterwards.
    Type release() noexcept {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    // Closes what is held, then holds `value`. Handing back the value already held keeps
    // it: closing it first would leave the owner holding a closed value.
    void reset(Type value = Traits::Invalid()) noexcept {
        if (value == value_) return;
        Type old = value_;
        value_ = value;
        if (Traits::IsValid(old)) Traits::Close(old);
    }

    // For calls that return a new value through an out parameter: closes what is held
    // first, so an owner used twice never loses its first value.
    Type* put() noexcept {
        reset();
        return &value_;
    }

    void swap(UniqueAny& other) noexcept {
        Type value = value_;
        value_ = other.value_;
        other.value_ = value;
    }

private:
    Type value_;
};

}  // namespace velta
