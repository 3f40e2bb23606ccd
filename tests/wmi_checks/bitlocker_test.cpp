// CheckBitLocker through the layer and the simulated encryption provider.
#include <gtest/gtest.h>

#include "app/wmi/bitlocker.h"
#include "app/wmi/wmi_layer.h"
#include "tests/support/wmi_machine.h"

namespace velta::testing {
namespace {

class BitLocker : public ::testing::Test, public WmiMachine {
protected:
    void TearDown() override { EXPECT_TRUE(ComIsClean(m)); }
    ResizeStatus Check(std::u16string_view path = kDataVolume) {
        ComScope com;
        return CheckBitLocker(path);
    }
};

TEST_F(BitLocker, StatusTable) {
    struct Case {
        const char* what;
        sim::BitLockerState state;
        ResizeStatus expected;
    };
    const Case cases[] = {
        {"decrypted, protection off", {}, ResizeStatus::Ready},
        {"protection on, nothing encrypted", {true, 0, 1, 0, 0}, ResizeStatus::BitLockerActive},
        {"protection unknown", {true, 0, 2, 0, 0}, ResizeStatus::BitLockerActive},
        {"fully encrypted", {true, 1, 1, 0, 0}, ResizeStatus::BitLockerActive},
        {"being decrypted", {true, 3, 0, 0, 0}, ResizeStatus::BitLockerActive},
        {"GetConversionStatus failed", {true, 0, 0, 0x80310000, 0}, ResizeStatus::DecryptionUnconfirmed},
        {"GetProtectionStatus failed", {true, 0, 0, 0, 1}, ResizeStatus::DecryptionUnconfirmed},
        {"no instance", {false, 0, 0, 0, 0}, ResizeStatus::DecryptionUnconfirmed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.wmi.bitLocker[kDataVolume] = c.state;
        EXPECT_EQ(Check(), c.expected);
    }
}

TEST_F(BitLocker, BothMethodsRunBeforeAnyResultIsRead) {
    m.wmi.bitLocker[kDataVolume] = {true, 0, 0, 7, 0};
    // Reading ConversionStatus or ProtectionStatus now would raise.
    m.faults.FailAlways("IWbemClassObject::Get(ConversionStatus)", 0x80041001);
    m.faults.FailAlways("IWbemClassObject::Get(ProtectionStatus)", 0x80041001);
    EXPECT_EQ(Check(), ResizeStatus::DecryptionUnconfirmed);
    ASSERT_EQ(m.wmi.methodCalls.size(), 2u);
    EXPECT_EQ(Utf8(m.wmi.methodCalls[0]), "Win32_EncryptableVolume.GetConversionStatus");
    EXPECT_EQ(Utf8(m.wmi.methodCalls[1]), "Win32_EncryptableVolume.GetProtectionStatus");
}

TEST_F(BitLocker, QueryAsksForBothFormsOfThePath) {
    EXPECT_EQ(Check(), ResizeStatus::Ready);
    ASSERT_EQ(m.wmi.queries.size(), 1u);
    EXPECT_EQ(Utf8(m.wmi.queries[0]),
              "SELECT * FROM Win32_EncryptableVolume WHERE DeviceID = "
              "'\\\\\\\\?\\\\Volume{0a9b8c7d-6e5f-4a3b-8c1d-2e3f4a5b6c7d}\\\\' OR DeviceID = "
              "'\\\\\\\\?\\\\Volume{0a9b8c7d-6e5f-4a3b-8c1d-2e3f4a5b6c7d}'");
}

TEST_F(BitLocker, DeviceIdWithoutTrailingBackslashIsFound) {
    m.wmi.bitLocker[kDataVolume] = {true, 0, 1, 0, 0};
    m.wmi.adjust[u"Win32_EncryptableVolume"] = [](sim::WmiInstance& i) {
        std::u16string id = *i.Find(u"DeviceID")->AsText();
        id.pop_back();
        i.Set(u"DeviceID", id);
    };
    EXPECT_EQ(Check(), ResizeStatus::BitLockerActive);
}

TEST_F(BitLocker, TwoMatchingInstancesRaise) {
    Deliver(u"Win32_EncryptableVolume", u"DeviceID", kDataVolume);
    EXPECT_WMI_ERROR(Raised([&] { Check(); }), "Win32_EncryptableVolume", 0x80041008);
}

TEST_F(BitLocker, FailuresRaiseWithTheirSteps) {
    struct Case {
        const char* what;
        const char* call;
        std::uint32_t code;
        const char* step;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"query times out", "IEnumWbemClassObject::Next", 0x00040004, "Win32_EncryptableVolume", 0x800705B4},
        {"access denied", "IWbemLocator::ConnectServer", 0x80041003, "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption", 0x80041003},
        {"conversion call fails", "IWbemServices::ExecMethod(GetConversionStatus)", 0x80041001, "GetConversionStatus", 0x80041001},
        {"protection call fails", "IWbemServices::ExecMethod(GetProtectionStatus)", 0x80041001, "GetProtectionStatus", 0x80041001},
        {"input signature fails", "IWbemClassObject::GetMethod", 0x80041002, "GetConversionStatus", 0x80041002},
        {"class object fails", "IWbemServices::GetObject", 0x80041002, "Win32_EncryptableVolume", 0x80041002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.faults.Fail(c.call, 1, c.code);
        EXPECT_WMI_ERROR(Raised([&] { Check(); }), c.step, c.expected);
        m.faults.Clear();
        EXPECT_TRUE(ComIsClean(m));
    }
}

TEST_F(BitLocker, MissingNamespaceRaises) {
    m.wmi.encryptionNamespace = false;
    EXPECT_WMI_ERROR(Raised([&] { Check(); }), "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption", 0x8004100E);
}

TEST_F(BitLocker, StatusOfAnUnexpectedTypeRaises) {
    m.wmi.adjustResult[u"Win32_EncryptableVolume.GetProtectionStatus"] = [](sim::WmiInstance& out) {
        out.Set(u"ProtectionStatus", true);
    };
    EXPECT_WMI_ERROR(Raised([&] { Check(); }), "ProtectionStatus", 0x80041008);
    m.wmi.adjustResult[u"Win32_EncryptableVolume.GetConversionStatus"] = [](sim::WmiInstance& out) {
        out.Set(u"ReturnValue", u"zero");
    };
    EXPECT_WMI_ERROR(Raised([&] { Check(); }), "ReturnValue", 0x80041008);
}

TEST_F(BitLocker, UnreadableStatusRaisesWithItsName) {
    m.faults.Fail("IWbemClassObject::Get(ConversionStatus)", 1, 0x80041002);
    EXPECT_WMI_ERROR(Raised([&] { Check(); }), "ConversionStatus", 0x80041002);
}

}  // namespace
}  // namespace velta::testing
