// The WMI layer over the real COM runtime, under Wine: the interfaces we declare are called
// through the real objects' vtables, and the layer's rules hold against a real service.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/wine.h"

namespace velta::testing {
namespace {

TEST(WmiUnderWine, TheLayerDrivesTheRealService) {
    const std::string probe = WindowsProgram("VeltamoorWmiProbe.exe");
    ASSERT_TRUE(std::ifstream(probe).good()) << probe << " is missing: build it with `make windows`";
    ProcessResult r = RunWine({probe});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> facts;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto colon = line.find(": ");
        if (colon != std::string::npos) facts[line.substr(0, colon)] = line.substr(colon + 2);
    }
    // Wine has no BitLocker provider: the check fails closed with the namespace as detail.
    EXPECT_EQ(facts["storage checks"], "8 ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption 0x8004100E");
    EXPECT_EQ(facts["connect"], "ok");
    EXPECT_NE(facts["one instance"].find("Windows"), std::string::npos) << facts["one instance"];
    EXPECT_EQ(facts["no instance"], "none");
    EXPECT_EQ(facts["two instances"], "raised Win32_Process 0x80041008");
    EXPECT_EQ(facts["uint64 property"], "8 positive");  // a CIM uint64 arrives as decimal text
    EXPECT_EQ(facts["flag property"], "true");
    EXPECT_EQ(facts["missing property"], "raised NoSuchProperty 0x80041002");
    EXPECT_EQ(facts["method with one input"], "ReturnValue 0");
}

}  // namespace
}  // namespace velta::testing
