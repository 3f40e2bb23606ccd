#include "sim/core/handles.h"

namespace sim {

namespace {
constexpr ErrorCode kInvalidFunction = 1;  // ERROR_INVALID_FUNCTION
}

ErrorCode HandleObject::Write(const void*, std::uint32_t, std::uint32_t*) { return kInvalidFunction; }
ErrorCode HandleObject::Read(void*, std::uint32_t, std::uint32_t*) { return kInvalidFunction; }
ErrorCode HandleObject::Flush() { return kInvalidFunction; }
ErrorCode HandleObject::Ioctl(std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                              std::uint32_t*) {
    return kInvalidFunction;
}

void* HandleTable::Add(std::shared_ptr<HandleObject> object, bool persistent) {
    std::uintptr_t value = next_;
    next_ += 4;
    entries_.emplace(value, Entry{std::move(object), persistent});
    return reinterpret_cast<void*>(value);
}

std::shared_ptr<HandleObject> HandleTable::Get(void* handle) const {
    auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == entries_.end() ? nullptr : it->second.object;
}

bool HandleTable::Close(void* handle) {
    auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == entries_.end() || it->second.persistent) return false;
    entries_.erase(it);
    return true;
}

std::size_t HandleTable::OpenCount() const {
    std::size_t n = 0;
    for (const auto& [v, e] : entries_)
        if (!e.persistent) ++n;
    return n;
}

}  // namespace sim
