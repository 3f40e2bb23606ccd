#include <gtest/gtest.h>

#include <memory>

#include "app/inspect/inspect_layout.h"
#include "platform/win/constants.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"
#include "sim/core/text.h"
#include "tests/inspect/expect_failure.h"
#include "tests/inspect/sim_pc.h"

namespace velta::testing {
namespace {

std::unique_ptr<SimPc> Standard() {
    auto pc = std::make_unique<SimPc>();
    pc->StandardGpt();
    return pc;
}

sim::Disk& Disk0(sim::Machine& m) { return *m.storage.FindDisk(0); }

// A descriptor whose vendor offset points at `vendorOffset`, `size` bytes long.
std::vector<std::uint8_t> DescriptorWithVendorAt(std::uint32_t vendorOffset, std::size_t size) {
    std::vector<std::uint8_t> d(size, 'A');
    std::fill(d.begin(), d.begin() + 36, 0);
    velta::StoreLe32(d.data() + win::device_descriptor::VendorIdOffset, vendorOffset);
    velta::StoreLe32(d.data() + win::device_descriptor::BusType, win::BusTypeSata);
    return d;
}

TEST(StorageProbe, EveryFailureEndsAsStatus10WithItsLabel) {
    using sim::Machine;
    const FailureCase cases[] = {
        {"directory too long", [](Machine& m) { m.windowsDirectory = std::u16string(260, u'W'); },
         u"GetSystemWindowsDirectory", 13},
        {"directory call fails", [](Machine& m) { m.faults.Fail("GetSystemWindowsDirectoryW", 1, 5); },
         u"GetSystemWindowsDirectory", 13},
        {"no volume for the directory", [](Machine& m) { m.windowsDirectory = u"Q:\\Windows"; }, u"GetVolumePathName", 3},
        {"volume name", [](Machine& m) { m.faults.Fail("GetVolumeNameForVolumeMountPointW", 1, 2); },
         u"GetVolumeNameForVolumeMountPoint", 2},
        {"open volume", [](Machine& m) { m.faults.Fail("CreateFileW", 1, 5); }, u"Open Windows volume", 5},
        {"open disk", [](Machine& m) { m.faults.Fail("CreateFileW", 2, 32); }, u"Open physical disk", 32},
        {"disk of the extent missing",
         [](Machine& m) { m.storage.FindVolumeByMountPoint(u"C:\\")->extents[0].diskNumber = 9; },
         u"Open physical disk", 2},
        {"geometry call", [](Machine& m) { m.faults.Fail("IOCTL_DISK_GET_DRIVE_GEOMETRY_EX", 1, 21); },
         u"IOCTL_DISK_GET_DRIVE_GEOMETRY_EX", 21},
        {"1024-byte sectors", [](Machine& m) { Disk0(m).logicalSectorSize = 1024; }, u"Disk geometry", 13},
        {"empty disk", [](Machine& m) { Disk0(m).bytes = sim::DiskBytes(0); }, u"Disk geometry", 13},
        {"alignment call", [](Machine& m) { m.faults.Fail("StorageAccessAlignmentProperty", 1, 50); },
         u"StorageAccessAlignmentProperty", 50},
        {"alignment disagrees with geometry",
         [](Machine& m) {
             Disk0(m).physicalSectorSize = 4096;
             Disk0(m).alignmentLogicalSectorSize = 4096;
         },
         u"Sector alignment", 13},
        {"3072-byte physical sectors", [](Machine& m) { Disk0(m).physicalSectorSize = 3072; }, u"Sector alignment", 13},
        {"physical smaller than logical",
         [](Machine& m) {
             Disk0(m).logicalSectorSize = 4096;
             Disk0(m).physicalSectorSize = 512;
         },
         u"Sector alignment", 13},
        {"physical sector size 0", [](Machine& m) { Disk0(m).physicalSectorSize = 0; }, u"Sector alignment", 13},
        {"descriptor call", [](Machine& m) { m.faults.Fail("StorageDeviceProperty", 1, 1117); },
         u"StorageDeviceProperty", 1117},
        {"descriptor of 35 bytes",
         [](Machine& m) { m.faults.Arm({"StorageDeviceProperty", 1, 0, 35, false}); },
         u"Storage device descriptor", 13},
        {"USB bridge", [](Machine& m) { Disk0(m).busType = win::BusTypeUsb; },
         u"Storage Spaces, USB or removable disk", 13},
        {"Storage Spaces", [](Machine& m) { Disk0(m).busType = win::BusTypeSpaces; },
         u"Storage Spaces, USB or removable disk", 13},
        {"removable medium", [](Machine& m) { Disk0(m).removable = true; },
         u"Storage Spaces, USB or removable disk", 13},
        {"identifier offset past the returned bytes",
         [](Machine& m) { Disk0(m).descriptorReply = DescriptorWithVendorAt(64, 64); },
         u"Storage device identifier", 13},
        {"identifier without its terminator",
         [](Machine& m) { Disk0(m).descriptorReply = DescriptorWithVendorAt(40, 64); },
         u"Storage device identifier", 13},
        {"layout call", [](Machine& m) { m.faults.Fail("IOCTL_DISK_GET_DRIVE_LAYOUT_EX", 1, 1117); },
         u"IOCTL_DISK_GET_DRIVE_LAYOUT_EX", 1117},
        {"layout needs more than 1 MiB forever",
         [](Machine& m) { m.faults.FailAlways("IOCTL_DISK_GET_DRIVE_LAYOUT_EX", win::ERROR_MORE_DATA); },
         u"IOCTL_DISK_GET_DRIVE_LAYOUT_EX", 234},
        {"layout buffer too small forever",
         [](Machine& m) { m.faults.FailAlways("IOCTL_DISK_GET_DRIVE_LAYOUT_EX", win::ERROR_INSUFFICIENT_BUFFER); },
         u"IOCTL_DISK_GET_DRIVE_LAYOUT_EX", 122},
        {"layout shorter than its header",
         [](Machine& m) { m.faults.Arm({"IOCTL_DISK_GET_DRIVE_LAYOUT_EX", 1, 0, 47, false}); },
         u"Partition table size", 13},
        {"layout claiming more entries than it holds",
         [](Machine& m) {
             auto bytes = sim::EncodeDriveLayout(Disk0(m).Table());
             velta::StoreLe32(bytes.data() + win::drive_layout::PartitionCount, 6);  // five are there
             Disk0(m).layoutReply = bytes;
         },
         u"Partition table size", 13},
    };
    for (const auto& c : cases) ExpectInspectionFails(c, Standard);
}

TEST(StorageProbe, LayoutCallIsRetriedWithDoublingBuffersUpTo1MiB) {
    SimPc pc;
    pc.StandardGpt();
    pc.machine.faults.FailAlways("IOCTL_DISK_GET_DRIVE_LAYOUT_EX", win::ERROR_MORE_DATA);
    ExpectBlankFailure(InspectForDisplay(), u"IOCTL_DISK_GET_DRIVE_LAYOUT_EX");
    // 16, 32, 64, 128, 256, 512 KiB and 1 MiB.
    EXPECT_EQ(pc.machine.faults.Calls("IOCTL_DISK_GET_DRIVE_LAYOUT_EX"), 7u);
}

// Real MBR layouts with many logical partitions need more than the first 16 KiB.
TEST(StorageProbe, LargeRealLayoutsSucceedAfterDoubling) {
    struct Case {
        int logicals;
        std::uint64_t calls;
    } cases[] = {{20, 1}, {40, 2}, {70, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logicals);
        SimPc pc;
        std::vector<sim::MbrPartitionSpec> logicals;
        for (int i = 0; i < c.logicals; ++i)
            logicals.push_back({40 * GiB + MiB + static_cast<std::uint64_t>(i) * 101 * MiB, 100 * MiB, 0x07});
        pc.MbrDisk(0, 64 * GiB, {{MiB, 500 * MiB, 0x07, true}, {501 * MiB, 30 * GiB, 0x07}, {40 * GiB, 20 * GiB, 0x05}},
                   logicals);
        pc.NtfsVolume(0, 2, {u"C:\\"}, 5 * GiB, 2);
        ProbedLayout probe;
        probe.Run();
        std::size_t entries = 4 + 4 * static_cast<std::size_t>(c.logicals);
        EXPECT_EQ(probe.ctx.driveLayout.size(), 48 + 144 * entries);
        EXPECT_EQ(pc.machine.faults.Calls("IOCTL_DISK_GET_DRIVE_LAYOUT_EX"), c.calls);
        // Every used entry has a line: two primaries, the container, each logical and its link
        // (the last EBR has none).
        EXPECT_EQ(probe.record.snapshot.partitionLines.size(), 2 + 2 * static_cast<std::size_t>(c.logicals));
        EXPECT_EQ(probe.record.snapshot.windowsPartitionNumber, 2u);
        EXPECT_EQ(probe.record.partitions.back().number, 2u + static_cast<std::uint32_t>(c.logicals));
    }
}

TEST(StorageProbe, SpannedWindowsVolumeIsStatus5WithoutAnError) {
    SimPc pc;
    pc.StandardGpt();
    auto* c = pc.machine.storage.FindVolumeByMountPoint(u"C:\\");
    c->extents.push_back({0, 117 * MiB + 61 * GiB, GiB});
    for (bool analyse : {false, true}) {
        LayoutInspection r = InspectLayout(analyse);
        EXPECT_EQ(r.snapshot.status, ResizeStatus::UnsupportedExtents);
        EXPECT_EQ(sim::ToUtf8(r.snapshot.windowsDrive), "C:");
        EXPECT_EQ(r.snapshot.windowsVolumePath, c->GuidPath());
        EXPECT_EQ(r.snapshot.diskNumber, 0u);
        EXPECT_EQ(r.snapshot.logicalSectorSize, 0u);
        EXPECT_TRUE(r.snapshot.partitionLines.empty() && r.snapshot.fingerprint.empty() && r.identityText.empty());
        EXPECT_TRUE(r.partitions.empty());
        EXPECT_EQ(pc.machine.handles.OpenCount(), 0u);
    }
    // A short reply counts the same way.
    c->extents.pop_back();
    pc.machine.faults.Arm({"IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS", 1, 0, 31, false});
    EXPECT_EQ(InspectLayout(false).snapshot.status, ResizeStatus::UnsupportedExtents);
}

TEST(StorageProbe, FolderMountedWindowsVolumeHasNoDriveButIsProbed) {
    SimPc pc;
    pc.StandardGpt();
    auto* c = pc.machine.storage.FindVolumeByMountPoint(u"C:\\");
    c->mountPoints = {u"D:\\Systems\\Win\\"};
    pc.machine.windowsDirectory = u"D:\\Systems\\Win\\Windows";
    ProbedLayout probe;
    probe.Run();
    ASSERT_TRUE(probe.oneExtent);
    EXPECT_TRUE(probe.record.snapshot.windowsDrive.empty());
    EXPECT_EQ(probe.record.snapshot.windowsVolumePath, c->GuidPath());
    EXPECT_EQ(probe.record.snapshot.windowsPartitionNumber, 3u);
}

TEST(StorageProbe, SectorSizesThatPass) {
    struct Case {
        std::uint32_t logical, physical;
    } cases[] = {{512, 512}, {512, 4096}, {4096, 4096}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.physical);
        SimPc pc;
        std::uint64_t s = c.logical;
        pc.GptDisk(0, 16 * GiB, {{MiB, 10 * GiB, sim::gpt_type::BasicData, PartGuid(1), 0, u""}}, c.logical, c.physical);
        pc.NtfsVolume(0, 1, {u"C:\\"}, GiB, 1);
        ProbedLayout probe;
        probe.Run();
        EXPECT_EQ(probe.record.snapshot.logicalSectorSize, c.logical);
        EXPECT_EQ(probe.record.snapshot.physicalSectorSize, c.physical);
        EXPECT_EQ(probe.ctx.usableStart, (2 + 16384 / s) * s);
        EXPECT_EQ(probe.record.diskSize, 16 * GiB);
    }
}

}  // namespace
}  // namespace velta::testing
