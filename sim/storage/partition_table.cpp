#include "sim/storage/partition_table.h"

#include <array>
#include <stdexcept>

#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/storage/table_codec.h"

namespace sim {

using win::LoadGuid;
using velta::LoadLe16;
using velta::LoadLe32;
using velta::LoadLe64;
using win::StoreGuid;
using velta::StoreLe16;
using velta::StoreLe32;
using velta::StoreLe64;

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xffffffffu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

const LayoutEntry* TableView::FindPartition(std::uint32_t number) const {
    if (number == 0) return nullptr;
    for (const auto& e : entries)
        if (e.number == number && e.IsPartition()) return &e;
    return nullptr;
}
TableView ReadTable(const DiskBytes& disk, std::uint32_t sectorSize) {
    TableView t;
    t.sectorSize = sectorSize;
    if (sectorSize == 0 || disk.Size() < 2ull * sectorSize || sectorSize < 512) return t;
    auto mbr = table_codec::Sector(disk, 0, sectorSize);
    if (!table_codec::HasBootSignature(mbr)) return t;
    if (table_codec::IsProtectiveMbr(mbr))
        table_codec::ReadGpt(disk, t);
    else
        table_codec::ReadMbr(disk, mbr, t);
    return t;
}

std::vector<std::uint8_t> EncodeDriveLayout(const TableView& t) {
    namespace dl = win::drive_layout;
    namespace pi = win::partition_info;
    std::vector<std::uint8_t> out(dl::kHeaderSize + t.entries.size() * pi::kSize, 0);
    StoreLe32(out.data() + dl::PartitionStyle, static_cast<std::uint32_t>(t.style));
    StoreLe32(out.data() + dl::PartitionCount, static_cast<std::uint32_t>(t.entries.size()));
    if (t.style == TableStyle::Gpt) {
        StoreGuid(out.data() + dl::GptDiskId, t.diskId);
        StoreLe64(out.data() + dl::GptStartingUsableOffset, t.usableStart);
        StoreLe64(out.data() + dl::GptUsableLength, t.usableLength);
        StoreLe32(out.data() + dl::GptMaxPartitionCount, t.maxPartitionCount);
    } else if (t.style == TableStyle::Mbr) {
        StoreLe32(out.data() + dl::MbrSignature, t.mbrSignature);
    }
    for (std::size_t i = 0; i < t.entries.size(); ++i) {
        const LayoutEntry& e = t.entries[i];
        std::uint8_t* p = out.data() + dl::kHeaderSize + i * pi::kSize;
        StoreLe32(p + pi::PartitionStyle, static_cast<std::uint32_t>(t.style));
        StoreLe64(p + pi::StartingOffset, e.offset);
        StoreLe64(p + pi::PartitionLength, e.length);
        StoreLe32(p + pi::PartitionNumber, e.number);
        if (t.style == TableStyle::Gpt) {
            StoreGuid(p + pi::GptPartitionType, e.type);
            StoreGuid(p + pi::GptPartitionId, e.id);
            StoreLe64(p + pi::GptAttributes, e.attributes);
            for (std::size_t c = 0; c < e.name.size() && c < pi::kGptNameChars; ++c)
                StoreLe16(p + pi::GptName + 2 * c, e.name[c]);
        } else {
            p[pi::MbrPartitionType] = e.mbrType;
            p[pi::MbrBootIndicator] = e.active ? 1 : 0;
            p[pi::MbrRecognizedPartition] = e.IsPartition() ? 1 : 0;
            StoreLe32(p + pi::MbrHiddenSectors, e.hiddenSectors);
        }
    }
    return out;
}

void SetEntryExtent(DiskBytes& d, const TableView& t, const LayoutEntry& entry, std::uint64_t newStart,
                    std::uint64_t newLength) {
    table_codec::RequireSectorMultiple(newStart, t.sectorSize, "partition start");
    table_codec::RequireSectorMultiple(newLength, t.sectorSize, "partition length");
    if (newLength == 0) throw std::invalid_argument("a partition cannot be empty");
    if (t.style == TableStyle::Gpt) return table_codec::SetGptExtent(d, t, entry, newStart, newLength);
    if (t.style != TableStyle::Mbr) throw std::invalid_argument("the disk has no partition table");
    table_codec::SetMbrExtent(d, t, entry, newStart, newLength);
}

// Constant-initialised, so tables built during static initialisation may use them.
namespace gpt_type {
const win::GUID BasicData = {0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
const win::GUID EfiSystem = {0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
const win::GUID MicrosoftReserved = {0xE3C9E316, 0x0B5C, 0x4DB8, {0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE}};
const win::GUID Recovery = {0xDE94BBA4, 0x06D1, 0x4D40, {0xA1, 0x6A, 0xBF, 0xD5, 0x01, 0x79, 0xD6, 0xAC}};
const win::GUID LdmMetadata = {0x5808C8AA, 0x7E8F, 0x42E0, {0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3}};
const win::GUID LdmData = {0xAF9B60A0, 0x1431, 0x4F62, {0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD}};
}  // namespace gpt_type

win::GUID GuidFromText(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) throw std::invalid_argument("GUID text must have 36 characters");
    auto hex = [&](std::size_t at, int digits) {
        std::uint64_t v = 0;
        for (int i = 0; i < digits; ++i) {
            char c = text[at + i];
            int n = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (n < 0) throw std::invalid_argument("GUID text has a non-hexadecimal digit");
            v = v * 16 + static_cast<std::uint64_t>(n);
        }
        return v;
    };
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        throw std::invalid_argument("GUID text needs dashes at 8, 13, 18 and 23");
    win::GUID g{};
    g.Data1 = static_cast<std::uint32_t>(hex(0, 8));
    g.Data2 = static_cast<std::uint16_t>(hex(9, 4));
    g.Data3 = static_cast<std::uint16_t>(hex(14, 4));
    g.Data4[0] = static_cast<std::uint8_t>(hex(19, 2));
    g.Data4[1] = static_cast<std::uint8_t>(hex(21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<std::uint8_t>(hex(24 + 2 * i, 2));
    return g;
}

}  // namespace sim
