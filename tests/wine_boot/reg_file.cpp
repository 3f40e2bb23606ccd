#include "tests/wine_boot/reg_file.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace velta::testing {

namespace {

std::u16string DecodeUtf16(const std::vector<std::uint8_t>& file) {
    if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xFE)
        throw std::runtime_error("exported .reg file is not UTF-16");
    std::u16string out;
    for (std::size_t i = 2; i + 1 < file.size(); i += 2)
        out.push_back(static_cast<char16_t>(file[i] | (file[i + 1] << 8)));
    return out;
}

// Names and sections are ASCII here; anything else is kept as '?', which no test looks up.
std::string Narrow(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::vector<std::string> LogicalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        std::string line = text.substr(i, j - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!current.empty()) {
            std::size_t k = 0;
            while (k < line.size() && line[k] == ' ') ++k;
            line = line.substr(k);
        }
        // Only hex lists are continued; a string ending in a backslash ends in '\\"'.
        if (!line.empty() && line.back() == '\\') {
            current += line.substr(0, line.size() - 1);
        } else {
            lines.push_back(current + line);
            current.clear();
        }
        i = j + 1;
    }
    return lines;
}

std::vector<std::uint8_t> HexBytes(const std::string& list) {
    std::vector<std::uint8_t> out;
    std::string digits;
    for (char c : list) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (c == ',') {
            out.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
            digits.clear();
        }
    }
    if (!digits.empty()) out.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
    return out;
}

// A quoted .reg string starting at text[i] == '"'; returns its contents and moves i past it.
std::string Quoted(const std::string& text, std::size_t& i) {
    std::string out;
    ++i;
    while (i < text.size() && text[i] != '"') {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        out.push_back(text[i++]);
    }
    ++i;
    return out;
}

}  // namespace

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::map<std::string, RegValue> ParseRegExport(const std::vector<std::uint8_t>& file,
                                               const std::string& keyPath) {
    std::map<std::string, RegValue> values;
    bool inKey = false;
    for (const std::string& line : LogicalLines(Narrow(DecodeUtf16(file)))) {
        if (line.empty()) continue;
        if (line[0] == '[') {
            inKey = line == "[" + keyPath + "]";
            continue;
        }
        if (!inKey || line[0] != '"') continue;
        std::size_t i = 0;
        std::string name = Quoted(line, i);
        if (i >= line.size() || line[i] != '=') throw std::runtime_error("bad .reg line: " + line);
        std::string rest = line.substr(i + 1);
        RegValue v;
        if (!rest.empty() && rest[0] == '"') {
            std::size_t k = 0;
            std::string s = Quoted(rest, k);
            v.type = 1;  // REG_SZ, stored with its terminator
            v.data = Utf16Bytes(std::u16string(s.begin(), s.end()));
            v.data.insert(v.data.end(), {0, 0});
        } else if (rest.rfind("dword:", 0) == 0) {
            std::uint32_t d = static_cast<std::uint32_t>(std::stoul(rest.substr(6), nullptr, 16));
            v.type = 4;
            v.data = {std::uint8_t(d), std::uint8_t(d >> 8), std::uint8_t(d >> 16), std::uint8_t(d >> 24)};
        } else if (rest.rfind("hex:", 0) == 0) {
            v.type = 3;
            v.data = HexBytes(rest.substr(4));
        } else if (rest.rfind("hex(", 0) == 0) {
            std::size_t close = rest.find("):");
            if (close == std::string::npos) throw std::runtime_error("bad .reg line: " + line);
            v.type = static_cast<std::uint32_t>(std::stoul(rest.substr(4, close - 4), nullptr, 16));
            v.data = HexBytes(rest.substr(close + 2));
        } else {
            throw std::runtime_error("unknown .reg value form: " + line);
        }
        values[name] = v;
    }
    return values;
}

std::vector<std::uint8_t> RegImportFile(const std::string& keyPath,
                                        const std::map<std::string, std::optional<RegValue>>& values) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[" + keyPath + "]\r\n";
    for (const auto& [name, value] : values) {
        text += "\"" + name + "\"=";
        if (!value) {
            text += "-\r\n";
            continue;
        }
        char head[16];
        std::snprintf(head, sizeof(head), "hex(%x):", value->type);
        text += head;
        for (std::size_t i = 0; i < value->data.size(); ++i) {
            char byte[4];
            std::snprintf(byte, sizeof(byte), "%02x", value->data[i]);
            if (i > 0) text += ",";
            text += byte;
        }
        text += "\r\n";
    }
    std::vector<std::uint8_t> file = {0xFF, 0xFE};
    for (char c : text) file.insert(file.end(), {static_cast<std::uint8_t>(c), 0});
    return file;
}

void PrintTo(const RegValue& value, std::ostream* os) {
    *os << "type " << value.type << ", " << value.data.size() << " bytes:";
    char byte[4];
    for (std::uint8_t b : value.data) {
        std::snprintf(byte, sizeof(byte), " %02x", b);
        *os << byte;
    }
}

}  // namespace velta::testing
