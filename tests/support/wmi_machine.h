// A simulated PC for the storage management queries: one GPT disk with an EFI partition,
// the Windows partition (C:) and an NTFS data partition (D:) after it, then free space.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/model/layout_model.h"
#include "app/wmi/partition_identity.h"
#include "sim/core/machine.h"
#include "sim/storage/partition_table.h"
#include "sim/storage/storage.h"
#include "sim/core/text.h"

namespace velta::testing {

inline constexpr std::uint64_t kMiB = 1024ull * 1024;
inline constexpr std::uint64_t kGiB = 1024 * kMiB;

inline constexpr char16_t kWindowsVolume[] = u"\\\\?\\Volume{6f1d2b8a-1c3e-4d5f-9a0b-1c2d3e4f5a6b}\\";
inline constexpr char16_t kDataVolume[] = u"\\\\?\\Volume{0a9b8c7d-6e5f-4a3b-8c1d-2e3f4a5b6c7d}\\";
inline constexpr char16_t kDiskGuid[] = u"{8E3B5A21-4C7D-4F9E-A1B2-C3D4E5F60718}";

inline std::optional<WmiError> Raised(const std::function<void()>& body) {
    try {
        body();
    } catch (const WmiError& e) {
        return e;
    }
    return std::nullopt;
}

inline std::string Utf8(const std::u16string& s) { return sim::ToUtf8(s); }

// Checks a raised error's step and code; `raised` is evaluated once.
#define EXPECT_WMI_ERROR(raised, stepText, codeValue)                          \
    do {                                                                      \
        std::optional<WmiError> e_ = (raised);                                \
        ASSERT_TRUE(e_.has_value()) << "no WmiError was raised";              \
        EXPECT_EQ(Utf8(e_->step), stepText);                                  \
        EXPECT_EQ(e_->code, static_cast<std::uint32_t>(codeValue));           \
    } while (0)

// Everything the program obtained from COM was given back and every initialisation balanced.
inline ::testing::AssertionResult ComIsClean(const sim::Machine& m) {
    if (m.com.Clean()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "live objects " << m.com.liveObjects.size() << ", BSTRs " << m.com.liveBstrs.size() << ", arrays "
           << m.com.liveArrays.size() << ", over-releases " << m.com.overReleases << ", init "
           << m.com.initializeCalls << " uninit " << m.com.uninitializeCalls;
}

struct WmiMachine {
    sim::Machine m;
    sim::UseMachine use{m};

    static constexpr std::uint64_t kDiskSize = 256 * kGiB;
    static constexpr std::uint64_t kWindowsStart = 101 * kMiB;
    static constexpr std::uint64_t kWindowsLength = 100 * kGiB;
    static constexpr std::uint64_t kWindowsUsed = 60 * kGiB;
    static constexpr std::uint64_t kDataStart = kWindowsStart + kWindowsLength;
    static constexpr std::uint64_t kDataLength = 120 * kGiB;
    static constexpr std::uint64_t kDataUsed = 20 * kGiB;
    static constexpr std::uint32_t kWindowsNumber = 2;
    static constexpr std::uint32_t kDataNumber = 3;

    WmiMachine() {
        sim::Disk& d = m.storage.AddDisk(0, kDiskSize);
        sim::WriteGpt(d.bytes, 512, sim::GuidFromText("8E3B5A21-4C7D-4F9E-A1B2-C3D4E5F60718"),
                      {{kMiB, 100 * kMiB, sim::gpt_type::EfiSystem, sim::GuidFromText("11111111-2222-3333-4444-555555555555"), 0, u"EFI"},
                       {kWindowsStart, kWindowsLength, sim::gpt_type::BasicData,
                        sim::GuidFromText("21111111-2222-3333-4444-555555555555"), 0, u"Windows"},
                       {kDataStart, kDataLength, sim::gpt_type::BasicData,
                        sim::GuidFromText("31111111-2222-3333-4444-555555555555"), 0, u"Data"}});
        sim::WriteNtfsBootSector(d.bytes, kWindowsStart, kWindowsLength, 512, 4096);
        sim::WriteNtfsBootSector(d.bytes, kDataStart, kDataLength, 512, 4096);
        AddVolume(kWindowsNumber, "6f1d2b8a-1c3e-4d5f-9a0b-1c2d3e4f5a6b", u"C:\\", kWindowsUsed);
        AddVolume(kDataNumber, "0a9b8c7d-6e5f-4a3b-8c1d-2e3f4a5b6c7d", u"D:\\", kDataUsed);
    }

    void AddVolume(std::uint32_t partition, const char* guid, const char16_t* mount, std::uint64_t used) {
        sim::Volume v;
        v.guid = sim::GuidFromText(guid);
        v.mountPoints = {mount};
        v.usedBytes = used;
        m.storage.AddVolumeOnPartition(0, partition, std::move(v));
    }

    // Makes the provider deliver `value` as the property of every instance of the class.
    void Deliver(const char16_t* cls, std::u16string name, sim::WmiValue value) {
        m.wmi.adjust[cls] = [name, value](sim::WmiInstance& i) { i.Set(name, value); };
    }

    static PartitionIdentity Windows() {
        PartitionIdentity id;
        id.diskNumber = 0;
        id.partitionNumber = kWindowsNumber;
        id.start = kWindowsStart;
        id.length = kWindowsLength;
        id.diskSize = kDiskSize;
        id.expectBoot = true;
        id.volumePath = kWindowsVolume;
        id.diskGuidText = kDiskGuid;
        id.driveLetter = u'C';
        return id;
    }

    static PartitionIdentity Data() {
        PartitionIdentity id = Windows();
        id.partitionNumber = kDataNumber;
        id.start = kDataStart;
        id.length = kDataLength;
        id.expectBoot = false;
        id.volumePath = kDataVolume;
        id.driveLetter = 0;
        return id;
    }
};

}  // namespace velta::testing
