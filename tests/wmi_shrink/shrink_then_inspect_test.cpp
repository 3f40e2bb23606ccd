// The online shrink end to end: inspect, shrink the data partition through the storage
// provider, inspect again, and let sgdisk judge the table that is left on the disk.
#include <gtest/gtest.h>

#include <regex>

#include "app/inspect/inspect_layout.h"
#include "app/wmi/storage_checks.h"
#include "tests/sim_storage/host_tools.h"
#include "tests/support/wmi_machine.h"

namespace velta::testing {
namespace {

const PartitionEntry* Entry(const LayoutInspection& record, std::uint32_t number) {
    for (const auto& p : record.partitions)
        if (p.number == number) return &p;
    return nullptr;
}

// Free sectors as sgdisk counts them.
std::uint64_t SgdiskFreeSectors(const std::string& image) {
    auto p = RunCommand("sgdisk -p " + image);
    std::smatch m;
    if (!std::regex_search(p.output, m, std::regex(R"(Total free space is (\d+) sectors)"))) return 0;
    return std::stoull(m[1].str());
}

TEST(ShrinkThenInspect, FreshInspectionSeesTheShrunkPartitionAndTheFreedSpace) {
    WmiMachine pc;
    TempImage before("wmi_before.img"), after("wmi_after.img");
    pc.m.storage.FindDisk(0)->bytes.SaveImage(before.path());

    const LayoutInspection first = InspectLayout(false);
    const PartitionEntry* data = Entry(first, WmiMachine::kDataNumber);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->length, WmiMachine::kDataLength);

    // The identity the schedule transaction builds for the source partition.
    PartitionIdentity id;
    id.diskNumber = first.snapshot.diskNumber;
    id.partitionNumber = data->number;
    id.mbrSignature = first.mbrSignature;
    id.start = data->start;
    id.length = data->length;
    id.diskSize = first.diskSize;
    id.expectBoot = false;
    id.volumePath = kDataVolume;
    id.diskGuidText = first.diskGuidText;

    const std::uint64_t newSize = 60 * kGiB;
    ASSERT_EQ(ShrinkPartitionOnline(id, newSize), 0u);
    EXPECT_TRUE(ComIsClean(pc.m));

    const LayoutInspection second = InspectLayout(false);
    const PartitionEntry* shrunk = Entry(second, WmiMachine::kDataNumber);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(shrunk->start, WmiMachine::kDataStart);
    EXPECT_EQ(shrunk->length, newSize);
    EXPECT_EQ(second.partitions.size(), first.partitions.size());
    for (const auto& p : second.partitions) EXPECT_LE(p.start + p.length, WmiMachine::kDataStart + newSize);
    EXPECT_NE(second.snapshot.fingerprint, first.snapshot.fingerprint);

    pc.m.storage.FindDisk(0)->bytes.SaveImage(after.path());
    auto v = RunCommand("sgdisk -v " + after.path());
    EXPECT_NE(v.output.find("No problems found"), std::string::npos) << v.output;
    EXPECT_EQ(SgdiskFreeSectors(after.path()), SgdiskFreeSectors(before.path()) + (WmiMachine::kDataLength - newSize) / 512);
}

}  // namespace
}  // namespace velta::testing
