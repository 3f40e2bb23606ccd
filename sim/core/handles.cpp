#include "sim/core/handles.h"

namespace sim {

namespace {
constexpr ErrorCode kInvalidFunction = 1;                                      // ERROR_INVALID_FUNCTION
constexpr NtStatus kInvalidDeviceRequest = static_cast<NtStatus>(0xC0000010u);  // STATUS_INVALID_DEVICE_REQUEST
}  // namespace

ErrorCode HandleObject::Write(const void*, std::uint32_t, std::uint32_t*) { return kInvalidFunction; }
ErrorCode HandleObject::Read(void*, std::uint32_t, std::uint32_t*) { return kInvalidFunction; }
ErrorCode HandleObject::Flush() { return kInvalidFunction; }
NtStatus HandleObject::Control(std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                               std::uint32_t*) {
    return kInvalidDeviceRequest;
}
NtStatus HandleObject::ReadAt(std::uint64_t, void*, std::uint32_t, std::uint32_t*) {
    return kInvalidDeviceRequest;
}
NtStatus HandleObject::WriteAt(std::uint64_t, const void*, std::uint32_t, std::uint32_t*) {
    return kInvalidDeviceRequest;
}
NtStatus HandleObject::FlushBuffers() { return kInvalidDeviceRequest; }

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
    auto object = std::move(it->second.object);
    entries_.erase(it);
    object->OnClose();
    return true;
}

std::size_t HandleTable::OpenCount() const {
    std::size_t n = 0;
    for (const auto& [v, e] : entries_)
        if (!e.persistent) ++n;
    return n;
}

void HandleTable::ForEach(const std::function<void(HandleObject&)>& visit) const {
    for (const auto& [v, e] : entries_) visit(*e.object);
}

void HandleTable::DropAll() {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.persistent)
            ++it;
        else
            it = entries_.erase(it);
    }
}

}  // namespace sim
