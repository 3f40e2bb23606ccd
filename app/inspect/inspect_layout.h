// One inspection of the disk that holds the Windows volume.
#pragma once

#include "app/model/layout_model.h"

namespace velta {

// Raises Error when a step fails. With `analyse` false it stops after the fingerprint.
LayoutInspection InspectLayout(bool analyse);

// The display form: the snapshot of an analysing inspection; a failed step becomes
// status StorageInfoUnavailable with the step as detail and everything else zero.
LayoutSnapshot InspectForDisplay();

}  // namespace velta
