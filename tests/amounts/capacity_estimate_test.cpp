#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "app/inspect/capacity_estimate.h"

namespace velta {
namespace {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;
constexpr std::uint64_t kMax = ~0ull;

TEST(EstimatedCapacity, AddsOnlyAnNtfsSizeThatFitsItsPartitionAndNeverWraps) {
    struct Case {
        const char* name;
        std::uint64_t amount, volume, partition;
        std::optional<std::uint64_t> capacity;
    } cases[] = {
        {"the usual case", 10 * GiB, 60 * GiB - 4096, 60 * GiB, 70 * GiB - 4096},
        {"NTFS exactly as large as the partition", MiB, 60 * GiB, 60 * GiB, 60 * GiB + MiB},
        {"NTFS one byte larger than the partition", MiB, 60 * GiB + 1, 60 * GiB, std::nullopt},
        {"NTFS size near 2^64 on a small partition", MiB, kMax - 4095, 60 * GiB, std::nullopt},
        {"sum exactly 2^64 - 1", kMax - (kMax - MiB), kMax - MiB, kMax, kMax},
        {"sum one past 2^64 - 1", kMax - (kMax - MiB) + 1, kMax - MiB, kMax, std::nullopt},
        // (2^44 - 1) MiB, the largest amount the command line reads: its sum with any real
        // volume size wraps.
        {"largest amount the command line reads", ((1ull << 44) - 1) * MiB, 60 * GiB, 60 * GiB, std::nullopt},
        {"largest amount on an empty volume", ((1ull << 44) - 1) * MiB, 0, 60 * GiB, ((1ull << 44) - 1) * MiB},
        {"not NTFS", MiB, 0, 60 * GiB, MiB},
    };
    for (const auto& c : cases) EXPECT_EQ(EstimatedCapacity(c.amount, c.volume, c.partition), c.capacity) << c.name;
}

}  // namespace
}  // namespace velta
