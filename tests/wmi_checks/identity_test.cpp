// VerifyDisk and VerifyPartition through the layer and the simulated storage provider.
#include <gtest/gtest.h>

#include "app/wmi/identity_checks.h"
#include "app/wmi/wmi_layer.h"
#include "tests/support/wmi_machine.h"

namespace velta::testing {
namespace {

class Identity : public ::testing::Test, public WmiMachine {
protected:
    void TearDown() override { EXPECT_TRUE(ComIsClean(m)); }
    // Runs both checks in order, as every caller does.
    void Verify(const PartitionIdentity& id) {
        ComScope com;
        WmiConnection c = ConnectNamespace(kStorageNamespace);
        VerifyDisk(c, id);
        ComPtr<win::IWbemClassObject> partition = VerifyPartition(c, id);
        if (!partition) throw std::runtime_error("no partition instance");
    }
    void Adjust(const char16_t* cls, std::function<void(sim::WmiInstance&)> f) { m.wmi.adjust[cls] = std::move(f); }
};

using Tweak = std::function<void(Identity&, PartitionIdentity&)>;

struct Case {
    const char* what;
    bool windows;  // the Windows partition (expectBoot) or the data partition
    Tweak tweak;
    const char* step;  // nullptr: passes
    std::uint32_t code = 0x80041008;
};

void SetDisk(Identity& t, std::u16string name, sim::WmiValue v) {
    t.m.wmi.adjust[u"MSFT_Disk"] = [name, v](sim::WmiInstance& i) { i.Set(name, v); };
}
void SetPartition(Identity& t, std::u16string name, sim::WmiValue v) {
    t.m.wmi.adjust[u"MSFT_Partition"] = [name, v](sim::WmiInstance& i) { i.Set(name, v); };
}

TEST_F(Identity, Table) {
    const Case cases[] = {
        {"Windows partition as inspected", true, nullptr, nullptr},
        {"data partition as inspected", false, nullptr, nullptr},
        {"disk missing", false, [](Identity&, PartitionIdentity& id) { id.diskNumber = 1; }, "MSFT_Disk identity or state"},
        {"MBR expected, provider says GPT, signature never read", false,
         [](Identity& t, PartitionIdentity& id) {
             id.diskGuidText.clear();
             t.m.faults.FailAlways("IWbemClassObject::Get(Signature)", 0x80041001);
         },
         "MSFT_Disk identity or state"},
        {"other disk size", false, [](Identity&, PartitionIdentity& id) { id.diskSize -= 512; }, "MSFT_Disk identity or state"},
        {"disk offline", false, [](Identity& t, PartitionIdentity&) { t.m.storage.FindDisk(0)->offline = true; }, "MSFT_Disk identity or state"},
        {"disk read-only", false, [](Identity& t, PartitionIdentity&) { t.m.storage.FindDisk(0)->readOnly = true; }, "MSFT_Disk identity or state"},
        {"IsOffline not a boolean", false, [](Identity& t, PartitionIdentity&) { SetDisk(t, u"IsOffline", std::int32_t{0}); }, "IsOffline"},
        {"GPT GUID in lowercase passes", false,
         [](Identity& t, PartitionIdentity&) { SetDisk(t, u"Guid", u"{8e3b5a21-4c7d-4f9e-a1b2-c3d4e5f60718}"); }, nullptr},
        {"GPT GUID differs", false,
         [](Identity& t, PartitionIdentity&) { SetDisk(t, u"Guid", u"{8E3B5A21-4C7D-4F9E-A1B2-C3D4E5F60719}"); }, "GPT GUID changed"},
        {"GPT GUID unparsable", false, [](Identity& t, PartitionIdentity&) { SetDisk(t, u"Guid", u"8E3B5A21"); }, "GPT GUID changed"},
        {"expected GUID unparsable", false, [](Identity&, PartitionIdentity& id) { id.diskGuidText = u"{nonsense}"; }, "GPT GUID changed"},
        {"GPT GUID null", false, [](Identity& t, PartitionIdentity&) { SetDisk(t, u"Guid", sim::WmiValue()); }, "Guid"},
        {"partition missing", false, [](Identity&, PartitionIdentity& id) { id.partitionNumber = 9; }, "MSFT_Partition identity changed"},
        {"other offset", false, [](Identity&, PartitionIdentity& id) { id.start += kMiB; }, "MSFT_Partition identity changed"},
        {"other length", false, [](Identity&, PartitionIdentity& id) { id.length -= kMiB; }, "MSFT_Partition identity changed"},
        {"volume not among access paths", false,
         [](Identity&, PartitionIdentity& id) { id.volumePath = kWindowsVolume; }, "MSFT_Partition identity changed"},
        {"access path differs only in case", false,
         [](Identity&, PartitionIdentity& id) { id.volumePath = u"\\\\?\\VOLUME{0A9B8C7D-6E5F-4A3B-8C1D-2E3F4A5B6C7D}\\"; }, nullptr},
        {"access paths empty array", false,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"AccessPaths", sim::BstrArray{}); }, "MSFT_Partition identity changed"},
        {"access paths with a null element and another lower bound", false,
         [](Identity& t, PartitionIdentity&) {
             SetPartition(t, u"AccessPaths", sim::BstrArray{{std::nullopt, std::u16string(kDataVolume)}, 5, 1, false});
         },
         nullptr},
        {"access paths of two dimensions", false,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"AccessPaths", sim::BstrArray{{std::u16string(kDataVolume)}, 0, 2, false}); },
         "AccessPaths"},
        {"access paths null array", false,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"AccessPaths", sim::BstrArray{{}, 0, 1, true}); }, "AccessPaths"},
        {"access paths a single string", false,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"AccessPaths", std::u16string(kDataVolume)); }, "AccessPaths"},
        {"lower bound unreadable", false,
         [](Identity& t, PartitionIdentity&) { t.m.faults.Fail("SafeArrayGetLBound", 1, 0x8002000B); }, "AccessPaths", 0x8002000B},
        {"upper bound unreadable", false,
         [](Identity& t, PartitionIdentity&) { t.m.faults.Fail("SafeArrayGetUBound", 1, 0x8002000B); }, "AccessPaths", 0x8002000B},
        {"element unreadable", false,
         [](Identity& t, PartitionIdentity&) { t.m.faults.Fail("SafeArrayGetElement", 2, 0x80070057); }, "AccessPaths", 0x80070057},
        {"candidate holds the Windows directory", false,
         [](Identity& t, PartitionIdentity&) { t.m.windowsDirectory = u"D:\\Windows"; }, "MSFT_Partition identity changed"},
        {"Windows partition not boot", true,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"IsBoot", false); }, "MSFT_Partition identity changed"},
        {"IsBoot not a boolean", false, [](Identity& t, PartitionIdentity&) { SetPartition(t, u"IsBoot", u"False"); }, "IsBoot"},
        {"drive letter as text", true, [](Identity& t, PartitionIdentity&) { SetPartition(t, u"DriveLetter", u"C"); }, nullptr},
        {"drive letter as 16-bit number", true,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"DriveLetter", std::uint16_t{u'C'}); }, nullptr},
        {"drive letter in lowercase", true,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"DriveLetter", u"c"); }, "System drive letter changed"},
        {"drive letter of two characters", true,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"DriveLetter", u"C:"); }, "System drive letter changed"},
        {"drive letter moved", true, [](Identity& t, PartitionIdentity&) {
             t.m.storage.FindVolume(kWindowsVolume)->mountPoints = {u"E:\\"};
             t.m.windowsDirectory = u"E:\\Windows";
         },
         "System drive letter changed"},
        {"drive letter of an unexpected type", true,
         [](Identity& t, PartitionIdentity&) { SetPartition(t, u"DriveLetter", true); }, "DriveLetter"},
        {"drive letter not read without a Windows drive", true,
         [](Identity& t, PartitionIdentity& id) {
             id.driveLetter = 0;
             t.m.faults.FailAlways("IWbemClassObject::Get(DriveLetter)", 0x80041001);
         },
         nullptr},
        {"drive letter never read for the candidate", false,
         [](Identity& t, PartitionIdentity&) { t.m.faults.FailAlways("IWbemClassObject::Get(DriveLetter)", 0x80041001); }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.wmi.adjust.clear();
        m.faults.Clear();
        m.storage.FindDisk(0)->offline = false;
        m.storage.FindDisk(0)->readOnly = false;
        m.windowsDirectory = u"C:\\Windows";
        m.storage.FindVolume(kWindowsVolume)->mountPoints = {u"C:\\"};
        PartitionIdentity id = c.windows ? Windows() : Data();
        if (c.tweak) c.tweak(*this, id);
        auto err = Raised([&] { Verify(id); });
        if (c.step == nullptr) {
            EXPECT_FALSE(err.has_value()) << Utf8(err->step);
        } else {
            EXPECT_WMI_ERROR(err, c.step, c.code);
        }
        EXPECT_TRUE(ComIsClean(m));
    }
}

TEST_F(Identity, MbrDiskChecksTheSignature) {
    sim::Disk& d = m.storage.AddDisk(1, 64 * kGiB);
    sim::WriteMbr(d.bytes, 512, 0xA1B2C3D4, {{kMiB, 10 * kGiB, 0x07, false, std::nullopt}}, {});
    sim::Volume v;
    v.guid = sim::GuidFromText("44444444-5555-6666-7777-888888888888");
    m.storage.AddVolumeOnPartition(1, 1, std::move(v));
    PartitionIdentity id;
    id.diskNumber = 1;
    id.partitionNumber = 1;
    id.mbrSignature = 0xA1B2C3D4;
    id.start = kMiB;
    id.length = 10 * kGiB;
    id.diskSize = 64 * kGiB;
    id.volumePath = u"\\\\?\\Volume{44444444-5555-6666-7777-888888888888}\\";
    EXPECT_FALSE(Raised([&] { Verify(id); }).has_value());
    id.mbrSignature = 0xA1B2C3D5;
    EXPECT_WMI_ERROR(Raised([&] { Verify(id); }), "MBR signature changed", 0x80041008);
    // The same partition expected on a GPT disk fails on the style.
    id.diskGuidText = kDiskGuid;
    EXPECT_WMI_ERROR(Raised([&] { Verify(id); }), "MSFT_Disk identity or state", 0x80041008);
}

}  // namespace
}  // namespace velta::testing
