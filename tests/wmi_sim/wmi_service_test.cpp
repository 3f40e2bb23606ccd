// The simulated COM runtime and WMI service themselves: reference counting that tests rely
// on, and MSFT_Partition.Resize acting on the real table bytes.
#include <gtest/gtest.h>

#include <regex>

#include "app/wmi/identity_checks.h"
#include "app/wmi/wmi_layer.h"
#include "platform/win/com_constants.h"
#include "tests/sim_storage/host_tools.h"
#include "tests/support/wmi_machine.h"

namespace velta::testing {
namespace {

class WmiService : public ::testing::Test, public WmiMachine {
protected:
    // Calls Resize on the data partition with the size as the program sends it.
    std::uint64_t Resize(std::u16string sizeText) {
        ComScope com;
        WmiConnection c = ConnectNamespace(kStorageNamespace);
        auto partition = QuerySingleInstance(c, u"SELECT * FROM MSFT_Partition WHERE DiskNumber = 0 AND PartitionNumber = 3",
                                             u"MSFT_Partition");
        UniqueVariant size;
        size.get()->vt = win::VT_BSTR;
        size.get()->bstrVal = AllocBstr(sizeText).release();
        MethodInput input{u"Size", size.get()};
        auto out = InvokeMethod(c, partition.get(), u"MSFT_Partition", u"Resize", &input);
        return ReadUnsigned(out.get(), u"ReturnValue");
    }
    std::uint64_t DataLength() const { return m.storage.FindDisk(0)->Table().FindPartition(kDataNumber)->length; }
};

TEST_F(WmiService, LeaksAndLateReleasesAreSeen) {
    win::IWbemServices* kept = nullptr;
    {
        ComScope com;
        WmiConnection c = ConnectNamespace(kStorageNamespace);
        kept = c.services.get();
        kept->AddRef();
    }
    EXPECT_FALSE(ComIsClean(m));  // one reference was never released
    EXPECT_EQ(m.com.liveObjects.count("IWbemServices"), 1u);
    kept->Release();  // too late: COM has ended on this thread
    EXPECT_TRUE(m.com.liveObjects.empty());
    EXPECT_EQ(m.com.releasesOutsideCom, 1);
    EXPECT_FALSE(ComIsClean(m));

    sim::Machine other;
    sim::UseMachine use(other);
    win::CoUninitialize();
    EXPECT_EQ(other.com.unbalancedUninitialize, 1);
    EXPECT_FALSE(ComIsClean(other));
    win::SysFreeString(reinterpret_cast<win::BSTR>(&other) + 2);
    EXPECT_EQ(other.com.badFrees, 1);
}

TEST_F(WmiService, AnswersInBstrsAndArraysAreTrackedUntilCleared) {
    ComScope com;
    WmiConnection c = ConnectNamespace(kStorageNamespace);
    auto partition = QuerySingleInstance(c, u"SELECT * FROM MSFT_Partition WHERE PartitionNumber = 3", u"MSFT_Partition");
    ASSERT_TRUE(partition);
    {
        PropertyValue paths = ReadProperty(partition.get(), u"AccessPaths");
        EXPECT_EQ(m.com.liveArrays.size(), 1u);
        EXPECT_EQ(m.com.liveBstrs.size(), 2u);  // "D:\" and the volume path
    }
    EXPECT_TRUE(m.com.liveArrays.empty());
    EXPECT_TRUE(m.com.liveBstrs.empty());
}

TEST_F(WmiService, ResizeRefusesSizesOutsideTheSupportedRange) {
    const std::uint64_t before = DataLength();
    struct Case {
        const char* what;
        std::u16string size;
        std::uint64_t returnValue;
    } cases[] = {
        {"below the used bytes", u"10737418240", 4097},
        {"past the usable end", u"274877906944", 4097},
        {"not a sector multiple", u"64424509441", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Resize(c.size), c.returnValue);
        EXPECT_EQ(DataLength(), before);
    }
    EXPECT_TRUE(ComIsClean(m));
}

TEST_F(WmiService, ResizeWithoutItsSizeIsAnInvalidCall) {
    ComScope com;
    WmiConnection c = ConnectNamespace(kStorageNamespace);
    auto partition = QuerySingleInstance(c, u"SELECT * FROM MSFT_Partition WHERE PartitionNumber = 3", u"MSFT_Partition");
    EXPECT_WMI_ERROR(Raised([&] { InvokeMethod(c, partition.get(), u"MSFT_Partition", u"Resize", nullptr); }), "Resize",
                     0x8004102F);
    EXPECT_WMI_ERROR(Raised([&] { InvokeMethod(c, partition.get(), u"MSFT_Partition", u"Format", nullptr); }), "Format",
                     0x8004102E);
}

TEST_F(WmiService, ResizeRewritesATableThatSgdiskAccepts) {
    ASSERT_EQ(Resize(u"64424509440"), 0u);  // 60 GiB
    EXPECT_EQ(DataLength(), 60 * kGiB);
    TempImage img("wmi_resize.img");
    m.storage.FindDisk(0)->bytes.SaveImage(img.path());
    auto v = RunCommand("sgdisk -v " + img.path());
    EXPECT_NE(v.output.find("No problems found"), std::string::npos) << v.output;
    auto p = RunCommand("sgdisk -i 3 " + img.path());
    const std::uint64_t firstSector = kDataStart / 512;
    const std::uint64_t lastSector = firstSector + 60 * kGiB / 512 - 1;
    EXPECT_NE(p.output.find("First sector: " + std::to_string(firstSector)), std::string::npos) << p.output;
    EXPECT_NE(p.output.find("Last sector: " + std::to_string(lastSector)), std::string::npos) << p.output;
}

}  // namespace
}  // namespace velta::testing
