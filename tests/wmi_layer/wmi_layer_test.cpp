// The WMI layer through the simulated COM runtime and WMI service.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "app/wmi/wmi_layer.h"
#include "platform/win/com_constants.h"
#include "tests/support/wmi_machine.h"

namespace velta::testing {
namespace {

class WmiLayer : public ::testing::Test, public WmiMachine {
protected:
    void TearDown() override { EXPECT_TRUE(ComIsClean(m)); }

    // The value of one property of disk 0, delivered by the provider as `value`.
    void DeliverDiskProperty(std::u16string name, sim::WmiValue value) {
        m.wmi.adjust[u"MSFT_Disk"] = [name, value](sim::WmiInstance& i) { i.Set(name, value); };
    }
    template <typename Read>
    auto ReadDiskProperty(std::u16string_view name, Read read) {
        ComScope com;
        WmiConnection c = ConnectNamespace(kStorageNamespace);
        auto disk = QuerySingleInstance(c, u"SELECT * FROM MSFT_Disk WHERE Number = 0", u"MSFT_Disk");
        if (!disk) throw std::runtime_error("disk 0 missing");
        return read(ReadProperty(disk.get(), name));
    }
};

TEST_F(WmiLayer, QuoteWqlEscapesBackslashesAndQuotesOnly) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"", u""},
        {u"plain D:", u"plain D:"},
        {u"\\\\?\\Volume{1}\\", u"\\\\\\\\?\\\\Volume{1}\\\\"},
        {u"it's", u"it\\'s"},
        {u"\"x\"", u"\"x\""},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8(QuoteWql(c.in)), Utf8(c.out)) << Utf8(c.in);
}

TEST_F(WmiLayer, FormatHresultAndDescribe) {
    EXPECT_EQ(Utf8(FormatHresult(5)), "0x00000005");
    EXPECT_EQ(Utf8(FormatHresult(0x8004100E)), "0x8004100E");
    EXPECT_EQ(Utf8(FormatHresult(0)), "0x00000000");
    EXPECT_EQ(Utf8(FormatHresult(0xFFFFFFFF)), "0xFFFFFFFF");
    EXPECT_EQ(Utf8(DescribeWmiError(WmiError{u"WMI security", 0x80070005})), "WMI security 0x80070005");
}

TEST_F(WmiLayer, ReadUnsignedConversionTable) {
    struct Case {
        const char* what;
        sim::WmiValue value;
        std::optional<std::uint64_t> expected;  // none: raises Probe 0x80041008
    };
    const Case cases[] = {
        {"VT_UI1", std::uint8_t{200}, 200},
        {"VT_I2 -1", std::int16_t{-1}, 65535},
        {"VT_UI2", std::uint16_t{65535}, 65535},
        {"VT_I4 -1", std::int32_t{-1}, 0xFFFFFFFFull},
        {"VT_UI4", std::uint32_t{4000000000u}, 4000000000ull},
        {"VT_UI8", std::uint64_t{0xFFFFFFFFFFFFFFFFull}, 0xFFFFFFFFFFFFFFFFull},
        {"text 2^64-1", u"18446744073709551615", 0xFFFFFFFFFFFFFFFFull},
        {"text 0", u"0", 0},
        {"text leading zeros", u"007", 7},
        {"text 2^64", u"18446744073709551616", std::nullopt},
        {"empty text", u"", std::nullopt},
        {"plus sign", u"+5", std::nullopt},
        {"minus sign", u"-5", std::nullopt},
        {"leading space", u" 5", std::nullopt},
        {"trailing space", u"5 ", std::nullopt},
        {"hex text", u"0x10", std::nullopt},
        {"VT_I8", std::int64_t{5}, std::nullopt},
        {"VT_NULL", sim::WmiValue(), std::nullopt},
        {"VT_BOOL", true, std::nullopt},
        {"array", sim::BstrArray{{u"1"}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeliverDiskProperty(u"Probe", c.value);
        std::uint64_t got = 0;
        auto err = Raised([&] { got = ReadDiskProperty(u"Probe", [](const PropertyValue& p) { return ReadUnsigned(p); }); });
        if (c.expected) {
            EXPECT_FALSE(err.has_value());
            EXPECT_EQ(got, *c.expected);
        } else {
            EXPECT_WMI_ERROR(err, "Probe", 0x80041008);
        }
    }
}

TEST_F(WmiLayer, ReadStringAndReadFlagAreStrict) {
    DeliverDiskProperty(u"Probe", u"Text\u00e9");
    EXPECT_EQ(ReadDiskProperty(u"Probe", [](const PropertyValue& p) { return ReadString(p); }), u"Text\u00e9");
    DeliverDiskProperty(u"Probe", std::int32_t{1});
    EXPECT_WMI_ERROR(Raised([&] { ReadDiskProperty(u"Probe", [](const PropertyValue& p) { return ReadString(p); }); }),
                     "Probe", 0x80041008);
    DeliverDiskProperty(u"Probe", sim::WmiValue());
    EXPECT_WMI_ERROR(Raised([&] { ReadDiskProperty(u"Probe", [](const PropertyValue& p) { return ReadString(p); }); }),
                     "Probe", 0x80041008);

    struct FlagCase {
        const char* what;
        sim::WmiValue value;
        std::optional<bool> expected;
    };
    const FlagCase flags[] = {
        {"VARIANT_TRUE", true, true},
        {"VARIANT_FALSE", false, false},
        {"VT_I4 1", std::int32_t{1}, std::nullopt},
        {"text", u"TRUE", std::nullopt},
    };
    for (const auto& c : flags) {
        SCOPED_TRACE(c.what);
        DeliverDiskProperty(u"Probe", c.value);
        bool got = false;
        auto err = Raised([&] { got = ReadDiskProperty(u"Probe", [](const PropertyValue& p) { return ReadFlag(p); }); });
        if (c.expected) {
            EXPECT_FALSE(err.has_value());
            EXPECT_EQ(got, *c.expected);
        } else {
            EXPECT_WMI_ERROR(err, "Probe", 0x80041008);
        }
    }
}

// A VT_BOOL whose value is neither -1 nor 0 reads as false.
TEST_F(WmiLayer, OddBooleanReadsAsFalse) {
    PropertyValue p{u"Odd", {}};
    p.value.get()->vt = win::VT_BOOL;
    p.value.get()->boolVal = 1;
    EXPECT_FALSE(ReadFlag(p));
}

TEST_F(WmiLayer, MissingPropertyRaisesWithTheCallResult) {
    EXPECT_WMI_ERROR(Raised([&] { ReadDiskProperty(u"NoSuchProperty", [](const PropertyValue& p) { return ReadUnsigned(p); }); }),
                     "NoSuchProperty", 0x80041002);
}

TEST_F(WmiLayer, QueryWithoutMatchReturnsNone) {
    ComScope com;
    WmiConnection c = ConnectNamespace(kStorageNamespace);
    EXPECT_FALSE(QuerySingleInstance(c, u"SELECT * FROM MSFT_Disk WHERE Number = 7", u"MSFT_Disk"));
    EXPECT_TRUE(QuerySingleInstance(c, u"SELECT * FROM MSFT_Disk WHERE Number = 0", u"MSFT_Disk"));
}

TEST_F(WmiLayer, QueryMatchingTwoInstancesRaises) {
    ComScope com;
    WmiConnection c = ConnectNamespace(kStorageNamespace);
    EXPECT_WMI_ERROR(Raised([&] { QuerySingleInstance(c, u"SELECT * FROM MSFT_Partition WHERE DiskNumber = 0", u"MSFT_Partition"); }),
                     "MSFT_Partition", 0x80041008);
}

TEST_F(WmiLayer, QueryFailuresTable) {
    struct Case {
        const char* what;
        const char* call;
        std::uint64_t nth;
        std::uint32_t code;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"ExecQuery fails", "IWbemServices::ExecQuery", 1, 0x80041001, 0x80041001},
        {"enumerator blanket fails", "CoSetProxyBlanket", 1, 0x80070005, 0x80070005},
        {"first Next times out", "IEnumWbemClassObject::Next", 1, 0x00040004, 0x800705B4},
        {"second Next times out", "IEnumWbemClassObject::Next", 2, 0x00040004, 0x800705B4},
        {"first Next fails", "IEnumWbemClassObject::Next", 1, 0x80041006, 0x80041006},
        {"second Next fails", "IEnumWbemClassObject::Next", 2, 0x800706BA, 0x800706BA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            ComScope com;
            WmiConnection conn = ConnectNamespace(kStorageNamespace);
            m.faults.Fail(c.call, c.nth, c.code);
            EXPECT_WMI_ERROR(Raised([&] { QuerySingleInstance(conn, u"SELECT * FROM MSFT_Disk WHERE Number = 0", u"MSFT_Disk"); }),
                             "MSFT_Disk", c.expected);
        }
        m.faults.Clear();
        EXPECT_TRUE(m.com.liveObjects.empty());
    }
}

// What the service does not understand is an error reported with the class name, never an
// empty answer.
TEST_F(WmiLayer, QueriesTheServiceDoesNotUnderstandRaise) {
    struct Case {
        const char16_t* query;
        std::uint32_t code;
    } cases[] = {
        {u"SELECT Number FROM MSFT_Disk", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE Number = 'x", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE Number > 0", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE Number = -1", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE NoSuch = 0", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE Number = 0 AND", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE Number = 0 OR OR Number = 1", 0x80041017},
        {u"SELECT * FROM MSFT_Partition WHERE AccessPaths = 'x'", 0x80041017},
        {u"SELECT * FROM MSFT_Disk WHERE Number = 18446744073709551616", 0x80041017},
        // An unescaped backslash is not a valid escape.
        {u"SELECT * FROM MSFT_Partition WHERE ObjectId = '\\\\?\\Volume{x}\\'", 0x80041017},
        // A boolean compared with a number.
        {u"SELECT * FROM MSFT_Partition WHERE IsBoot = 1", 0x80041017},
        {u"SELECT * FROM MSFT_Volume", 0x80041010},
    };
    ComScope com;
    WmiConnection c = ConnectNamespace(kStorageNamespace);
    for (const auto& q : cases) {
        SCOPED_TRACE(Utf8(q.query));
        EXPECT_WMI_ERROR(Raised([&] { QuerySingleInstance(c, q.query, u"Class"); }), "Class", q.code);
    }
}

TEST_F(WmiLayer, QueryFormsTheServiceParses) {
    ComScope com;
    WmiConnection c = ConnectNamespace(kStorageNamespace);
    struct Case {
        const char16_t* query;
        std::uint64_t partition;  // 0: none
    } cases[] = {
        {u"SELECT * FROM MSFT_Partition WHERE DiskNumber = 0 AND PartitionNumber = 3", 3},
        {u"select * from msft_partition where disknumber = 0 and partitionnumber = 2", 2},
        {u"SELECT * FROM MSFT_Partition WHERE PartitionNumber = 9 OR PartitionNumber = 2", 2},
        {u"SELECT * FROM MSFT_Partition WHERE (PartitionNumber = 2 OR PartitionNumber = 3) AND Offset = 105906176", 2},
        {u"SELECT * FROM MSFT_Partition WHERE DiskNumber = 1 AND PartitionNumber = 2", 0},
        {u"SELECT * FROM MSFT_Partition WHERE ObjectId = '{1}\\\\\\\\VELTAMOOR-SIM\\\\Disk0\\\\Partition3'", 3},
    };
    for (const auto& q : cases) {
        SCOPED_TRACE(Utf8(q.query));
        std::optional<WmiError> err;
        ComPtr<win::IWbemClassObject> p;
        err = Raised([&] { p = QuerySingleInstance(c, q.query, u"MSFT_Partition"); });
        ASSERT_FALSE(err.has_value()) << Utf8(err->step);
        if (q.partition == 0) {
            EXPECT_FALSE(p);
        } else {
            ASSERT_TRUE(p);
            EXPECT_EQ(ReadUnsigned(p.get(), u"PartitionNumber"), q.partition);
        }
    }
}

TEST_F(WmiLayer, QuotedVolumePathWithQuoteIsFound) {
    const std::u16string odd = u"\\\\?\\Volume{it's}\\";
    m.wmi.adjust[u"Win32_EncryptableVolume"] = [&](sim::WmiInstance& i) {
        if (*i.Find(u"DeviceID")->AsText() == kDataVolume) i.Set(u"DeviceID", odd);
    };
    ComScope com;
    WmiConnection c = ConnectNamespace(kEncryptionNamespace);
    std::u16string query = u"SELECT * FROM Win32_EncryptableVolume WHERE DeviceID = '" + QuoteWql(odd) + u"'";
    EXPECT_NE(query.find(u"{it\\'s}"), std::u16string::npos);
    auto v = QuerySingleInstance(c, query, u"Win32_EncryptableVolume");
    ASSERT_TRUE(v);
    EXPECT_EQ(ReadString(v.get(), u"DeviceID"), odd);
}

TEST_F(WmiLayer, ConnectFailuresTable) {
    struct Case {
        const char* what;
        const char* call;
        std::uint32_t code;
        const char* step;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"no locator", "CoCreateInstance", 0x80040154, "WMI locator", 0x80040154},
        {"no BSTR", "SysAllocString", 0, "SysAllocString", 0x8007000E},
        {"ConnectServer fails", "IWbemLocator::ConnectServer", 0x80070005, "ROOT\\Microsoft\\Windows\\Storage", 0x80070005},
        {"blanket refused", "CoSetProxyBlanket", 0x80070005, "WMI security", 0x80070005},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.faults.Fail(c.call, 1, c.code);
        ComScope com;
        EXPECT_WMI_ERROR(Raised([&] { ConnectNamespace(kStorageNamespace); }), c.step, c.expected);
        m.faults.Clear();
        EXPECT_TRUE(m.com.liveObjects.empty());
        EXPECT_TRUE(m.com.liveBstrs.empty());
    }
}

TEST_F(WmiLayer, MissingNamespaceRaisesWithItsPath) {
    m.wmi.encryptionNamespace = false;
    ComScope com;
    EXPECT_WMI_ERROR(Raised([&] { ConnectNamespace(kEncryptionNamespace); }),
                     "ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption", 0x8004100E);
}

TEST_F(WmiLayer, ComScopeBalancesEveryInitialisation) {
    {
        ComScope outer;
        ComScope inner;  // S_FALSE counts as success and is balanced as well
        EXPECT_EQ(m.com.Depth(), 2);
    }
    EXPECT_EQ(m.com.Depth(), 0);
    EXPECT_EQ(m.com.initializeCalls, 2);
    EXPECT_EQ(m.com.uninitializeCalls, 2);

    m.faults.Fail("CoInitializeEx", 1, 0x8000FFFF);
    EXPECT_WMI_ERROR(Raised([] { ComScope scope; }), "CoInitializeEx", 0x8000FFFF);
    EXPECT_EQ(m.com.uninitializeCalls, 2);  // a failed initialisation is not undone
}

TEST_F(WmiLayer, SingleThreadedApartmentRefusesTheScope) {
    std::optional<WmiError> err;
    std::thread worker([&] {
        ASSERT_EQ(win::CoInitializeEx(nullptr, win::COINIT_APARTMENTTHREADED), win::S_OK);
        err = Raised([] { ComScope scope; });
        win::CoUninitialize();
    });
    worker.join();
    EXPECT_WMI_ERROR(err, "CoInitializeEx", 0x80010106);
}

TEST_F(WmiLayer, ProxyWithoutBlanketCannotQuery) {
    // What the blanket buys: the service refuses an unauthenticated proxy.
    ComScope com;
    ComPtr<win::IWbemLocator> locator;
    ASSERT_EQ(win::CoCreateInstance(win::CLSID_WbemLocator, nullptr, win::CLSCTX_INPROC_SERVER,
                                    win::IID_IWbemLocator, locator.put_void()),
              win::S_OK);
    UniqueBstr ns = AllocBstr(kStorageNamespace);
    WmiConnection c;
    ASSERT_EQ(locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0x80, nullptr, nullptr, c.services.put()),
              win::S_OK);
    EXPECT_WMI_ERROR(Raised([&] { QuerySingleInstance(c, u"SELECT * FROM MSFT_Disk", u"MSFT_Disk"); }),
                     "MSFT_Disk", 0x80070005);
}

}  // namespace
}  // namespace velta::testing
