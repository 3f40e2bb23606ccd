// What the desktop program reads from the handoff: may a resize be staged, is one pending,
// and the clean-up after a grow that finished and matches the disk.
#pragma once

#include <string>

#include "app/model/layout_model.h"

namespace velta {

// True when no resize is staged and nothing of an earlier one is left.
bool IsHandoffClean();

// True when a 32-byte grow request is registered.
bool IsGrowPending();

// Deletes the executor image, the claim file and every handoff value when the executor ran,
// reports success, and the snapshot shows exactly the result it reports. Otherwise leaves
// everything as it is.
void CleanUpFinishedGrow(const LayoutSnapshot& snapshot);

// GetFileAttributesW fails with ERROR_FILE_NOT_FOUND; any other answer counts as present.
bool IsFileAbsent(const std::u16string& path);

// Deletes the image and then the claim file; true when both are gone.
bool DeleteHandoffFiles();

}  // namespace velta
