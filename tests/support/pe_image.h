// A small reader of PE32+ images: headers, imports, resources and the version record.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velta::testing {

struct PeImage {
    std::uint16_t machine = 0;
    std::uint16_t optionalMagic = 0;
    std::uint16_t subsystem = 0;
    std::uint32_t entryPointRva = 0;
    std::vector<std::string> importedDlls;
    // (type id, name id) to the resource's bytes; only integer identifiers are read.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint8_t>> resources;
};

// Raises std::runtime_error when the bytes are not a well-formed PE32+ image.
PeImage ReadPeImage(const std::vector<std::uint8_t>& bytes);

struct VersionRecord {
    std::uint64_t fileVersion = 0;     // MS << 32 | LS
    std::uint64_t productVersion = 0;
    std::map<std::u16string, std::u16string> strings;  // every StringTable entry
};

VersionRecord ReadVersionRecord(const std::vector<std::uint8_t>& bytes);

std::vector<std::uint8_t> ReadBinaryFile(const std::string& path);

}  // namespace velta::testing
