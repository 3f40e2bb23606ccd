// Byte-level pieces shared by the MBR and GPT codecs of the simulated PC.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/storage/disk_bytes.h"
#include "sim/storage/partition_table.h"

namespace sim::table_codec {

inline std::vector<std::uint8_t> Sector(const DiskBytes& d, std::uint64_t lba, std::uint32_t ss) {
    return d.Read(lba * ss, ss);
}

inline bool HasBootSignature(const std::vector<std::uint8_t>& sector) {
    return sector.size() >= 512 && sector[510] == 0x55 && sector[511] == 0xaa;
}

inline void RequireSectorMultiple(std::uint64_t v, std::uint32_t ss, const char* what) {
    if (v % ss != 0) throw std::invalid_argument(std::string(what) + " is not a multiple of the sector size");
}

// MBR side (sim/mbr_table.cpp).
bool IsProtectiveMbr(const std::vector<std::uint8_t>& mbr);
void ReadMbr(const DiskBytes& d, const std::vector<std::uint8_t>& mbr, TableView& t);
void WriteProtectiveMbr(DiskBytes& d, std::uint32_t ss, std::uint64_t lastLba);
void SetMbrExtent(DiskBytes& d, const TableView& t, const LayoutEntry& entry, std::uint64_t newStart,
                  std::uint64_t newLength);

// GPT side (sim/gpt_table.cpp).
void ReadGpt(const DiskBytes& d, TableView& t);
void SetGptExtent(DiskBytes& d, const TableView& t, const LayoutEntry& entry, std::uint64_t newStart,
                  std::uint64_t newLength);

}  // namespace sim::table_codec
