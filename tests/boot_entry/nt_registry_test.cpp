// The simulated native registry calls return what ntdll returns: the partial-information
// record byte for byte, and the documented statuses for short buffers and bad handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/nt/object.h"
#include "platform/nt/registry.h"
#include "platform/nt/rtl.h"
#include "platform/nt/status.h"
#include "sim/core/machine.h"

namespace velta {
namespace {

class NtRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        m.registry.Set(sim::kSessionManagerKey, u"Sample", {sim::REG_BINARY, {0xDE, 0xAD, 0xBE, 0xEF, 0x01}});
    }

    nt::NTSTATUS Open(const char16_t* path, nt::ACCESS_MASK access, nt::HANDLE* key) {
        nt::UNICODE_STRING name;
        nt::RtlInitUnicodeString(&name, path);
        nt::OBJECT_ATTRIBUTES attributes;
        nt::InitializeObjectAttributes(&attributes, &name, nt::OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        return nt::NtOpenKey(key, access, &attributes);
    }

    nt::NTSTATUS Query(nt::HANDLE key, const char16_t* value, std::vector<std::uint8_t>& buffer,
                       nt::ULONG* returned) {
        nt::UNICODE_STRING name;
        nt::RtlInitUnicodeString(&name, value);
        return nt::NtQueryValueKey(key, &name, nt::KeyValuePartialInformation, buffer.data(),
                                   static_cast<nt::ULONG>(buffer.size()), returned);
    }

    static constexpr const char16_t* kKey =
        u"\\REGISTRY\\Machine\\System\\CurrentControlSet\\Control\\SESSION MANAGER";
    sim::Machine m;
    sim::UseMachine use{m};
};

TEST_F(NtRegistry, PartialInformationRecordAndShortBuffers) {
    nt::HANDLE key = nullptr;
    ASSERT_EQ(Open(kKey, nt::KEY_QUERY_VALUE, &key), nt::STATUS_SUCCESS);
    const std::vector<std::uint8_t> record = {0, 0, 0, 0,  3, 0, 0, 0,  5, 0, 0, 0,
                                              0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    struct Case {
        std::size_t length;
        nt::NTSTATUS status;
        std::size_t filled;  // leading bytes of the record that must be in the buffer
    } cases[] = {
        {17, nt::STATUS_SUCCESS, 17},
        {64, nt::STATUS_SUCCESS, 17},
        {16, nt::STATUS_BUFFER_OVERFLOW, 16},
        {12, nt::STATUS_BUFFER_OVERFLOW, 12},
        {11, nt::STATUS_BUFFER_TOO_SMALL, 0},
        {0, nt::STATUS_BUFFER_TOO_SMALL, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buffer(c.length + 1, 0xCC);
        nt::ULONG returned = 0;
        nt::UNICODE_STRING name;
        nt::RtlInitUnicodeString(&name, u"sample");
        nt::NTSTATUS s = nt::NtQueryValueKey(key, &name, nt::KeyValuePartialInformation, buffer.data(),
                                             static_cast<nt::ULONG>(c.length), &returned);
        EXPECT_EQ(s, c.status) << c.length;
        EXPECT_EQ(returned, 17u) << c.length;  // always the size the whole record needs
        EXPECT_TRUE(std::equal(record.begin(), record.begin() + c.filled, buffer.begin())) << c.length;
        EXPECT_TRUE(std::all_of(buffer.begin() + c.filled, buffer.end(), [](auto b) { return b == 0xCC; }))
            << c.length;
    }
    EXPECT_EQ(nt::NtClose(key), nt::STATUS_SUCCESS);
    EXPECT_EQ(m.handles.OpenCount(), 0u);
}

TEST_F(NtRegistry, StatusesOfMissingNamesAccessAndHandles) {
    nt::HANDLE key = nullptr;
    EXPECT_EQ(Open(u"\\Registry\\Machine\\SYSTEM\\NoSuchKey", nt::KEY_QUERY_VALUE, &key),
              nt::STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Open(u"Registry\\Machine\\SYSTEM", nt::KEY_QUERY_VALUE, &key), nt::STATUS_OBJECT_PATH_SYNTAX_BAD);
    EXPECT_EQ(m.handles.OpenCount(), 0u);

    ASSERT_EQ(Open(kKey, nt::KEY_QUERY_VALUE, &key), nt::STATUS_SUCCESS);
    std::vector<std::uint8_t> buffer(64);
    nt::ULONG returned = 0;
    EXPECT_EQ(Query(key, u"Missing", buffer, &returned), nt::STATUS_OBJECT_NAME_NOT_FOUND);
    nt::UNICODE_STRING name;
    nt::RtlInitUnicodeString(&name, u"Sample");
    std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(nt::NtSetValueKey(key, &name, 0, nt::REG_BINARY, data, 4), nt::STATUS_ACCESS_DENIED);
    EXPECT_EQ(nt::NtClose(key), nt::STATUS_SUCCESS);
    EXPECT_EQ(Query(key, u"Sample", buffer, &returned), nt::STATUS_INVALID_HANDLE);
    EXPECT_EQ(nt::NtClose(key), nt::STATUS_INVALID_HANDLE);

    ASSERT_EQ(Open(kKey, nt::KEY_SET_VALUE, &key), nt::STATUS_SUCCESS);
    EXPECT_EQ(nt::NtSetValueKey(key, &name, 0, nt::REG_DWORD, data, 4), nt::STATUS_SUCCESS);
    EXPECT_EQ(m.registry.Get(sim::kSessionManagerKey, u"Sample"),
              (sim::RegistryValue{sim::REG_DWORD, {1, 2, 3, 4}}));
    EXPECT_EQ(Query(key, u"Sample", buffer, &returned), nt::STATUS_ACCESS_DENIED);
    // A key deleted while open.
    m.registry.Open(u"HKLM\\SYSTEM\\CurrentControlSet\\Control")->DeleteSubkey(u"Session Manager");
    EXPECT_EQ(nt::NtSetValueKey(key, &name, 0, nt::REG_DWORD, data, 4), nt::STATUS_KEY_DELETED);
    EXPECT_EQ(nt::NtClose(key), nt::STATUS_SUCCESS);
}

}  // namespace
}  // namespace velta
