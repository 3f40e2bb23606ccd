// The entry handshake of both boot-time programs on the simulated PC.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "boot/entry_handshake.h"
#include "platform/nt/registry.h"
#include "platform/nt/status.h"
#include "sim/core/machine.h"
#include "sim/boot/session_manager.h"

namespace velta {
namespace {

using sim::RegistryValue;
using Values = std::map<std::u16string, RegistryValue>;

const std::u16string kEntry = u"autocheck VeltamoorMarker";
const std::u16string kChkdsk = u"autocheck autochk *";

std::vector<std::uint8_t> UnitBytes(const std::u16string& units) {
    std::vector<std::uint8_t> b;
    for (char16_t c : units) {
        b.push_back(static_cast<std::uint8_t>(c & 0xFF));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

std::u16string List(const std::vector<std::u16string>& elements) {
    std::u16string u;
    for (const auto& e : elements) u += e + std::u16string(1, u'\0');
    u.push_back(0);
    if (elements.empty()) u.push_back(0);
    return u;
}

RegistryValue MultiSz(const std::u16string& units) { return {sim::REG_MULTI_SZ, UnitBytes(units)}; }

RegistryValue Dword(std::uint32_t v) {
    return {sim::REG_DWORD, {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}};
}

RegistryValue Qword(std::uint64_t v) {
    RegistryValue r{sim::REG_QWORD, {}};
    for (int i = 0; i < 8; ++i) r.data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return r;
}

std::uint32_t Status(nt::NTSTATUS s) { return static_cast<std::uint32_t>(s); }

class Handshake : public ::testing::TestWithParam<sim::BootImage> {
protected:
    void SetUp() override {
        m.registry.Create(sim::kSessionManagerKey);
        // Values that belong to other parts of Windows stay as they are.
        m.registry.SetDword(sim::kSessionManagerKey, u"CriticalSectionTimeout", 2592000);
    }

    void SetBootExecute(const RegistryValue& v) { m.registry.Set(sim::kSessionManagerKey, u"BootExecute", v); }

    Values All() {
        Values out;
        auto* key = m.registry.Open(sim::kSessionManagerKey);
        for (const auto& name : key->ValueNames()) out[name] = *key->Value(name);
        return out;
    }

    sim::BootProgramRun Run() {
        sim::BootProgramRun run = sim::RunBootProgram(m, GetParam());
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.handlesLeftOpen, 0u);
        return run;
    }

    sim::Machine m;
};

// The entry was removed and the time recorded; nothing else changed.
void ExpectRemoved(const Values& before, const Values& after, const std::u16string& listAfter,
                   std::uint64_t time) {
    Values want = before;
    want[u"BootExecute"] = MultiSz(listAfter);
    want[u"VeltamoorMarkerUtc"] = Qword(time);
    EXPECT_EQ(after, want);
}

// The list is left as it was and the status recorded.
void ExpectFailure(const Values& before, const Values& after, nt::NTSTATUS status) {
    Values want = before;
    want[u"VeltamoorMarkerStatus"] = Dword(Status(status));
    EXPECT_EQ(after, want);
}

TEST_P(Handshake, RemovesTheEntryAmongOthersAndRecordsTheTime) {
    SetBootExecute(MultiSz(List({kChkdsk, kEntry, u"autocheck other"})));
    m.systemTime = 0x01DC7A0B12345678ull;
    Values before = All();
    Run();
    ExpectRemoved(before, All(), List({kChkdsk, u"autocheck other"}), 0x01DC7A0B12345678ull);
}

TEST_P(Handshake, TheEntryAloneLeavesTwoZeroUnits) {
    SetBootExecute(MultiSz(List({kEntry})));
    Values before = All();
    Run();
    ExpectRemoved(before, All(), std::u16string(2, u'\0'), m.systemTime);
    EXPECT_EQ(m.registry.Get(sim::kSessionManagerKey, u"BootExecute")->data.size(), 4u);
}

TEST_P(Handshake, AnEarlierStatusIsLeftAsItWas) {
    SetBootExecute(MultiSz(List({kEntry})));
    m.registry.Set(sim::kSessionManagerKey, u"VeltamoorMarkerStatus", Dword(Status(nt::STATUS_DATA_ERROR)));
    Values before = All();
    Run();
    ExpectRemoved(before, All(), std::u16string(2, u'\0'), m.systemTime);
}

TEST_P(Handshake, ListsThatAreRefusedRecordTheirStatus) {
    // A valid list longer than the read buffer: the entry after 16,380 units of another element.
    const std::u16string longElement(16380, u'x');
    struct Case {
        std::string what;
        std::optional<RegistryValue> bootExecute;
        nt::NTSTATUS status;
    } cases[] = {
        {"the entry twice", MultiSz(List({kEntry, kEntry})), nt::STATUS_DATA_ERROR},
        {"an empty element between others", MultiSz(kChkdsk + u'\0' + u'\0' + u"x" + u'\0' + kEntry + u'\0' + u'\0'),
         nt::STATUS_DATA_ERROR},
        {"three zero units at the end", MultiSz(kEntry + std::u16string(3, u'\0')), nt::STATUS_DATA_ERROR},
        {"a REG_SZ value", RegistryValue{sim::REG_SZ, UnitBytes(kEntry + u'\0')}, nt::STATUS_DATA_ERROR},
        {"REG_EXPAND_SZ holding a list", RegistryValue{sim::REG_EXPAND_SZ, UnitBytes(List({kEntry}))},
         nt::STATUS_DATA_ERROR},
        {"2 bytes", RegistryValue{sim::REG_MULTI_SZ, {0, 0}}, nt::STATUS_DATA_ERROR},
        {"0 bytes", RegistryValue{sim::REG_MULTI_SZ, {}}, nt::STATUS_DATA_ERROR},
        {"odd length", [] {
             auto v = MultiSz(List({kEntry}));
             v.data.push_back(0);
             return v;
         }(), nt::STATUS_DATA_ERROR},
        {"more than 32,768 bytes", MultiSz(List({longElement, kEntry})), nt::STATUS_BUFFER_OVERFLOW},
        {"absent", std::nullopt, nt::STATUS_OBJECT_NAME_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.registry.Delete(sim::kSessionManagerKey, u"BootExecute");
        m.registry.Delete(sim::kSessionManagerKey, u"VeltamoorMarkerStatus");
        if (c.bootExecute) SetBootExecute(*c.bootExecute);
        Values before = All();
        Run();
        ExpectFailure(before, All(), c.status);
        EXPECT_FALSE(m.registry.Get(sim::kSessionManagerKey, u"VeltamoorMarkerUtc"));
    }
}

TEST_P(Handshake, TheLargestListIsStillRead) {
    // 32,768 bytes: an element of 16,356 units, its zero, the entry, its zero, the final zero.
    const std::u16string longElement(16356, u'x');
    ASSERT_EQ(List({longElement, kEntry}).size() * 2, 32768u);
    SetBootExecute(MultiSz(List({longElement, kEntry})));
    Values before = All();
    Run();
    ExpectRemoved(before, All(), List({longElement}), m.systemTime);
}

TEST_P(Handshake, WithoutTheEntryNothingIsWritten) {
    for (const auto& list : {List({}), List({kChkdsk}), List({u"autocheck veltamoormarker"}),
                             List({kEntry + u" /x"})}) {
        SetBootExecute(MultiSz(list));
        Values before = All();
        Run();
        EXPECT_EQ(All(), before);
    }
    EXPECT_EQ(m.faults.Calls("NtSetValueKey"), 0u);
}

TEST_P(Handshake, FailedCallsAreRecorded) {
    const nt::NTSTATUS kFailure = static_cast<nt::NTSTATUS>(0xC000009Au);  // insufficient resources
    const std::u16string full = List({kChkdsk, kEntry});
    const std::u16string removed = List({kChkdsk});
    struct Case {
        std::string what;
        const char* call;
        std::uint64_t nth;
        std::u16string listAfter;
    } cases[] = {
        {"reading the list", "NtQueryValueKey", 1, full},
        {"writing the list", "NtSetValueKey", 1, full},
        // The list write has already happened: the entry is gone all the same.
        {"reading the time", "NtQuerySystemTime", 1, removed},
        {"writing the time", "NtSetValueKey", 2, removed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.registry.Delete(sim::kSessionManagerKey, u"VeltamoorMarkerStatus");
        SetBootExecute(MultiSz(full));
        m.faults.Fail(c.call, c.nth, Status(kFailure));
        Values before = All();
        Run();
        Values want = before;
        want[u"BootExecute"] = MultiSz(c.listAfter);
        want[u"VeltamoorMarkerStatus"] = Dword(Status(kFailure));
        EXPECT_EQ(All(), want);
    }
}

TEST_P(Handshake, AKeyThatCannotBeOpenedStopsEverything) {
    SetBootExecute(MultiSz(List({kEntry})));
    m.faults.Fail("NtOpenKey", 1, Status(nt::STATUS_ACCESS_DENIED));
    Values before = All();
    Run();
    EXPECT_EQ(All(), before);
    EXPECT_EQ(m.faults.Calls("NtQueryValueKey"), 0u);
}

TEST_P(Handshake, AFailedStatusWriteIsIgnored) {
    SetBootExecute(MultiSz(List({kEntry, kEntry})));
    m.faults.FailAlways("NtSetValueKey", Status(nt::STATUS_ACCESS_DENIED));
    Values before = All();
    Run();
    EXPECT_EQ(All(), before);
    EXPECT_EQ(m.faults.Calls("NtSetValueKey"), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Handshake,
                         ::testing::Values(sim::BootImage::Marker, sim::BootImage::MoveLab),
                         [](const auto& info) {
                             return info.param == sim::BootImage::Marker ? "Marker" : "MoveLab";
                         });

// The work after the handshake: it runs once, only after a success, with the key still open.
struct WorkLog {
    int calls = 0;
    bool keyUsable = false;
};
WorkLog g_work;

void RecordWork(nt::HANDLE key) {
    ++g_work.calls;
    std::uint8_t record[64] = {};
    nt::ULONG returned = 0;
    nt::UNICODE_STRING name{22, 24, const_cast<char16_t*>(u"BootExecute")};
    g_work.keyUsable = nt::NtQueryValueKey(key, &name, nt::KeyValuePartialInformation, record,
                                           sizeof(record), &returned) == nt::STATUS_SUCCESS;
}

TEST(HandshakeWork, RunsOnlyAfterASuccessfulHandshake) {
    struct Case {
        std::string what;
        std::optional<std::u16string> list;
        int calls;
    } cases[] = {
        {"entry removed", List({kChkdsk, kEntry}), 1},
        {"entry absent", List({kChkdsk}), 0},
        {"entry twice", List({kEntry, kEntry}), 0},
        {"no list", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        sim::Machine m;
        sim::UseMachine use(m);
        m.registry.Create(sim::kSessionManagerKey);
        if (c.list) m.registry.Set(sim::kSessionManagerKey, u"BootExecute", MultiSz(*c.list));
        g_work = {};
        bool ended = false;
        try {
            boot::RunBootEntry(&RecordWork);
        } catch (const sim::ProcessExit& exit) {
            ended = true;
            EXPECT_EQ(exit.exitStatus, 0) << c.what;
        }
        EXPECT_TRUE(ended) << c.what;
        EXPECT_EQ(g_work.calls, c.calls) << c.what;
        if (c.calls > 0) {
            EXPECT_TRUE(g_work.keyUsable) << c.what;
        }
        EXPECT_EQ(m.handles.OpenCount(), 0u) << c.what;
    }
}

}  // namespace
}  // namespace velta
