// Boot-screen text of the native API on the simulated PC: each drawn line is kept on the
// machine's boot screen, in draw order. Fault "NtDrawText" makes a draw fail and show nothing.
#include "platform/nt/display.h"
#include "platform/nt/status.h"
#include "sim/nt/native_call.h"

namespace nt {

NTSTATUS NtDrawText(PUNICODE_STRING text) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (auto f = m.faults.Hit("NtDrawText")) return static_cast<NTSTATUS>(f->code);
        if (text == nullptr || text->Length % 2 != 0 || text->Length > text->MaximumLength ||
            (text->Length > 0 && text->Buffer == nullptr))
            return STATUS_INVALID_PARAMETER;
        m.bootScreen.lines.emplace_back(text->Buffer, text->Length / sizeof(WCHAR));
        return STATUS_SUCCESS;
    });
}

}  // namespace nt
