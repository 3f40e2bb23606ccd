// A simulated PC for inspection tests: disks with real tables, volumes with NTFS boot sectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/inspect/inspection_context.h"
#include "sim/core/machine.h"
#include "sim/storage/partition_table.h"
#include "sim/storage/storage.h"

namespace velta::testing {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;

inline const win::GUID kDiskGuid = sim::GuidFromText("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
inline win::GUID PartGuid(std::uint8_t n) {
    return win::GUID{0x0c0ffee0u, 0xbeef, 0x4abc, {0x8d, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89, n}};
}

// Volume GUIDs chosen by tests, so that expected texts can be written out by hand.
inline win::GUID VolGuid(std::uint8_t n) {
    return win::GUID{0x7a1b2c3du, 0x0001, 0x11ef, {0x9a, 0xbc, 0x00, 0x15, 0x5d, 0x00, 0x00, n}};
}

class SimPc {
public:
    sim::Machine machine;
    sim::UseMachine use{machine};

    sim::Disk& GptDisk(std::uint32_t number, std::uint64_t size, const std::vector<sim::GptPartitionSpec>& parts,
                       std::uint32_t logical = 512, std::uint32_t physical = 0) {
        sim::Disk& d = machine.storage.AddDisk(number, size, logical, physical);
        sim::WriteGpt(d.bytes, logical, kDiskGuid, parts);
        return d;
    }

    sim::Disk& MbrDisk(std::uint32_t number, std::uint64_t size, const std::vector<sim::MbrPartitionSpec>& primaries,
                       const std::vector<sim::MbrPartitionSpec>& logicals = {}, std::uint32_t signature = 0x1c2d3e4f,
                       std::uint32_t logical = 512) {
        sim::Disk& d = machine.storage.AddDisk(number, size, logical, 0);
        sim::WriteMbr(d.bytes, logical, signature, primaries, logicals);
        return d;
    }

    // An NTFS volume (boot sector on disk) on a partition.
    sim::Volume& NtfsVolume(std::uint32_t disk, std::uint32_t partition, std::vector<std::u16string> mounts,
                            std::uint64_t usedBytes, std::uint8_t guid, std::uint32_t cluster = 4096) {
        const sim::Disk* d = machine.storage.FindDisk(disk);
        const sim::TableView table = d->Table();
        const sim::LayoutEntry* p = table.FindPartition(partition);
        sim::WriteNtfsBootSector(machine.storage.FindDisk(disk)->bytes, p->offset, p->length,
                                 d->logicalSectorSize, cluster);
        sim::Volume v;
        v.guid = VolGuid(guid);
        v.mountPoints = std::move(mounts);
        v.usedBytes = usedBytes;
        return machine.storage.AddVolumeOnPartition(disk, partition, std::move(v));
    }

    // The usual GPT PC: EFI, MSR, Windows C: (60 GiB, 20 GiB used), D: (40 GiB), recovery.
    void StandardGpt() {
        GptDisk(0, 128 * GiB,
                {{MiB, 100 * MiB, sim::gpt_type::EfiSystem, PartGuid(1), 0x8000000000000000ull, u"EFI"},
                 {101 * MiB, 16 * MiB, sim::gpt_type::MicrosoftReserved, PartGuid(2), 0, u""},
                 {117 * MiB, 60 * GiB, sim::gpt_type::BasicData, PartGuid(3), 0, u""},
                 {117 * MiB + 60 * GiB, 40 * GiB, sim::gpt_type::BasicData, PartGuid(4), 0, u""},
                 {117 * MiB + 100 * GiB, 600 * MiB, sim::gpt_type::Recovery, PartGuid(5), 0x8000000000000001ull, u""}});
        NtfsVolume(0, 3, {u"C:\\"}, 20 * GiB, 3);
        NtfsVolume(0, 4, {u"D:\\"}, 10 * GiB, 4);
    }

    // The usual MBR PC: system reserved (active), Windows C:, an extended partition with two
    // logical partitions (E: and a FAT32 one).
    void StandardMbr() {
        MbrDisk(0, 64 * GiB,
                {{MiB, 500 * MiB, 0x07, true}, {501 * MiB, 30 * GiB, 0x07}, {501 * MiB + 30 * GiB, 20 * GiB, 0x0f}},
                {{502 * MiB + 30 * GiB, 10 * GiB, 0x07}, {503 * MiB + 40 * GiB, 5 * GiB, 0x0c}});
        NtfsVolume(0, 2, {u"C:\\"}, 12 * GiB, 2);
        NtfsVolume(0, 3, {u"E:\\"}, GiB, 5);
    }
};

// Runs the first steps of an inspection, up to and including the partition table.
struct ProbedLayout {
    LayoutInspection record;
    InspectionContext ctx{record, true};
    bool oneExtent = false;

    void Run() {
        oneExtent = ProbeWindowsVolume(ctx);
        if (!oneExtent) return;
        ProbeDisk(ctx);
        ReadPartitionTable(ctx);
    }
};

}  // namespace velta::testing
