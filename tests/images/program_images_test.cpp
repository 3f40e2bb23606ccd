// The three built Windows images: machine, subsystem, imports and the desktop program's resources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "tests/support/pe_image.h"
#include "tests/support/wine.h"

namespace velta::testing {
namespace {

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kSubsystemNative = 1;
constexpr std::uint16_t kSubsystemGui = 2;
constexpr std::uint32_t kRtRcData = 10;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kRtManifest = 24;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

PeImage Load(const std::string& name) { return ReadPeImage(ReadBinaryFile(WindowsProgram(name))); }

TEST(ProgramImages, BootTimeProgramsAreNativeAndImportOnlyNtdll) {
    for (const char* name : {"VeltamoorMarker.exe", "VeltamoorMoveLab.exe"}) {
        PeImage image = Load(name);
        EXPECT_EQ(image.machine, kMachineAmd64) << name;
        EXPECT_EQ(image.optionalMagic, 0x20B) << name;
        EXPECT_EQ(image.subsystem, kSubsystemNative) << name;
        EXPECT_NE(image.entryPointRva, 0u) << name;
        ASSERT_EQ(image.importedDlls.size(), 1u) << name;
        EXPECT_EQ(Lower(image.importedDlls[0]), "ntdll.dll") << name;
    }
}

TEST(ProgramImages, DesktopProgramIsGuiAndImportsOnlyWindowsDlls) {
    PeImage image = Load("Veltamoor.exe");
    EXPECT_EQ(image.machine, kMachineAmd64);
    EXPECT_EQ(image.subsystem, kSubsystemGui);
    // DLLs that ship with every Windows 10; no C++ runtime DLL may appear.
    const std::set<std::string> windowsDlls = {
        "kernel32.dll", "user32.dll", "gdi32.dll",   "shell32.dll",  "advapi32.dll", "ole32.dll",
        "oleaut32.dll", "comctl32.dll", "bcrypt.dll", "uxtheme.dll", "msvcrt.dll",   "ntdll.dll"};
    ASSERT_FALSE(image.importedDlls.empty());
    for (const auto& dll : image.importedDlls)
        EXPECT_TRUE(windowsDlls.count(Lower(dll))) << "unexpected import " << dll;
}

TEST(ProgramImages, DesktopProgramCarriesBothBootImagesAsBuilt) {
    PeImage image = Load("Veltamoor.exe");
    auto marker = image.resources.find({kRtRcData, 101});
    auto moveLab = image.resources.find({kRtRcData, 102});
    ASSERT_NE(marker, image.resources.end());
    ASSERT_NE(moveLab, image.resources.end());
    EXPECT_EQ(marker->second, ReadBinaryFile(WindowsProgram("VeltamoorMarker.exe")));
    EXPECT_EQ(moveLab->second, ReadBinaryFile(WindowsProgram("VeltamoorMoveLab.exe")));
}

TEST(ProgramImages, ManifestAsksForAdministratorControlsSixDpiAndWindowsTen) {
    PeImage image = Load("Veltamoor.exe");
    auto it = image.resources.find({kRtManifest, 1});
    ASSERT_NE(it, image.resources.end());
    std::string xml(it->second.begin(), it->second.end());
    for (const char* needle : {
             "level=\"requireAdministrator\"",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             ">PerMonitorV2</dpiAwareness>",
             ">true</dpiAware>",
             "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
         })
        EXPECT_NE(xml.find(needle), std::string::npos) << needle;
}

TEST(ProgramImages, VersionRecordNamesTheProduct) {
    PeImage image = Load("Veltamoor.exe");
    auto it = image.resources.find({kRtVersion, 1});
    ASSERT_NE(it, image.resources.end());
    VersionRecord v = ReadVersionRecord(it->second);
    constexpr std::uint64_t k0100 = (0ull << 48) | (1ull << 32) | (0ull << 16) | 0ull;
    EXPECT_EQ(v.fileVersion, k0100);
    EXPECT_EQ(v.productVersion, k0100);
    EXPECT_EQ(v.strings[u"FileDescription"], u"Veltamoor");
    EXPECT_EQ(v.strings[u"ProductName"], u"Veltamoor");
    EXPECT_EQ(v.strings[u"OriginalFilename"], u"Veltamoor.exe");
    EXPECT_EQ(v.strings[u"FileVersion"], u"0.1.0.0");
    EXPECT_EQ(v.strings[u"ProductVersion"], u"0.1.0.0");
}

}  // namespace
}  // namespace velta::testing
