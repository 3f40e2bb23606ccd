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

    // The analysing inspection asks the providers about both partitions and names the source.
    const LayoutInspection first = InspectLayout(true);
    EXPECT_TRUE(ComIsClean(pc.m));
    ASSERT_EQ(first.snapshot.status, ResizeStatus::RestartRequired) << Utf8(first.snapshot.detail);
    ASSERT_GT(first.snapshot.shrinkable, 0u);
    const PartitionEntry* data = Entry(first, WmiMachine::kDataNumber);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(first.sourceEntry, *data);
    ASSERT_EQ(Utf8(first.candidateVolumePath), Utf8(kDataVolume));

    // The identity the schedule transaction builds for the source partition.
    PartitionIdentity id;
    id.diskNumber = first.snapshot.diskNumber;
    id.partitionNumber = first.sourceEntry.number;
    id.mbrSignature = first.mbrSignature;
    id.start = first.sourceEntry.start;
    id.length = first.sourceEntry.length;
    id.diskSize = first.diskSize;
    id.expectBoot = false;
    id.volumePath = first.candidateVolumePath;
    id.diskGuidText = first.diskGuidText;

    // The most that may be taken.
    const std::uint64_t newSize = first.sourceEntry.length - first.snapshot.shrinkable;
    ASSERT_EQ(ShrinkPartitionOnline(id, newSize), 0u);
    EXPECT_TRUE(ComIsClean(pc.m));

    const LayoutInspection second = InspectLayout(true);
    EXPECT_TRUE(ComIsClean(pc.m));
    const PartitionEntry* shrunk = Entry(second, WmiMachine::kDataNumber);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(shrunk->start, WmiMachine::kDataStart);
    EXPECT_EQ(shrunk->length, newSize);
    EXPECT_EQ(second.partitions.size(), first.partitions.size());
    for (const auto& p : second.partitions) EXPECT_LE(p.start + p.length, WmiMachine::kDataStart + newSize);
    EXPECT_NE(second.snapshot.fingerprint, first.snapshot.fingerprint);
    // Nothing more can be taken: at least 1 GiB stays free on the source volume.
    EXPECT_EQ(second.snapshot.shrinkable, 0u);

    pc.m.storage.FindDisk(0)->bytes.SaveImage(after.path());
    auto v = RunCommand("sgdisk -v " + after.path());
    EXPECT_NE(v.output.find("No problems found"), std::string::npos) << v.output;
    EXPECT_EQ(SgdiskFreeSectors(after.path()), SgdiskFreeSectors(before.path()) + (WmiMachine::kDataLength - newSize) / 512);
}

}  // namespace
}  // namespace velta::testing
