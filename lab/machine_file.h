// Machine files: a simulated PC described in JSON (disks, partitions or raw images,
// volumes, BitLocker states, supported sizes), as the lab and the tests load them.
// The format is documented in docs/lab.md and kept backward compatible.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "sim/core/machine.h"

namespace sim {

// A malformed or inconsistent machine file. `field` names the offending member as a path
// such as "disks[0].partitions[2].length" ("" for the document itself).
class MachineFileError : public std::runtime_error {
public:
    MachineFileError(std::string field, const std::string& message)
        : std::runtime_error(field.empty() ? message : field + ": " + message), field_(std::move(field)) {}
    const std::string& field() const { return field_; }

private:
    std::string field_;
};

// Builds the described machine into `machine` (which should be fresh). Raw image paths are
// relative to `baseDirectory`.
void LoadMachineText(Machine& machine, const std::string& jsonText, const std::string& baseDirectory);
void LoadMachineFile(Machine& machine, const std::string& path);

// The Windows volume, as the programs will look for it, must exist: a volume whose mount
// point is a prefix of the Windows directory. Throws MachineFileError naming
// "windowsDirectory" otherwise.
void RequireWindowsVolume(const Machine& machine);

// Parses "256 GiB", "100 MiB", "4096", "512 B" (binary units, at most one space before the
// unit, whole numbers only); nullopt on anything else.
std::optional<std::uint64_t> ParseSizeText(const std::string& text);
// Parses a number written as text: decimal digits ("010" is ten) or "0x" and hexadecimal
// digits; no sign, space or anything else. Nullopt on anything else or beyond 64 bits.
std::optional<std::uint64_t> ParseNumberText(const std::string& text);

}  // namespace sim
