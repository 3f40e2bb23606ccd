// The resize analysis through the whole inspection, one machine file per case.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "app/inspect/inspect_layout.h"
#include "lab/machine_file.h"
#include "sim/core/text.h"

namespace velta {
namespace {

using Json = nlohmann::json;
constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;
// Every NTFS volume here has 4 KiB clusters and spans its partition less one sector.
constexpr std::uint64_t NtfsBytes(std::uint64_t partition) { return (partition - 512) / 4096 * 4096; }

constexpr std::uint64_t kWinStart = 101 * MiB;
constexpr std::uint64_t kWinLength = 100 * GiB;
constexpr std::uint64_t kWinEnd = kWinStart + kWinLength;

// A disk of 1 TiB: an EFI partition, C: (partition 2), then `after` (numbered from 3), and the
// volumes C: plus `volumes`.
Json Machine(const std::string& style, Json after, Json volumes, Json windowsVolume = Json::object()) {
    Json partitions = Json::array();
    if (style == "gpt") {
        partitions.push_back({{"start", MiB}, {"length", 100 * MiB}, {"type", "efi"}});
        partitions.push_back({{"start", kWinStart}, {"length", kWinLength}});
    } else {
        partitions.push_back({{"start", MiB}, {"length", 100 * MiB}, {"type", "0x27"}});
        partitions.push_back({{"start", kWinStart}, {"length", kWinLength}, {"type", "0x07"}});
    }
    Json disk = {{"number", 0}, {"size", "1 TiB"}, {"style", style}};
    Json logical = Json::array();
    for (auto& p : after) {
        if (p.contains("logical")) {
            p.erase("logical");
            logical.push_back(p);
        } else {
            partitions.push_back(p);
        }
    }
    disk["partitions"] = partitions;
    if (!logical.empty()) disk["logical"] = logical;
    Json c = {{"disk", 0}, {"partition", 2}, {"mountPoints", {"C:\\"}}, {"used", 40 * GiB}};
    c.update(windowsVolume);
    Json all = Json::array({c});
    for (auto& v : volumes) all.push_back(v);
    return {{"disks", {disk}}, {"volumes", all}};
}

struct Case {
    const char* name;
    Json machine;
    PlanKind kind;
    ResizeStatus status;
    std::uint64_t unallocatedIncrease, shrinkable, maximumIncrease;
    std::string detail = "";
};

LayoutSnapshot Inspect(const Json& machineJson) {
    sim::Machine m;
    sim::LoadMachineText(m, machineJson.dump(), ".");
    sim::UseMachine use(m);
    return InspectForDisplay();
}

Json DataAfter(std::uint64_t gap, std::uint64_t length, Json extra = Json::object()) {
    Json p = {{"start", kWinEnd + gap}, {"length", length}};
    p.update(extra);
    return p;
}

// D: on partition 3 with `free` bytes free.
Json DVolume(std::uint64_t partitionLength, std::uint64_t free, Json extra = Json::object()) {
    Json v = {{"disk", 0}, {"partition", 3}, {"mountPoints", {"D:\\"}}, {"used", NtfsBytes(partitionLength) - free}};
    v.update(extra);
    return v;
}

TEST(Analysis, BoundsAndStatusesOfTheRightSide) {
    const std::uint64_t d200 = 200 * GiB;
    const Json minD = {{"supportedSize", {{"min", 120 * GiB}}}};
    const Case cases[] = {
        {"100 GiB unallocated, growth bounded by the supported maximum",
         Machine("gpt", Json::array({DataAfter(100 * GiB, 10 * GiB, {{"type", "recovery"}})}), Json::array(),
                 {{"supportedSize", {{"max", kWinLength + 50 * GiB + 5}}}}),
         PlanKind::Unallocated, ResizeStatus::Ready, 50 * GiB, 0, 50 * GiB},
        {"unallocated to the end of the disk",
         Machine("gpt", Json::array(), Json::array()), PlanKind::Unallocated, ResizeStatus::Ready,
         // The usable end of a 1 TiB GPT disk is 33 sectors before its end.
         (1ull << 40) - 33 * 512 - kWinEnd - ((1ull << 40) - 33 * 512 - kWinEnd) % MiB, 0,
         (1ull << 40) - 33 * 512 - kWinEnd - ((1ull << 40) - 33 * 512 - kWinEnd) % MiB},
        {"512 KiB then a recovery partition",
         Machine("gpt", Json::array({DataAfter(512 * 1024, GiB, {{"type", "recovery"}})}), Json::array()),
         PlanKind::None, ResizeStatus::ReservedNeighbour, 0, 0, 0},
        {"D: right after, 50 GiB free, 200 GiB long, SizeMin 120 GiB",
         Machine("gpt", Json::array({DataAfter(0, d200)}), Json::array({DVolume(d200, 50 * GiB, minD)})),
         PlanKind::AdjacentData, ResizeStatus::RestartRequired, 0, 49 * GiB, 49 * GiB},
        {"the same with 800 MiB free",
         Machine("gpt", Json::array({DataAfter(0, d200)}), Json::array({DVolume(d200, 800 * MiB, minD)})),
         PlanKind::AdjacentData, ResizeStatus::InsufficientShrinkable, 0, 0, 0},
        {"the same but D: is FAT32",
         Machine("gpt", Json::array({DataAfter(0, d200)}),
                 Json::array({DVolume(d200, 50 * GiB, {{"fileSystem", "FAT32"}})})),
         PlanKind::AdjacentData, ResizeStatus::NotNtfs, 0, 0, 0},
        {"a 4 KiB gap before D:",
         Machine("gpt", Json::array({DataAfter(4096, d200)}), Json::array({DVolume(d200, 50 * GiB, minD)})),
         PlanKind::AdjacentData, ResizeStatus::RestartRequired, 0, 0, 0},
        {"10 GiB unallocated then D:",
         Machine("gpt", Json::array({DataAfter(10 * GiB, d200)}), Json::array({DVolume(d200, 50 * GiB, minD)}),
                 {{"supportedSize", {{"max", kWinLength + 10 * GiB}}}}),
         PlanKind::Unallocated, ResizeStatus::Ready, 10 * GiB, 49 * GiB, 59 * GiB},
        {"10 GiB unallocated then D:, but only 5 GiB growable",
         Machine("gpt", Json::array({DataAfter(10 * GiB, d200)}), Json::array({DVolume(d200, 50 * GiB, minD)}),
                 {{"supportedSize", {{"max", kWinLength + 5 * GiB}}}}),
         PlanKind::Unallocated, ResizeStatus::Ready, 5 * GiB, 0, 5 * GiB},
        {"a GPT data partition with attributes (hidden OEM data)",
         Machine("gpt", Json::array({DataAfter(0, d200, {{"attributes", "0x8000000000000001"}})}),
                 Json::array({DVolume(d200, 50 * GiB, minD)})),
         PlanKind::AdjacentData, ResizeStatus::RestartRequired, 0, 0, 0},
        {"BitLocker on the Windows volume",
         Machine("gpt", Json::array({DataAfter(0, d200)}), Json::array({DVolume(d200, 50 * GiB, minD)}),
                 {{"bitlocker", {{"protectionStatus", 1}}}}),
         PlanKind::AdjacentData, ResizeStatus::BitLockerActive, 0, 0, 0},
        {"BitLocker on the source while 10 GiB are growable",
         Machine("gpt", Json::array({DataAfter(10 * GiB, d200)}),
                 Json::array({DVolume(d200, 50 * GiB, {{"bitlocker", {{"conversionStatus", 1}}}})}),
                 {{"supportedSize", {{"max", kWinLength + 10 * GiB}}}}),
         PlanKind::Unallocated, ResizeStatus::Ready, 10 * GiB, 0, 10 * GiB},
        {"BitLocker on the source with nothing unallocated",
         Machine("gpt", Json::array({DataAfter(0, d200)}),
                 Json::array({DVolume(d200, 50 * GiB, {{"bitlocker", {{"conversionStatus", 2}}}})})),
         PlanKind::AdjacentData, ResizeStatus::BitLockerActive, 0, 0, 0},
        {"GetSupportedSize fails on the source with nothing unallocated",
         Machine("gpt", Json::array({DataAfter(0, d200)}),
                 Json::array({DVolume(d200, 50 * GiB, {{"supportedSize", {{"returnValue", 2}}}})})),
         PlanKind::AdjacentData, ResizeStatus::StorageInfoUnavailable, 0, 0, 0, "GetSupportedSize 2"},
        {"FAT32 Windows volume with an invalid layout",
         Machine("gpt", Json::array({DataAfter(0, d200, {{"type", "ldm-data"}})}), Json::array(),
                 {{"fileSystem", "FAT32"}}),
         PlanKind::None, ResizeStatus::NotNtfs, 0, 0, 0},
        {"no volume on the data partition",
         Machine("gpt", Json::array({DataAfter(0, d200)}), Json::array()), PlanKind::AdjacentData,
         ResizeStatus::RestartRequired, 0, 0, 0},
        {"MBR: D: right after Windows",
         Machine("mbr", Json::array({DataAfter(0, d200, {{"type", "0x07"}})}),
                 Json::array({DVolume(d200, 50 * GiB, minD)})),
         PlanKind::AdjacentData, ResizeStatus::RestartRequired, 0, 49 * GiB, 49 * GiB},
        {"MBR exception: 10 GiB then D:, supported maximum equal to the current length",
         Machine("mbr", Json::array({DataAfter(10 * GiB + 4096, d200, {{"type", "0x07"}})}),
                 Json::array({DVolume(d200, 50 * GiB, minD)}), {{"supportedSize", {{"max", kWinLength}}}}),
         PlanKind::Unallocated, ResizeStatus::Ready, 10 * GiB, 0, 10 * GiB},
        {"MBR: extended container right after Windows holding one logical partition",
         Machine("mbr",
                 Json::array({DataAfter(0, 300 * GiB, {{"type", "0x0f"}}),
                              DataAfter(MiB, d200, {{"type", "0x07"}, {"logical", true}})}),
                 Json::array({DVolume(d200, 50 * GiB, minD)})),
         PlanKind::LogicalInExtended, ResizeStatus::RestartRequired, 0, 49 * GiB, 49 * GiB},
        {"MBR: extended container with three logical partitions never gives space",
         Machine("mbr",
                 Json::array({DataAfter(0, 300 * GiB, {{"type", "0x0f"}}),
                              DataAfter(MiB, d200, {{"type", "0x07"}, {"logical", true}}),
                              DataAfter(d200 + 2 * MiB, 10 * GiB, {{"type", "0x07"}, {"logical", true}}),
                              DataAfter(d200 + 10 * GiB + 3 * MiB, 10 * GiB, {{"type", "0x07"}, {"logical", true}})}),
                 Json::array({DVolume(d200, 50 * GiB, minD)})),
         PlanKind::LogicalInExtended, ResizeStatus::RestartRequired, 0, 0, 0},
    };
    for (const auto& c : cases) {
        LayoutSnapshot s = Inspect(c.machine);
        EXPECT_EQ(s.planKind, c.kind) << c.name;
        EXPECT_EQ(s.status, c.status) << c.name << " (detail: " << sim::ToUtf8(s.detail) << ")";
        EXPECT_EQ(s.unallocatedIncrease, c.unallocatedIncrease) << c.name;
        EXPECT_EQ(s.shrinkable, c.shrinkable) << c.name;
        EXPECT_EQ(s.maximumIncrease, c.maximumIncrease) << c.name;
        EXPECT_EQ(sim::ToUtf8(s.detail), c.detail) << c.name;
    }
}

TEST(Analysis, APlannedShrinkBindsTheSourceVolumeIntoTheFingerprint) {
    const std::uint64_t d200 = 200 * GiB;
    Json shrinkable = Machine("gpt", Json::array({DataAfter(0, d200)}),
                              Json::array({DVolume(d200, 50 * GiB, {{"supportedSize", {{"min", 120 * GiB}}}})}));
    Json tooFull = Machine("gpt", Json::array({DataAfter(0, d200)}),
                           Json::array({DVolume(d200, 800 * MiB, {{"supportedSize", {{"min", 120 * GiB}}}})}));
    LayoutSnapshot a = Inspect(shrinkable), b = Inspect(tooFull);
    ASSERT_EQ(a.fingerprint.size(), 64u);
    ASSERT_EQ(b.fingerprint.size(), 64u);
    EXPECT_NE(a.fingerprint, b.fingerprint);
    EXPECT_EQ(a.candidateVolumeName, u"D:");
    EXPECT_EQ(a.sourceFreeBytes, 50 * GiB);
    EXPECT_EQ(a.neighbourText, u"#3 @ " + sim::ToU16(std::to_string(kWinEnd)));
    EXPECT_EQ(Inspect(shrinkable).fingerprint, a.fingerprint) << "the same layout hashes the same";
}

TEST(Analysis, WithoutAnalysisOnlyThePlanIsRecorded) {
    const std::uint64_t d200 = 200 * GiB;
    Json m = Machine("gpt", Json::array({DataAfter(0, d200)}),
                     Json::array({DVolume(d200, 50 * GiB, {{"supportedSize", {{"min", 120 * GiB}}}})}),
                     {{"bitlocker", {{"protectionStatus", 1}}}});
    sim::Machine machine;
    sim::LoadMachineText(machine, m.dump(), ".");
    sim::UseMachine use(machine);
    LayoutInspection r = InspectLayout(false);
    EXPECT_EQ(r.snapshot.status, ResizeStatus::RestartRequired) << "BitLocker is not looked at";
    EXPECT_EQ(r.snapshot.planKind, PlanKind::AdjacentData);
    EXPECT_TRUE(r.snapshot.candidateVolumeName.empty());
    EXPECT_EQ(r.snapshot.shrinkable, 0u);
    EXPECT_EQ(r.snapshot.unallocatedIncrease, 0u);
    EXPECT_EQ(r.snapshot.maximumIncrease, 0u);
    EXPECT_TRUE(machine.wmi.connections.empty()) << "no storage provider is asked";
}

}  // namespace
}  // namespace velta
