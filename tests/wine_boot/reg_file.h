// Reading and writing the .reg files of Wine's `reg export` and `reg import`, so that tests
// see and set registry values byte for byte.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace velta::testing {

struct RegValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const RegValue&) const = default;
};

// The values of one key (not its subkeys) as an exported .reg file (UTF-16 with a byte-order
// mark) lists them, by name.
std::map<std::string, RegValue> ParseRegExport(const std::vector<std::uint8_t>& file,
                                               const std::string& keyPath);

// A .reg file that sets each named value, or deletes it when it has no value. It is written
// in UTF-16 as `reg export` writes it: from a file in ANSI, Wine's `reg import` would convert
// the bytes of a hex(7) list as if they were ANSI text.
std::vector<std::uint8_t> RegImportFile(const std::string& keyPath,
                                        const std::map<std::string, std::optional<RegValue>>& values);

// Shows a value's type and bytes in test failures.
void PrintTo(const RegValue& value, std::ostream* os);

// UTF-16LE bytes of a text, without a terminator.
std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text);

}  // namespace velta::testing
