// Every owner of a handle kind follows the same rules, and the simulated PC's own counts of
// what is still open prove them: a value is given back exactly once, whatever the owner does.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/wmi/com_owners.h"
#include "platform/nt/object.h"
#include "platform/nt/registry.h"
#include "platform/nt/rtl.h"
#include "platform/nt/status.h"
#include "platform/win/bcrypt.h"
#include "platform/win/com.h"
#include "platform/win/com_constants.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/process.h"
#include "platform/win/storage.h"
#include "platform/win/storage_unique.h"
#include "platform/win/unique.h"
#include "sim/core/machine.h"
#include "sim/core/registry.h"
#include "sim/storage/partition_table.h"
#include "sim/storage/storage.h"

namespace velta::testing {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;
constexpr std::uint64_t kGiB = 1ull << 30;

// One kind of handle on a fresh simulated PC: how to get a new value the way the program
// does (returned, or through an out parameter), how the machine counts what is still open,
// and how to give back a value that an owner released.
struct KernelHandleKind {
    using Owner = win::UniqueHandle;
    using Raw = win::HANDLE;
    sim::Machine m;
    sim::UseMachine use{m};
    KernelHandleKind() { m.storage.AddDisk(0, kGiB); }
    Raw Open() {
        return win::CreateFileW(u"\\\\.\\PhysicalDrive0", 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                win::OPEN_EXISTING, 0, nullptr);
    }
    void OpenInto(Raw* out) { *out = Open(); }
    std::size_t Live() const { return m.handles.OpenCount(); }
    int Misuse() const { return 0; }
    void CloseRaw(Raw h) { EXPECT_TRUE(win::CloseHandle(h)); }
};

struct VolumeSearchKind {
    using Owner = win::UniqueFindVolume;
    using Raw = win::HANDLE;
    sim::Machine m;
    sim::UseMachine use{m};
    char16_t name[260] = {};
    VolumeSearchKind() {
        sim::Disk& d = m.storage.AddDisk(0, 4 * kGiB);
        sim::WriteGpt(d.bytes, 512, sim::GuidFromText("{01234567-89AB-CDEF-0123-456789ABCDEF}"),
                      {{kMiB, kGiB, sim::gpt_type::BasicData, sim::GuidFromText("{11111111-2222-3333-4444-555555555555}"),
                        0, u""}});
        sim::Volume v;
        v.guid = sim::GuidFromText("{0A0B0C0D-1111-2222-3333-444455556666}");
        m.storage.AddVolumeOnPartition(0, 1, std::move(v));
    }
    Raw Open() { return win::FindFirstVolumeW(name, 260); }
    void OpenInto(Raw* out) { *out = Open(); }
    std::size_t Live() const { return m.handles.OpenCount(); }
    int Misuse() const { return 0; }
    void CloseRaw(Raw h) { EXPECT_TRUE(win::FindVolumeClose(h)); }
};

struct AlgorithmKind {
    using Owner = win::UniqueAlgorithm;
    using Raw = win::BCRYPT_ALG_HANDLE;
    sim::Machine m;
    sim::UseMachine use{m};
    void OpenInto(Raw* out) { EXPECT_EQ(win::BCryptOpenAlgorithmProvider(out, u"SHA256", nullptr, 0), 0); }
    Raw Open() {
        Raw h = nullptr;
        OpenInto(&h);
        return h;
    }
    std::size_t Live() const { return m.handles.OpenCount(); }
    int Misuse() const { return 0; }
    void CloseRaw(Raw h) { EXPECT_EQ(win::BCryptCloseAlgorithmProvider(h, 0), 0); }
};

struct NativeHandleKind {
    using Owner = nt::UniqueHandle;
    using Raw = nt::HANDLE;
    sim::Machine m;
    sim::UseMachine use{m};
    NativeHandleKind() { m.registry.Set(sim::kSessionManagerKey, u"Sample", {sim::REG_BINARY, {1}}); }
    void OpenInto(Raw* out) {
        nt::UNICODE_STRING name;
        nt::RtlInitUnicodeString(&name, u"\\REGISTRY\\Machine\\System\\CurrentControlSet\\Control\\Session Manager");
        nt::OBJECT_ATTRIBUTES attributes;
        nt::InitializeObjectAttributes(&attributes, &name, nt::OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        EXPECT_EQ(nt::NtOpenKey(out, nt::KEY_QUERY_VALUE, &attributes), nt::STATUS_SUCCESS);
    }
    Raw Open() {
        Raw h = nullptr;
        OpenInto(&h);
        return h;
    }
    std::size_t Live() const { return m.handles.OpenCount(); }
    int Misuse() const { return 0; }
    void CloseRaw(Raw h) { EXPECT_EQ(nt::NtClose(h), nt::STATUS_SUCCESS); }
};

struct ComReferenceKind {
    using Owner = ComPtr<win::IWbemLocator>;
    using Raw = win::IWbemLocator*;
    sim::Machine m;
    sim::UseMachine use{m};
    ComReferenceKind() { EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED), win::S_OK); }
    ~ComReferenceKind() { win::CoUninitialize(); }
    void OpenInto(Raw* out) {
        EXPECT_EQ(win::CoCreateInstance(win::CLSID_WbemLocator, nullptr, win::CLSCTX_INPROC_SERVER,
                                        win::IID_IWbemLocator, reinterpret_cast<void**>(out)),
                  win::S_OK);
    }
    Raw Open() {
        Raw p = nullptr;
        OpenInto(&p);
        return p;
    }
    std::size_t Live() const { return m.com.liveObjects.size(); }
    int Misuse() const { return m.com.overReleases + m.com.releasesOutsideCom; }
    void CloseRaw(Raw p) { p->Release(); }
};

struct BstrKind {
    using Owner = UniqueBstr;
    using Raw = win::BSTR;
    sim::Machine m;
    sim::UseMachine use{m};
    Raw Open() { return win::SysAllocString(u"text"); }
    void OpenInto(Raw* out) { *out = Open(); }
    std::size_t Live() const { return m.com.liveBstrs.size(); }
    int Misuse() const { return m.com.badFrees; }
    void CloseRaw(Raw b) { win::SysFreeString(b); }
};

struct LocalMemoryKind {
    using Owner = win::UniqueLocal<win::LPWSTR>;
    using Raw = win::LPWSTR*;
    sim::Machine m;
    sim::UseMachine use{m};
    Raw Open() {
        int argc = 0;
        return win::CommandLineToArgvW(u"Veltamoor.exe --scan", &argc);
    }
    void OpenInto(Raw* out) { *out = Open(); }
    std::size_t Live() const { return m.localAllocations.size(); }
    int Misuse() const { return 0; }
    void CloseRaw(Raw p) { EXPECT_EQ(win::LocalFree(p), nullptr); }
};

template <typename K>
struct Behaviour {
    const char* what;
    // Runs with a fresh machine; values the owner handed out with release() go to `released`.
    std::function<void(K&, std::vector<typename K::Raw>& released)> act;
    std::size_t liveAfter;  // once every owner of the act has ended, before `released` is given back
};

template <typename K>
std::vector<Behaviour<K>> Behaviours() {
    using Owner = typename K::Owner;
    using Raw = typename K::Raw;
    using Released = std::vector<Raw>;
    return {
        {"destruction gives the value back",
         [](K& k, Released&) {
             Owner o(k.Open());
             EXPECT_TRUE(o.valid());
             EXPECT_TRUE(static_cast<bool>(o));
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"an empty owner holds nothing and gives nothing back",
         [](K& k, Released&) {
             Owner o;
             EXPECT_FALSE(o.valid());
             EXPECT_FALSE(static_cast<bool>(o));
             EXPECT_EQ(k.Live(), 0u);
         },
         0},
        {"move construction hands the value over",
         [](K& k, Released&) {
             Owner a(k.Open());
             Raw raw = a.get();
             Owner b(std::move(a));
             EXPECT_FALSE(a.valid());
             EXPECT_EQ(b.get(), raw);
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"move assignment gives back the value it replaces",
         [](K& k, Released&) {
             Owner a(k.Open());
             Owner b(k.Open());
             Raw raw = b.get();
             EXPECT_EQ(k.Live(), 2u);
             a = std::move(b);
             EXPECT_EQ(k.Live(), 1u);
             EXPECT_EQ(a.get(), raw);
             EXPECT_FALSE(b.valid());
         },
         0},
        {"move assignment from an empty owner gives the value back",
         [](K& k, Released&) {
             Owner a(k.Open());
             Owner empty;
             a = std::move(empty);
             EXPECT_FALSE(a.valid());
             EXPECT_EQ(k.Live(), 0u);
         },
         0},
        {"move assignment to itself keeps the value",
         [](K& k, Released&) {
             Owner a(k.Open());
             Raw raw = a.get();
             Owner& same = a;
             a = std::move(same);
             EXPECT_EQ(a.get(), raw);
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"release hands the value to the caller without giving it back",
         [](K& k, Released& released) {
             Owner a(k.Open());
             Raw raw = a.get();
             Raw out = a.release();
             EXPECT_EQ(out, raw);
             EXPECT_FALSE(a.valid());
             released.push_back(out);
         },
         1},
        {"reset gives the value back at once",
         [](K& k, Released&) {
             Owner a(k.Open());
             a.reset();
             EXPECT_FALSE(a.valid());
             EXPECT_EQ(k.Live(), 0u);
         },
         0},
        {"reset to a new value gives back the old one",
         [](K& k, Released&) {
             Owner a(k.Open());
             Raw next = k.Open();
             a.reset(next);
             EXPECT_EQ(a.get(), next);
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"reset to the value already held keeps it",
         [](K& k, Released&) {
             Owner a(k.Open());
             Raw raw = a.get();
             a.reset(raw);
             EXPECT_EQ(a.get(), raw);
             EXPECT_TRUE(a.valid());
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"put on a held value gives it back before the new one arrives",
         [](K& k, Released&) {
             Owner a(k.Open());
             Raw* slot = a.put();
             EXPECT_EQ(k.Live(), 0u);
             k.OpenInto(slot);
             EXPECT_TRUE(a.valid());
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"put reused on the same owner keeps only the last value",
         [](K& k, Released&) {
             Owner a;
             k.OpenInto(a.put());
             k.OpenInto(a.put());
             k.OpenInto(a.put());
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
        {"swap exchanges the values",
         [](K& k, Released&) {
             Owner a(k.Open());
             Owner b;
             Raw raw = a.get();
             a.swap(b);
             EXPECT_FALSE(a.valid());
             EXPECT_EQ(b.get(), raw);
             EXPECT_EQ(k.Live(), 1u);
         },
         0},
    };
}

template <typename K>
class Owners : public ::testing::Test {};

using Kinds = ::testing::Types<KernelHandleKind, VolumeSearchKind, AlgorithmKind, NativeHandleKind,
                               ComReferenceKind, BstrKind, LocalMemoryKind>;
TYPED_TEST_SUITE(Owners, Kinds);

TYPED_TEST(Owners, GiveEveryValueBackExactlyOnce) {
    for (const auto& b : Behaviours<TypeParam>()) {
        SCOPED_TRACE(b.what);
        TypeParam k;
        ASSERT_EQ(k.Live(), 0u);
        std::vector<typename TypeParam::Raw> released;
        b.act(k, released);
        EXPECT_EQ(k.Live(), b.liveAfter);
        for (auto raw : released) k.CloseRaw(raw);
        EXPECT_EQ(k.Live(), 0u);
        EXPECT_EQ(k.Misuse(), 0);
    }
}

// A VARIANT is a value that may own a BSTR; its owner clears what it replaces.
TEST(VariantOwner, ClearsWhatItHoldsOnEveryPath) {
    sim::Machine m;
    sim::UseMachine use{m};
    auto holding = [](const char16_t* text) {
        UniqueVariant v;
        v.get()->vt = win::VT_BSTR;
        v.get()->bstrVal = win::SysAllocString(text);
        return v;
    };
    {
        UniqueVariant a = holding(u"one");
        EXPECT_EQ(m.com.liveBstrs.size(), 1u);
        UniqueVariant b = holding(u"two");
        a = std::move(b);
        EXPECT_EQ(m.com.liveBstrs.size(), 1u);
        EXPECT_EQ(b->vt, win::VT_EMPTY);
        EXPECT_EQ(std::u16string(a->bstrVal), u"two");
        win::VARIANT* out = a.put();
        EXPECT_EQ(m.com.liveBstrs.size(), 0u);
        EXPECT_EQ(out->vt, win::VT_EMPTY);
        out->vt = win::VT_BSTR;
        out->bstrVal = win::SysAllocString(u"three");
    }
    EXPECT_EQ(m.com.liveBstrs.size(), 0u);
    EXPECT_EQ(m.com.badFrees, 0);
}

// The owner needs no library and no exceptions, so the boot-time programs can use it; its
// rules do not depend on the kind of value.
struct CountingTraits {
    using Type = int;
    static inline int closes = 0;
    static inline int lastClosed = 0;
    static constexpr Type Invalid() { return -1; }
    static constexpr bool IsValid(Type v) { return v >= 0; }
    static void Close(Type v) {
        ++closes;
        lastClosed = v;
    }
};

TEST(UniqueAny, ClosesOnlyValidValuesAndEachOnce) {
    CountingTraits::closes = 0;
    {
        UniqueAny<CountingTraits> a(7);
        UniqueAny<CountingTraits> invalid(-5);  // a failure value: never closed
        a.reset(0);  // 0 is a valid value of this kind
        EXPECT_EQ(CountingTraits::closes, 1);
        EXPECT_EQ(CountingTraits::lastClosed, 7);
        EXPECT_EQ(invalid.release(), -5);
        EXPECT_EQ(invalid.get(), -1);
    }
    EXPECT_EQ(CountingTraits::closes, 2);
    EXPECT_EQ(CountingTraits::lastClosed, 0);
    static_assert(sizeof(UniqueAny<CountingTraits>) == sizeof(int));
}

}  // namespace
}  // namespace velta::testing
