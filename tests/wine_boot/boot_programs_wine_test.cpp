// The real VeltamoorMarker.exe and VeltamoorMoveLab.exe under Wine, against Wine's registry.
// Wine runs native-subsystem images, so the boot-time handshake runs exactly as shipped; the
// lists are set with Wine's own `reg` and read back byte for byte with `reg export`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/wine.h"
#include "tests/wine_boot/reg_file.h"

namespace velta::testing {
namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::string kEntry = "autocheck VeltamoorMarker";
const std::string kChkdsk = "autocheck autochk *";

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

using Values = std::map<std::string, RegValue>;

RegValue MultiSz(const std::vector<std::string>& elements) {
    std::u16string units;
    for (const auto& e : elements) units += std::u16string(e.begin(), e.end()) + u'\0';
    units.push_back(0);
    if (elements.empty()) units.push_back(0);
    return {kRegMultiSz, Utf16Bytes(units)};
}

RegValue Dword(std::uint32_t v) {
    return {kRegDword, {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}};
}

std::uint64_t FileTimeNow() {
    using namespace std::chrono;
    const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(since1970 / 100) + 116444736000000000ull;
}

std::uint64_t Qword(const RegValue& v) {
    std::uint64_t q = 0;
    for (int i = 7; i >= 0; --i) q = (q << 8) | v.data.at(static_cast<std::size_t>(i));
    return q;
}

// Everything a test does to the Session Manager key happens under this lock, so that tests
// run in parallel by ctest never see each other's lists. Not inherited: Wine's server and
// services, started by a test, would otherwise hold it for as long as they live.
class KeyLock {
public:
    KeyLock() {
        const std::string path = std::string(VELTA_HOST_BUILD_DIR) + "/wineprefix-session-manager.lock";
        fd_ = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;
    ~KeyLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }

private:
    int fd_ = -1;
};

class BootProgramUnderWine : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        ASSERT_EQ(access(WindowsProgram(GetParam()).c_str(), R_OK), 0)
            << "build the Windows programs first: cmake --build build/windows";
        lock_.emplace();
        StartWineServices();
        Reset();
    }

    void TearDown() override { Reset(); }

    // Wine's prefix starts without these values; every test leaves it that way.
    void Reset() {
        Import({{"BootExecute", std::nullopt}, {"VeltamoorMarkerUtc", std::nullopt},
                {"VeltamoorMarkerStatus", std::nullopt}});
    }

    // Wine's server and its services outlive the program that starts them, holding whatever
    // output it had. Started here with no output, they leave the runner's pipes alone, so each
    // later run ends when its program ends.
    void StartWineServices() {
        ProcessResult r = RunProcess({"sh", "-c", "{ wineserver -p30; wine reg query 'HKLM\\System'; } >/dev/null 2>&1"},
                                     {{"WINEPREFIX", WinePrefix()}, {"WINEDEBUG", "-all"},
                                      {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"DISPLAY", "\x01unset"}});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    ProcessResult Wine(const std::vector<std::string>& args) {
        ProcessResult r = RunWine(args);
        EXPECT_EQ(r.exitCode, 0) << args.at(0) << " " << (args.size() > 1 ? args[1] : "") << ": " << r.err;
        return r;
    }

    void Import(const std::map<std::string, std::optional<RegValue>>& values) {
        const std::string path = Scratch("import.reg");
        const auto file = RegImportFile(kKey, values);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                    static_cast<std::streamsize>(file.size()));
        Wine({"reg", "import", WinePath(path)});
    }

    void RegAdd(const std::string& type, const std::string& data) {
        Wine({"reg", "add", kKey, "/v", "BootExecute", "/t", type, "/d", data, "/f"});
    }

    // `reg query` of this Wine shows a REG_QWORD as "(null)" and joins list elements with
    // "\0"; the exported file has the bytes.
    Values Export() {
        const std::string path = Scratch("export.reg");
        unlink(path.c_str());
        Wine({"reg", "export", kKey, WinePath(path), "/y"});
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return ParseRegExport(bytes, kKey);
    }

    // Runs the program and returns the key before and after.
    struct Outcome {
        Values before;
        Values after;
        std::uint64_t startTime;
        std::uint64_t endTime;
    };
    Outcome RunProgram() {
        Outcome o;
        o.before = Export();
        o.startTime = FileTimeNow();
        ProcessResult r = RunWine({WindowsProgram(GetParam())});
        o.endTime = FileTimeNow();
        EXPECT_EQ(r.exitCode, 0) << r.err;
        o.after = Export();
        return o;
    }

    void ExpectRefused(const Outcome& o, std::uint32_t status) {
        Values want = o.before;
        want["VeltamoorMarkerStatus"] = Dword(status);
        EXPECT_EQ(o.after, want);
    }

    std::string Scratch(const std::string& name) {
        return std::string(VELTA_HOST_BUILD_DIR) + "/wine_boot-" + std::to_string(getpid()) + "-" + name;
    }

    std::optional<KeyLock> lock_;
};

TEST_P(BootProgramUnderWine, RemovesTheEntryAmongOthersAndRecordsTheTime) {
    RegAdd("REG_MULTI_SZ", kChkdsk + "\\0" + kEntry + "\\0autocheck other");
    Outcome o = RunProgram();
    // Wine's reg separates elements at "\0" and ends the list with one more zero unit.
    ASSERT_EQ(o.before.at("BootExecute"), MultiSz({kChkdsk, kEntry, "autocheck other"}));

    Values want = o.before;
    want["BootExecute"] = MultiSz({kChkdsk, "autocheck other"});
    ASSERT_TRUE(o.after.count("VeltamoorMarkerUtc"));
    const RegValue utc = o.after.at("VeltamoorMarkerUtc");
    want["VeltamoorMarkerUtc"] = utc;
    EXPECT_EQ(o.after, want);
    EXPECT_EQ(utc.type, kRegQword);
    ASSERT_EQ(utc.data.size(), 8u);
    // Wine's system time comes from the same clock; a second of slack covers its granularity.
    const std::uint64_t second = 10000000;
    EXPECT_GE(Qword(utc) + second, o.startTime);
    EXPECT_LE(Qword(utc), o.endTime + second);
}

TEST_P(BootProgramUnderWine, TheEntryAloneLeavesTwoZeroUnits) {
    RegAdd("REG_MULTI_SZ", kEntry);
    Outcome o = RunProgram();
    ASSERT_EQ(o.before.at("BootExecute"), MultiSz({kEntry}));
    EXPECT_EQ(o.after.at("BootExecute"), (RegValue{kRegMultiSz, {0, 0, 0, 0}}));
    EXPECT_TRUE(o.after.count("VeltamoorMarkerUtc"));
    EXPECT_FALSE(o.after.count("VeltamoorMarkerStatus"));
}

TEST_P(BootProgramUnderWine, TheEntryTwiceIsRefused) {
    RegAdd("REG_MULTI_SZ", kEntry + "\\0" + kEntry);
    Outcome o = RunProgram();
    ASSERT_EQ(o.before.at("BootExecute"), MultiSz({kEntry, kEntry}));
    ExpectRefused(o, 0xC000003E);
}

TEST_P(BootProgramUnderWine, AnEmptyElementIsRefused) {
    // Wine's `reg add` refuses "\0\0" inside the data, so this list is imported as raw bytes.
    std::u16string units = u"autocheck autochk *";
    units += u'\0';
    units += u'\0';
    units += u"x";
    units += u'\0';
    units += u"autocheck VeltamoorMarker";
    units += u'\0';
    units += u'\0';
    const RegValue list{kRegMultiSz, Utf16Bytes(units)};
    Import({{"BootExecute", list}});
    Outcome o = RunProgram();
    ASSERT_EQ(o.before.at("BootExecute"), list);
    ExpectRefused(o, 0xC000003E);
}

TEST_P(BootProgramUnderWine, AStringValueIsRefused) {
    RegAdd("REG_SZ", kEntry);
    Outcome o = RunProgram();
    ASSERT_EQ(o.before.at("BootExecute").type, kRegSz);
    ExpectRefused(o, 0xC000003E);
}

TEST_P(BootProgramUnderWine, AnAbsentListIsRecorded) {
    Outcome o = RunProgram();
    ASSERT_FALSE(o.before.count("BootExecute"));
    ExpectRefused(o, 0xC0000034);  // STATUS_OBJECT_NAME_NOT_FOUND
}

TEST_P(BootProgramUnderWine, AListLongerThanTheBufferIsRecorded) {
    // 32,770 bytes: the read fails with STATUS_BUFFER_OVERFLOW before anything is checked.
    RegAdd("REG_MULTI_SZ", std::string(16357, 'x') + "\\0" + kEntry);
    Outcome o = RunProgram();
    ASSERT_EQ(o.before.at("BootExecute").data.size(), 32770u);
    ExpectRefused(o, 0x80000005);
}

TEST_P(BootProgramUnderWine, WithoutTheEntryNothingChanges) {
    RegAdd("REG_MULTI_SZ", kChkdsk + "\\0autocheck veltamoormarker");
    Outcome o = RunProgram();
    ASSERT_EQ(o.before.at("BootExecute"), MultiSz({kChkdsk, "autocheck veltamoormarker"}));
    EXPECT_EQ(o.after, o.before);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, BootProgramUnderWine,
                         ::testing::Values("VeltamoorMarker.exe", "VeltamoorMoveLab.exe"),
                         [](const auto& info) {
                             return info.param == std::string("VeltamoorMarker.exe") ? "Marker" : "MoveLab";
                         });

}  // namespace
}  // namespace velta::testing
