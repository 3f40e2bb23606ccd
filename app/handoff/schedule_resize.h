// The transaction that turns a confirmed amount into a resize at the next boot.
#pragma once

#include <cstdint>

#include "app/model/layout_model.h"

namespace velta {

// Serialises the transactions of every process on the machine, whichever user runs them.
inline constexpr char16_t kResizeMutexName[] = u"Global\\Veltamoor.Resize.System";

// Re-inspects, checks that the layout is the one the user saw (by fingerprint) and that the
// amount is allowed, shrinks the source partition online when needed, stages the plan and
// asks Windows to restart. 0 when the restart has been requested, otherwise one code: a
// Windows error code, an HRESULT, or the "ReturnValue" of the online shrink.
std::uint32_t ScheduleResize(const LayoutSnapshot& seen, std::uint64_t amount, bool useChinese);

}  // namespace velta
