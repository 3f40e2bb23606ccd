// The scan report: one snapshot as text lines, each handed to the console writer whole.
#pragma once

#include "app/model/layout_model.h"

namespace velta {

void PrintReport(bool useChinese, const LayoutSnapshot& snapshot);

}  // namespace velta
