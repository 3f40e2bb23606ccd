// A simulated PC for the storage management queries: one GPT disk with the Windows
// partition (C:) and a data partition (D:) after it, as the storage provider reports them.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/inspect/layout_model.h"
#include "app/wmi/partition_identity.h"
#include "sim/machine.h"
#include "sim/text.h"

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
    static constexpr std::uint64_t kDataStart = kWindowsStart + kWindowsLength;
    static constexpr std::uint64_t kDataLength = 120 * kGiB;
    static constexpr std::uint64_t kDataUsed = 20 * kGiB;

    WmiMachine() {
        m.wmi.disks.push_back({0, true, kDiskSize, kDiskGuid, 0, false, false});
        sim::WmiPartitionFacts windows;
        windows.diskNumber = 0;
        windows.number = 3;
        windows.offset = kWindowsStart;
        windows.size = kWindowsLength;
        windows.accessPaths = {u"C:\\", kWindowsVolume};
        windows.isBoot = true;
        windows.driveLetter = u'C';
        windows.usedBytes = 60 * kGiB;
        m.wmi.partitions.push_back(windows);
        sim::WmiPartitionFacts data;
        data.diskNumber = 0;
        data.number = 4;
        data.offset = kDataStart;
        data.size = kDataLength;
        data.accessPaths = {u"D:\\", kDataVolume};
        data.driveLetter = u'D';
        data.usedBytes = kDataUsed;
        data.spaceAfter = kDiskSize - kDataStart - kDataLength - kMiB;
        m.wmi.partitions.push_back(data);
    }

    static PartitionIdentity Windows() {
        PartitionIdentity id;
        id.diskNumber = 0;
        id.partitionNumber = 3;
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
        id.partitionNumber = 4;
        id.start = kDataStart;
        id.length = kDataLength;
        id.expectBoot = false;
        id.volumePath = kDataVolume;
        id.driveLetter = 0;
        return id;
    }
};

}  // namespace velta::testing
