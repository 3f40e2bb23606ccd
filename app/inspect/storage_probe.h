// Reading the drive layout bytes, the one call whose buffer grows.
#pragma once

#include "app/inspect/inspection_context.h"

namespace velta {

// Fills ctx.driveLayout with the bytes Windows returned, after the size check.
void ReadDriveLayout(InspectionContext& ctx);

}  // namespace velta
