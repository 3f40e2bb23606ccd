#include "tests/support/pe_image.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velta::testing {

namespace {

struct Reader {
    const std::vector<std::uint8_t>& b;
    std::uint32_t U32(std::size_t at) const {
        Need(at, 4);
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
    }
    std::uint16_t U16(std::size_t at) const {
        Need(at, 2);
        return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
    }
    void Need(std::size_t at, std::size_t n) const {
        if (at > b.size() || n > b.size() - at) throw std::runtime_error("PE image truncated");
    }
};

struct Section {
    std::uint32_t rva, virtualSize, rawOffset, rawSize;
};

}  // namespace

std::vector<std::uint8_t> ReadBinaryFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

PeImage ReadPeImage(const std::vector<std::uint8_t>& bytes) {
    Reader r{bytes};
    if (r.U16(0) != 0x5A4D) throw std::runtime_error("no MZ header");
    std::uint32_t pe = r.U32(0x3C);
    if (r.U32(pe) != 0x00004550) throw std::runtime_error("no PE signature");
    PeImage image;
    std::size_t coff = pe + 4;
    image.machine = r.U16(coff);
    std::uint16_t sectionCount = r.U16(coff + 2);
    std::uint16_t optionalSize = r.U16(coff + 16);
    std::size_t opt = coff + 20;
    image.optionalMagic = r.U16(opt);
    if (image.optionalMagic != 0x20B) throw std::runtime_error("not PE32+");
    image.entryPointRva = r.U32(opt + 16);
    image.subsystem = r.U16(opt + 68);
    std::uint32_t dirCount = r.U32(opt + 108);
    auto dir = [&](std::uint32_t index) -> std::pair<std::uint32_t, std::uint32_t> {
        if (index >= dirCount) return {0, 0};
        return {r.U32(opt + 112 + index * 8), r.U32(opt + 116 + index * 8)};
    };
    std::vector<Section> sections;
    std::size_t sec = opt + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i, sec += 40)
        sections.push_back({r.U32(sec + 12), r.U32(sec + 8), r.U32(sec + 20), r.U32(sec + 16)});
    auto offsetOf = [&](std::uint32_t rva) -> std::size_t {
        for (const auto& s : sections) {
            std::uint32_t span = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.rva && rva < s.rva + span) return s.rawOffset + (rva - s.rva);
        }
        throw std::runtime_error("RVA outside every section");
    };
    auto cString = [&](std::uint32_t rva) {
        std::size_t at = offsetOf(rva);
        std::string s;
        while (true) {
            r.Need(at, 1);
            if (bytes[at] == 0) break;
            s.push_back(static_cast<char>(bytes[at++]));
        }
        return s;
    };

    auto [importRva, importSize] = dir(1);
    if (importRva != 0) {
        for (std::size_t at = offsetOf(importRva);; at += 20) {
            std::uint32_t nameRva = r.U32(at + 12);
            if (nameRva == 0 && r.U32(at) == 0 && r.U32(at + 16) == 0) break;
            image.importedDlls.push_back(cString(nameRva));
        }
    }

    auto [resourceRva, resourceSize] = dir(2);
    if (resourceRva != 0) {
        std::size_t base = offsetOf(resourceRva);
        auto entries = [&](std::size_t dirAt) {
            std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
            std::uint16_t named = r.U16(dirAt + 12), ids = r.U16(dirAt + 14);
            for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(named) + ids; ++i)
                out.push_back({r.U32(dirAt + 16 + i * 8), r.U32(dirAt + 20 + i * 8)});
            return out;
        };
        for (auto [type, typeOff] : entries(base)) {
            if ((typeOff & 0x80000000u) == 0 || (type & 0x80000000u) != 0) continue;
            for (auto [name, nameOff] : entries(base + (typeOff & 0x7FFFFFFFu))) {
                if ((nameOff & 0x80000000u) == 0 || (name & 0x80000000u) != 0) continue;
                auto languages = entries(base + (nameOff & 0x7FFFFFFFu));
                if (languages.empty() || (languages[0].second & 0x80000000u) != 0) continue;
                std::size_t leaf = base + languages[0].second;
                std::uint32_t dataRva = r.U32(leaf), size = r.U32(leaf + 4);
                std::size_t at = offsetOf(dataRva);
                r.Need(at, size);
                image.resources[{type, name}] = std::vector<std::uint8_t>(bytes.begin() + at, bytes.begin() + at + size);
            }
        }
    }
    return image;
}

namespace {

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

// Walks one version block and its children; blocks are length-prefixed, keys UTF-16.
void WalkBlock(const Reader& r, std::size_t at, std::size_t end, int depth, VersionRecord& out) {
    while (at + 6 <= end) {
        std::size_t length = r.U16(at);
        if (length == 0) break;
        std::size_t blockEnd = at + length;
        std::uint16_t valueLength = r.U16(at + 2), type = r.U16(at + 4);
        std::size_t p = at + 6;
        std::u16string key;
        while (p + 2 <= blockEnd && r.U16(p) != 0) {
            key.push_back(static_cast<char16_t>(r.U16(p)));
            p += 2;
        }
        p = Align4(p + 2);
        std::size_t valueBytes = type == 1 ? valueLength * 2u : valueLength;
        if (depth == 0 && key == u"VS_VERSION_INFO" && valueLength >= 52 && r.U32(p) == 0xFEEF04BD) {
            out.fileVersion = (static_cast<std::uint64_t>(r.U32(p + 8)) << 32) | r.U32(p + 12);
            out.productVersion = (static_cast<std::uint64_t>(r.U32(p + 16)) << 32) | r.U32(p + 20);
        }
        if (depth == 3 && type == 1) {
            std::u16string value;
            for (std::size_t q = p; q + 2 <= p + valueBytes && r.U16(q) != 0; q += 2)
                value.push_back(static_cast<char16_t>(r.U16(q)));
            out.strings[key] = value;
        }
        std::size_t children = Align4(p + valueBytes);
        if (children < blockEnd && depth < 3) WalkBlock(r, children, blockEnd, depth + 1, out);
        at = Align4(blockEnd);
    }
}

}  // namespace

VersionRecord ReadVersionRecord(const std::vector<std::uint8_t>& bytes) {
    VersionRecord v;
    Reader r{bytes};
    WalkBlock(r, 0, bytes.size(), 0, v);
    return v;
}

}  // namespace velta::testing
