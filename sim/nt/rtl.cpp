// Run-time library string helpers of ntdll, as the simulated PC provides them.
#include <algorithm>
#include <cstddef>

#include "platform/nt/rtl.h"
#include "platform/nt/status.h"
#include "sim/nt/native_call.h"

namespace nt {

namespace {

void AppendHex(WCHAR*& out, std::uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) *out++ = u"0123456789ABCDEF"[(value >> (4 * i)) & 0xf];
}

}  // namespace

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
    // As ntdll does: a counted view of the text, its length capped to what USHORT holds.
    std::size_t units = 0;
    if (source != nullptr)
        while (source[units] != 0) ++units;
    std::size_t bytes = std::min<std::size_t>(units * sizeof(WCHAR), 0xFFFC);
    destination->Buffer = const_cast<PWSTR>(source);
    destination->Length = static_cast<USHORT>(bytes);
    destination->MaximumLength = static_cast<USHORT>(source == nullptr ? 0 : bytes + sizeof(WCHAR));
}

// The buffer comes from the simulated process heap; the machine keeps track of it until
// RtlFreeUnicodeString, so tests can see a string that was never freed.
NTSTATUS RtlStringFromGUID(const GUID& guid, PUNICODE_STRING guidString) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (auto f = m.faults.Hit("RtlStringFromGUID")) return static_cast<NTSTATUS>(f->code);
        if (guidString == nullptr) return STATUS_INVALID_PARAMETER;
        constexpr std::size_t kUnits = 38;
        auto* buffer = new WCHAR[kUnits + 1];
        WCHAR* out = buffer;
        *out++ = u'{';
        AppendHex(out, guid.Data1, 8);
        *out++ = u'-';
        AppendHex(out, guid.Data2, 4);
        *out++ = u'-';
        AppendHex(out, guid.Data3, 4);
        *out++ = u'-';
        AppendHex(out, guid.Data4[0], 2);
        AppendHex(out, guid.Data4[1], 2);
        *out++ = u'-';
        for (int i = 2; i < 8; ++i) AppendHex(out, guid.Data4[i], 2);
        *out++ = u'}';
        *out = 0;
        try {
            m.rtlAllocations.insert(buffer);
        } catch (...) {
            delete[] buffer;
            throw;
        }
        guidString->Buffer = buffer;
        guidString->Length = static_cast<USHORT>(kUnits * sizeof(WCHAR));
        guidString->MaximumLength = static_cast<USHORT>((kUnits + 1) * sizeof(WCHAR));
        return STATUS_SUCCESS;
    });
}

void RtlFreeUnicodeString(PUNICODE_STRING unicodeString) {
    sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (unicodeString == nullptr) return STATUS_SUCCESS;
        // Only what ntdll allocated is freed; any other buffer is left alone.
        if (m.rtlAllocations.erase(unicodeString->Buffer) > 0) delete[] unicodeString->Buffer;
        unicodeString->Buffer = nullptr;
        unicodeString->Length = 0;
        unicodeString->MaximumLength = 0;
        return STATUS_SUCCESS;
    });
}

}  // namespace nt
