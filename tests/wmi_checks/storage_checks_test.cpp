// Supported size, the storage checks and the online shrink, through the layer and the
// simulated providers.
#include <gtest/gtest.h>

#include "app/wmi/storage_checks.h"
#include "tests/support/wmi_machine.h"

namespace velta::testing {
namespace {

constexpr std::uint64_t kUsableEnd = WmiMachine::kDiskSize - 33 * 512;  // before the backup GPT
constexpr std::uint64_t kDataSizeMin = WmiMachine::kDataUsed + kMiB;
constexpr std::uint64_t kDataSizeMax = kUsableEnd - WmiMachine::kDataStart;

class StorageChecks : public ::testing::Test, public WmiMachine {
protected:
    void TearDown() override { EXPECT_TRUE(ComIsClean(m)); }

    bool Contacted(const char16_t* ns) const {
        for (const auto& c : m.wmi.connections)
            if (c == ns) return true;
        return false;
    }
    bool ResizeCalled() const {
        for (const auto& c : m.wmi.methodCalls)
            if (c == u"MSFT_Partition.Resize") return true;
        return false;
    }
    std::uint64_t DataLengthOnDisk() const {
        const sim::Disk* d = m.storage.FindDisk(0);
        return d->Table().FindPartition(kDataNumber)->length;
    }

    LayoutInspection Inspection() const {
        LayoutInspection i;
        i.snapshot.diskNumber = 0;
        i.snapshot.windowsDrive = u"C:";
        i.diskGuidText = kDiskGuid;
        i.diskSize = kDiskSize;
        return i;
    }
};

TEST_F(StorageChecks, SupportedSizeOfTheDataPartition) {
    StorageCheckResult r = RunStorageChecks(Data());
    EXPECT_EQ(r.status, ResizeStatus::Ready);
    EXPECT_EQ(r.sizeMin, kDataSizeMin);
    EXPECT_EQ(r.sizeMax, kDataSizeMax);
    EXPECT_TRUE(r.detail.empty());
}

TEST_F(StorageChecks, SupportedSizeLimitsAndFailuresAsSet) {
    m.wmi.supportedSize[{0, kDataNumber}] = {5 * kGiB, 130 * kGiB, 0};
    StorageCheckResult r = RunStorageChecks(Data());
    EXPECT_EQ(r.status, ResizeStatus::Ready);
    EXPECT_EQ(r.sizeMin, 5 * kGiB);
    EXPECT_EQ(r.sizeMax, 130 * kGiB);

    m.wmi.supportedSize[{0, kDataNumber}] = {std::nullopt, std::nullopt, 2};
    r = RunStorageChecks(Data());
    EXPECT_EQ(r.status, ResizeStatus::StorageInfoUnavailable);
    EXPECT_EQ(r.sizeMin, 0u);
    EXPECT_EQ(r.sizeMax, 0u);
    EXPECT_EQ(Utf8(r.detail), "GetSupportedSize 2");
}

TEST_F(StorageChecks, BitLockerAnswersEndTheChecksBeforeTheStorageProvider) {
    struct Case {
        const char* what;
        std::function<void(sim::Machine&)> setup;
        ResizeStatus status;
        const char* detail;
    };
    const Case cases[] = {
        {"encrypted", [](sim::Machine& m) { m.wmi.bitLocker[kDataVolume] = {true, 1, 1, 0, 0}; },
         ResizeStatus::BitLockerActive, ""},
        {"no instance", [](sim::Machine& m) { m.wmi.bitLocker[kDataVolume] = {false, 0, 0, 0, 0}; },
         ResizeStatus::DecryptionUnconfirmed, ""},
        {"namespace missing", [](sim::Machine& m) { m.wmi.encryptionNamespace = false; },
         ResizeStatus::DecryptionUnconfirmed, "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption 0x8004100E"},
        {"query times out", [](sim::Machine& m) { m.faults.Fail("IEnumWbemClassObject::Next", 1, 0x00040004); },
         ResizeStatus::DecryptionUnconfirmed, "Win32_EncryptableVolume 0x800705B4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.wmi = sim::WmiState();
        m.faults = sim::Faults();
        c.setup(m);
        StorageCheckResult r = RunStorageChecks(Data());
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.sizeMin, 0u);
        EXPECT_EQ(r.sizeMax, 0u);
        EXPECT_EQ(Utf8(r.detail), c.detail);
        EXPECT_FALSE(Contacted(kStorageNamespace));
        EXPECT_TRUE(ComIsClean(m));
    }
}

TEST_F(StorageChecks, CheckPartitionStorageBuildsTheIdentityAndNeverRaises) {
    const LayoutInspection inspection = Inspection();
    const PartitionEntry windows{kWindowsStart, kWindowsLength, kWindowsNumber, PartitionKind::Data};
    const PartitionEntry data{kDataStart, kDataLength, kDataNumber, PartitionKind::Data};

    StorageCheckResult r = CheckPartitionStorage(inspection, windows, kWindowsVolume, true);
    EXPECT_EQ(r.status, ResizeStatus::Ready) << Utf8(r.detail);
    EXPECT_EQ(r.sizeMax, kWindowsLength);  // the data partition follows at once
    r = CheckPartitionStorage(inspection, data, kDataVolume, false);
    EXPECT_EQ(r.status, ResizeStatus::Ready) << Utf8(r.detail);
    EXPECT_EQ(r.sizeMin, kDataSizeMin);

    struct Case {
        const char* what;
        std::function<void(LayoutInspection&)> change;
        bool windowsPartition;
        const char* detail;
    };
    const Case cases[] = {
        {"drive letter differs", [](LayoutInspection& i) { i.snapshot.windowsDrive = u"E:"; }, true,
         "System drive letter changed 0x80041008"},
        {"no Windows drive: letter not compared", [](LayoutInspection& i) { i.snapshot.windowsDrive.clear(); }, true, nullptr},
        {"candidate ignores the Windows drive", [](LayoutInspection& i) { i.snapshot.windowsDrive = u"E:"; }, false, nullptr},
        {"other disk size", [](LayoutInspection& i) { i.diskSize += 512; }, false, "MSFT_Disk identity or state 0x80041008"},
        {"disk identifier differs", [](LayoutInspection& i) { i.diskGuidText = u"{00000000-0000-0000-0000-000000000001}"; },
         false, "GPT GUID changed 0x80041008"},
        {"inspected as MBR", [](LayoutInspection& i) { i.diskGuidText.clear(); }, false, "MSFT_Disk identity or state 0x80041008"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LayoutInspection changed = inspection;
        c.change(changed);
        r = c.windowsPartition ? CheckPartitionStorage(changed, windows, kWindowsVolume, true)
                               : CheckPartitionStorage(changed, data, kDataVolume, false);
        if (c.detail == nullptr) {
            EXPECT_EQ(r.status, ResizeStatus::Ready) << Utf8(r.detail);
        } else {
            EXPECT_EQ(r.status, ResizeStatus::StorageInfoUnavailable);
            EXPECT_EQ(Utf8(r.detail), c.detail);
            EXPECT_EQ(r.sizeMin, 0u);
            EXPECT_EQ(r.sizeMax, 0u);
        }
    }

    m.wmi.storageNamespace = false;
    r = CheckPartitionStorage(inspection, data, kDataVolume, false);
    EXPECT_EQ(r.status, ResizeStatus::StorageInfoUnavailable);
    EXPECT_EQ(Utf8(r.detail), "ROOT\\Microsoft\\Windows\\Storage 0x8004100E");

    m.faults.Fail("CoInitializeEx", 1, 0x80010106);
    r = CheckPartitionStorage(inspection, data, kDataVolume, false);
    EXPECT_EQ(r.status, ResizeStatus::StorageInfoUnavailable);
    EXPECT_EQ(Utf8(r.detail), "CoInitializeEx 0x80010106");
}

// One injected failure per step of RunStorageChecks: the step and code of the layer, as a
// raised error from the storage part or as the detail of the BitLocker part.
TEST_F(StorageChecks, FailureAtEachStepOfRunStorageChecks) {
    struct Case {
        const char* call;
        std::uint64_t nth;
        std::uint32_t code;
        const char* step;
        std::uint32_t expected;
        bool inBitLocker;  // turned into DecryptionUnconfirmed with the detail
    };
    const Case cases[] = {
        {"CoInitializeEx", 1, 0x8001010E, "CoInitializeEx", 0x8001010E, false},
        {"CoCreateInstance", 1, 0x80040154, "WMI locator", 0x80040154, true},
        {"SysAllocString", 1, 0, "SysAllocString", 0x8007000E, true},
        {"IWbemLocator::ConnectServer", 1, 0x80041003, "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption", 0x80041003, true},
        {"CoSetProxyBlanket", 1, 0x80070005, "WMI security", 0x80070005, true},
        {"IWbemServices::ExecQuery", 1, 0x80041017, "Win32_EncryptableVolume", 0x80041017, true},
        {"CoSetProxyBlanket", 2, 0x80070005, "Win32_EncryptableVolume", 0x80070005, true},
        {"IEnumWbemClassObject::Next", 1, 0x00040004, "Win32_EncryptableVolume", 0x800705B4, true},
        {"IEnumWbemClassObject::Next", 2, 0x800706BA, "Win32_EncryptableVolume", 0x800706BA, true},
        {"IWbemServices::GetObject", 1, 0x80041002, "Win32_EncryptableVolume", 0x80041002, true},
        {"IWbemClassObject::GetMethod", 1, 0x80041002, "GetConversionStatus", 0x80041002, true},
        {"IWbemClassObject::SpawnInstance", 1, 0x80041001, "GetConversionStatus", 0x80041001, true},
        {"IWbemClassObject::Put", 1, 0x80041005, "GetConversionStatus", 0x80041005, true},
        {"IWbemClassObject::Get(__PATH)", 1, 0x80041002, "__PATH", 0x80041002, true},
        {"IWbemServices::ExecMethod(GetConversionStatus)", 1, 0x80041001, "GetConversionStatus", 0x80041001, true},
        {"IWbemServices::ExecMethod(GetProtectionStatus)", 1, 0x80041001, "GetProtectionStatus", 0x80041001, true},
        {"IWbemClassObject::Get(ReturnValue)", 2, 0x80041001, "ReturnValue", 0x80041001, true},
        {"IWbemClassObject::Get(ProtectionStatus)", 1, 0x80041001, "ProtectionStatus", 0x80041001, true},
        {"CoCreateInstance", 2, 0x80040154, "WMI locator", 0x80040154, false},
        {"IWbemLocator::ConnectServer", 2, 0x8004100E, "ROOT\\Microsoft\\Windows\\Storage", 0x8004100E, false},
        {"CoSetProxyBlanket", 3, 0x80070005, "WMI security", 0x80070005, false},
        {"IWbemServices::ExecQuery", 2, 0x80041001, "MSFT_Disk", 0x80041001, false},
        {"IEnumWbemClassObject::Next", 3, 0x00040004, "MSFT_Disk", 0x800705B4, false},
        {"IWbemClassObject::Get(PartitionStyle)", 1, 0x80041002, "PartitionStyle", 0x80041002, false},
        {"IWbemClassObject::Get(IsReadOnly)", 1, 0x80041002, "IsReadOnly", 0x80041002, false},
        {"IWbemClassObject::Get(Guid)", 1, 0x80041002, "Guid", 0x80041002, false},
        {"IWbemServices::ExecQuery", 3, 0x80041001, "MSFT_Partition", 0x80041001, false},
        {"IEnumWbemClassObject::Next", 6, 0x80041001, "MSFT_Partition", 0x80041001, false},
        {"IWbemClassObject::Get(Offset)", 1, 0x80041002, "Offset", 0x80041002, false},
        {"IWbemClassObject::Get(Size)", 2, 0x80041002, "Size", 0x80041002, false},
        {"IWbemClassObject::Get(AccessPaths)", 1, 0x80041002, "AccessPaths", 0x80041002, false},
        {"SafeArrayGetElement", 1, 0x8002000B, "AccessPaths", 0x8002000B, false},
        {"IWbemClassObject::Get(IsBoot)", 1, 0x80041002, "IsBoot", 0x80041002, false},
        {"IWbemServices::ExecMethod(GetSupportedSize)", 1, 0x80041001, "GetSupportedSize", 0x80041001, false},
        {"IWbemClassObject::Get(SizeMin)", 1, 0x80041002, "SizeMin", 0x80041002, false},
        {"IWbemClassObject::Get(SizeMax)", 1, 0x80041002, "SizeMax", 0x80041002, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.nth));
        m.faults.Fail(c.call, c.nth, c.code);
        StorageCheckResult r;
        auto err = Raised([&] { r = RunStorageChecks(Data()); });
        m.faults.Clear();
        if (c.inBitLocker) {
            EXPECT_FALSE(err.has_value());
            EXPECT_EQ(r.status, ResizeStatus::DecryptionUnconfirmed);
            EXPECT_EQ(Utf8(r.detail), std::string(c.step) + " " + Utf8(FormatHresult(c.expected)));
        } else {
            EXPECT_WMI_ERROR(err, c.step, c.expected);
        }
        EXPECT_TRUE(ComIsClean(m));
    }
}

// Whichever BSTR allocation or property read fails, the step and code are the layer's and
// everything obtained is released.
TEST_F(StorageChecks, EveryAllocationAndEveryReadCanFail) {
    for (const char* call : {"SysAllocString", "IWbemClassObject::Get"}) {
        for (std::uint64_t nth = 1;; ++nth) {
            SCOPED_TRACE(std::string(call) + " #" + std::to_string(nth));
            const std::uint64_t before = m.faults.Calls(call);
            m.faults.Fail(call, nth, 0x80041001);
            StorageCheckResult r;
            auto err = Raised([&] { r = RunStorageChecks(Windows()); });
            bool hit = m.faults.Calls(call) - before >= nth;
            m.faults.Clear();
            EXPECT_TRUE(ComIsClean(m));
            if (!hit) {
                EXPECT_EQ(r.status, ResizeStatus::Ready);
                EXPECT_GT(nth, 5u);
                break;
            }
            const std::u16string detail = err ? DescribeWmiError(*err) : r.detail;
            if (std::string(call) == "SysAllocString") {
                EXPECT_EQ(Utf8(detail), "SysAllocString 0x8007000E");
            } else {
                EXPECT_NE(detail.find(u" 0x80041001"), std::u16string::npos) << Utf8(detail);
            }
        }
        m.faults = sim::Faults();
    }
}

TEST_F(StorageChecks, ShrinkSizeRules) {
    struct Case {
        const char* what;
        bool windowsPartition;
        std::uint64_t newSize;
        std::optional<sim::SupportedSizeLimit> limit;
        bool resized;  // else raises "Supported size changed" without calling Resize
        std::uint32_t returnValue = 0;
    };
    const Case cases[] = {
        {"same size", false, kDataLength, std::nullopt, false},
        {"one byte below the minimum", false, kDataSizeMin - 1, std::nullopt, false},
        {"above the maximum", false, kDataSizeMax + 512, std::nullopt, false},
        {"minimum of 0", false, 50 * kGiB, sim::SupportedSizeLimit{0, kDataSizeMax, 0}, false},
        {"supported size unavailable", false, 50 * kGiB, sim::SupportedSizeLimit{std::nullopt, std::nullopt, 2}, false},
        {"shrinking the Windows partition", true, 90 * kGiB, sim::SupportedSizeLimit{61 * kGiB, kWindowsLength, 0}, false},
        {"exactly the minimum", false, kDataSizeMin, std::nullopt, true},
        {"growing within the maximum", false, kDataLength + kGiB, std::nullopt, true},
        // Accepted by the program; the provider itself refuses, as the data partition follows.
        {"growing the Windows partition into its neighbour", true, kWindowsLength + kGiB,
         sim::SupportedSizeLimit{61 * kGiB, kWindowsLength + kGiB, 0}, true, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WmiMachine t;
        if (c.limit) t.m.wmi.supportedSize[{0, c.windowsPartition ? kWindowsNumber : kDataNumber}] = *c.limit;
        std::uint32_t result = 99;
        auto err = Raised([&] { result = ShrinkPartitionOnline(c.windowsPartition ? Windows() : Data(), c.newSize); });
        bool resizeCalled = false;
        for (const auto& call : t.m.wmi.methodCalls) resizeCalled |= call == u"MSFT_Partition.Resize";
        if (c.resized) {
            EXPECT_FALSE(err.has_value()) << Utf8(err->step);
            EXPECT_EQ(result, c.returnValue);
            EXPECT_TRUE(resizeCalled);
        } else {
            EXPECT_WMI_ERROR(err, "Supported size changed", 0x80041008);
            EXPECT_FALSE(resizeCalled);
        }
        EXPECT_TRUE(ComIsClean(t.m));
    }
}

TEST_F(StorageChecks, ShrinkChangesTheTableAndTheFileSystem) {
    const std::uint64_t newSize = 60 * kGiB;
    EXPECT_EQ(ShrinkPartitionOnline(Data(), newSize), 0u);
    EXPECT_EQ(DataLengthOnDisk(), newSize);
    auto ntfs = sim::ReadNtfsBootSector(m.storage.FindDisk(0)->bytes, kDataStart);
    ASSERT_TRUE(ntfs.has_value());
    EXPECT_EQ(ntfs->totalSectors, newSize / 512 - 1);
    // The provider now reports the new size and the checks against the old one fail.
    EXPECT_WMI_ERROR(Raised([&] { RunStorageChecks(Data()); }), "MSFT_Partition identity changed", 0x80041008);
    PartitionIdentity shrunk = Data();
    shrunk.length = newSize;
    StorageCheckResult r = RunStorageChecks(shrunk);
    EXPECT_EQ(r.status, ResizeStatus::Ready);
    EXPECT_EQ(r.sizeMax, kDataSizeMax);
}

TEST_F(StorageChecks, ShrinkRefusesAChangedEncryptionStateFirst) {
    m.wmi.bitLocker[kDataVolume] = {true, 2, 0, 0, 0};
    EXPECT_WMI_ERROR(Raised([&] { ShrinkPartitionOnline(Data(), 60 * kGiB); }), "Encryption status changed", 0x80041008);
    EXPECT_FALSE(Contacted(kStorageNamespace));
    EXPECT_EQ(DataLengthOnDisk(), kDataLength);

    m.wmi.bitLocker.clear();
    m.wmi.encryptionNamespace = false;
    EXPECT_WMI_ERROR(Raised([&] { ShrinkPartitionOnline(Data(), 60 * kGiB); }),
                     "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption", 0x8004100E);
    EXPECT_EQ(DataLengthOnDisk(), kDataLength);
}

TEST_F(StorageChecks, ShrinkReturnsResizeFailuresUnchanged) {
    m.wmi.resizeReturnValue = 4097;
    EXPECT_EQ(ShrinkPartitionOnline(Data(), 60 * kGiB), 4097u);
    EXPECT_EQ(DataLengthOnDisk(), kDataLength);
}

// A ReturnValue wider than 32 bits whose low half is 0 is not taken for success.
TEST_F(StorageChecks, ShrinkRefusesAReturnValueWiderThan32Bits) {
    m.wmi.resizeReturnValue = 0;
    std::u16string wide = u"4294967296";
    m.wmi.adjustResult[u"MSFT_Partition.Resize"] = [wide](sim::WmiInstance& out) { out.Set(u"ReturnValue", wide); };
    EXPECT_WMI_ERROR(Raised([&] { ShrinkPartitionOnline(Data(), 60 * kGiB); }), "ReturnValue", 0x80041008);
}

TEST_F(StorageChecks, ShrinkRefusesAChangedIdentity) {
    PartitionIdentity id = Data();
    id.start += kMiB;
    EXPECT_WMI_ERROR(Raised([&] { ShrinkPartitionOnline(id, 60 * kGiB); }), "MSFT_Partition identity changed", 0x80041008);
    m.storage.FindDisk(0)->readOnly = true;
    EXPECT_WMI_ERROR(Raised([&] { ShrinkPartitionOnline(Data(), 60 * kGiB); }), "MSFT_Disk identity or state", 0x80041008);
    EXPECT_FALSE(ResizeCalled());
}

TEST_F(StorageChecks, FailureAtEachStepOfShrinkPartitionOnline) {
    struct Case {
        const char* call;
        std::uint64_t nth;
        std::uint32_t code;
        const char* step;
        std::uint32_t expected;
        bool resized = false;  // the failure came after Resize ran
    };
    const Case cases[] = {
        {"CoInitializeEx", 1, 0x80010106, "CoInitializeEx", 0x80010106},
        {"CoCreateInstance", 1, 0x80040154, "WMI locator", 0x80040154},
        {"IWbemLocator::ConnectServer", 1, 0x80041003, "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption", 0x80041003},
        {"IEnumWbemClassObject::Next", 1, 0x00040004, "Win32_EncryptableVolume", 0x800705B4},
        {"IWbemServices::ExecMethod(GetProtectionStatus)", 1, 0x80041001, "GetProtectionStatus", 0x80041001},
        {"IWbemLocator::ConnectServer", 2, 0x8004100E, "ROOT\\Microsoft\\Windows\\Storage", 0x8004100E},
        {"CoSetProxyBlanket", 3, 0x80070005, "WMI security", 0x80070005},
        {"IWbemServices::ExecQuery", 2, 0x80041001, "MSFT_Disk", 0x80041001},
        {"IWbemClassObject::Get(IsOffline)", 1, 0x80041002, "IsOffline", 0x80041002},
        {"IWbemServices::ExecQuery", 3, 0x80041001, "MSFT_Partition", 0x80041001},
        {"SafeArrayGetUBound", 1, 0x8002000B, "AccessPaths", 0x8002000B},
        {"IWbemServices::ExecMethod(GetSupportedSize)", 1, 0x80041001, "GetSupportedSize", 0x80041001},
        {"IWbemClassObject::Get(SizeMax)", 1, 0x80041002, "SizeMax", 0x80041002},
        {"SysAllocString", 16, 0, "SysAllocString", 0x8007000E},
        {"IWbemServices::GetObject", 2, 0x80041002, "MSFT_Partition", 0x80041002},
        {"IWbemClassObject::GetMethod", 2, 0x80041002, "Resize", 0x80041002},
        {"IWbemClassObject::SpawnInstance", 2, 0x80041001, "Resize", 0x80041001},
        {"IWbemClassObject::Put", 2, 0x80041005, "Resize", 0x80041005},
        {"IWbemClassObject::Get(__PATH)", 4, 0x80041002, "__PATH", 0x80041002},
        {"IWbemServices::ExecMethod(Resize)", 1, 0x80041001, "Resize", 0x80041001},
        {"IWbemClassObject::Get(ReturnValue)", 4, 0x80041002, "ReturnValue", 0x80041002, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.nth));
        m.faults.Fail(c.call, c.nth, c.code);
        EXPECT_WMI_ERROR(Raised([&] { ShrinkPartitionOnline(Data(), 60 * kGiB); }), c.step, c.expected);
        m.faults.Clear();
        EXPECT_TRUE(ComIsClean(m));
        EXPECT_EQ(DataLengthOnDisk(), c.resized ? 60 * kGiB : kDataLength);
    }
}

}  // namespace
}  // namespace velta::testing
