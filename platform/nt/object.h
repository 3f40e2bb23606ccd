// Object calls of the native API that apply to every kind of handle.
#pragma once

#include "common/unique_any.h"
#include "platform/nt/types.h"

namespace nt {

NTSTATUS NtClose(HANDLE handle);

struct NtCloseTraits {
    using Type = HANDLE;
    static constexpr Type Invalid() { return nullptr; }
    // The native calls leave null where they opened nothing.
    static constexpr bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { NtClose(h); }
};

// Owns one native handle and closes it with NtClose.
using UniqueHandle = velta::UniqueAny<NtCloseTraits>;

}  // namespace nt
