// The on-disk partition tables of the simulated PC, MBR with its EBR chain and GPT with both
// headers and their CRC32s, read and written as real bytes; and the drive layout that Windows
// reports for them (DRIVE_LAYOUT_INFORMATION_EX).
//
// What Windows reports, and so what ReadTable yields: for MBR, four entries for the MBR's
// slots and four for each EBR of the chain (logical partition, link, two empty); empty slots
// have type 0, offset 0 and length 0; partitions are numbered 1.. in table order over the
// used non-extended entries, the container and the links get 0. For GPT, the used entries
// only, numbered 1.. in table order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/types.h"
#include "sim/storage/disk_bytes.h"

namespace sim {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

enum class TableStyle : std::uint32_t { Mbr = 0, Gpt = 1, Raw = 2 };

// One entry of the layout, with where it lives on disk.
struct LayoutEntry {
    std::uint64_t offset = 0;  // bytes from the start of the disk
    std::uint64_t length = 0;  // bytes
    std::uint32_t number = 0;  // the partition number Windows reports
    // GPT.
    win::GUID type{};
    win::GUID id{};
    std::uint64_t attributes = 0;
    std::u16string name;
    // MBR.
    std::uint8_t mbrType = 0;
    bool active = false;
    bool container = false;  // the extended partition of the MBR
    bool link = false;       // an EBR's pointer to the next EBR
    bool logical = false;    // a logical partition described by an EBR
    std::uint32_t hiddenSectors = 0;
    // Where the entry is stored: GPT entry-array index, or the MBR/EBR sector's byte offset
    // and the slot (0..3) within it.
    std::uint32_t gptIndex = 0;
    std::uint64_t recordOffset = 0;
    std::uint32_t slot = 0;

    bool Used() const { return length != 0 || mbrType != 0; }
    bool IsPartition() const { return Used() && !container && !link; }
};

struct TableView {
    TableStyle style = TableStyle::Raw;
    std::uint32_t sectorSize = 512;
    std::uint32_t mbrSignature = 0;
    win::GUID diskId{};
    std::uint64_t usableStart = 0;   // GPT: first usable byte
    std::uint64_t usableLength = 0;  // GPT: bytes from the first to past the last usable
    std::uint32_t maxPartitionCount = 0;
    std::vector<LayoutEntry> entries;  // Windows' order
    // GPT: where the tables are, for rewriting.
    std::uint64_t primaryEntriesLba = 0;
    std::uint64_t backupEntriesLba = 0;
    std::uint64_t backupHeaderLba = 0;
    std::uint32_t gptEntryCount = 0;
    std::uint32_t gptEntrySize = 0;
    bool primaryHeaderValid = false;
    bool backupHeaderValid = false;

    // The partition that Windows numbers `number` (never the container or a link).
    const LayoutEntry* FindPartition(std::uint32_t number) const;
};

// Parses the tables on disk. A disk without a valid MBR signature, or a GPT whose two
// headers both fail their checks, is RAW.
TableView ReadTable(const DiskBytes& disk, std::uint32_t sectorSize);

// DRIVE_LAYOUT_INFORMATION_EX bytes of a table, header and 144-byte entries.
std::vector<std::uint8_t> EncodeDriveLayout(const TableView& table);

// Building tables. Offsets and lengths are bytes and must be sector multiples; the builders
// throw std::invalid_argument for a table that cannot be written.
struct GptPartitionSpec {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    win::GUID type{};
    win::GUID id{};
    std::uint64_t attributes = 0;
    std::u16string name;
};
// Protective MBR, both headers, both entry arrays (128 entries of 128 bytes). Partitions
// fill the array in list order.
void WriteGpt(DiskBytes& disk, std::uint32_t sectorSize, const win::GUID& diskId,
              const std::vector<GptPartitionSpec>& partitions);

struct MbrPartitionSpec {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    std::uint8_t type = 0x07;
    bool active = false;
    // Logical partitions: where its EBR goes; by default 1 MiB before the partition, or
    // right after the previous logical partition (or at the container's start) if closer.
    std::optional<std::uint64_t> ebrOffset = std::nullopt;
};
// The MBR's four slots hold `primaries` in order (at most four; an extended type is the
// container); `logicals` are chained through EBRs inside the container, in list order.
void WriteMbr(DiskBytes& disk, std::uint32_t sectorSize, std::uint32_t signature,
              const std::vector<MbrPartitionSpec>& primaries,
              const std::vector<MbrPartitionSpec>& logicals);

// Rewrites the extent of one entry in place: GPT, the entry in both arrays and the CRCs of
// both headers; MBR, the slot, and for a logical partition the link that spans its EBR.
void SetEntryExtent(DiskBytes& disk, const TableView& table, const LayoutEntry& entry,
                    std::uint64_t newStart, std::uint64_t newLength);

// Published GPT partition types.
namespace gpt_type {
extern const win::GUID BasicData;
extern const win::GUID EfiSystem;
extern const win::GUID MicrosoftReserved;
extern const win::GUID Recovery;
extern const win::GUID LdmMetadata;
extern const win::GUID LdmData;
}  // namespace gpt_type

// Parses "{XXXXXXXX-...}" or the same without braces (either case); throws on bad text.
win::GUID GuidFromText(std::string_view text);

}  // namespace sim
