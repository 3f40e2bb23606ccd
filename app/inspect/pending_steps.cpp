// Steps of the inspection that are not built yet. Each raises Error with its label, so that
// no caller ever sees made-up layout data.
#include "app/inspect/inspection_context.h"
#include "platform/win/constants.h"

namespace velta {

namespace {
[[noreturn]] void NotBuilt(const char16_t* label) { throw Error{label, win::ERROR_NOT_SUPPORTED}; }
}  // namespace

void AnalyseRightSide(InspectionContext&) { NotBuilt(u"Resize analysis"); }

}  // namespace velta
