// The layout identity text and its SHA-256 fingerprint.
#pragma once

#include <string>
#include <string_view>

#include "app/inspect/inspection_context.h"

namespace velta {

// 64 lowercase hexadecimal digits: SHA-256 of the text's UTF-16LE bytes. Raises Error
// "BCryptOpenAlgorithmProvider" or "BCryptHash" (13).
std::u16string ComputeFingerprint(std::u16string_view text);

// Starts ctx.identity with the volume, the disk's geometry and its device identifiers
// (elements 1 to 10). Raises Error "Storage device identifier" (13) for an identifier
// offset that does not point at a terminated string within the returned descriptor bytes.
void BeginIdentity(InspectionContext& ctx);

}  // namespace velta
