#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/inspect/amounts.h"
#include "sim/core/text.h"

namespace velta {
namespace {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;

TEST(FormatGigabytes, RoundsToHundredthsAndDropsTrailingZeros) {
    struct Case {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 GB"},
        {1073741823, "1 GB"},
        {1610612736, "1.5 GB"},
        {1084479242, "1.01 GB"},
        {2142114938, "1.99 GB"},
        {2142114939, "2 GB"},
        {500107862016, "465.76 GB"},
        {1047527424, "0.98 GB"},
        {GiB / 20, "0.05 GB"},
        {85899341824, "80 GB"},
        {47459388620, "44.2 GB"},
        {~0ull, "17179869184 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::ToUtf8(FormatGigabytes(c.bytes)), c.text) << "bytes " << c.bytes;
}

TEST(ParseMebibytes, AcceptsOnlyPositiveAsciiDecimalBelowTheLimit) {
    struct Case {
        std::u16string text;
        bool ok;
        std::uint64_t bytes;
    } cases[] = {
        {u"1", true, MiB},
        {u"0001", true, MiB},
        {u"17592186044415", true, 17592186044415ull * MiB},
        {u"17592186044416", false, 0},
        {u"99999999999999999999999", false, 0},
        {u"0", false, 0},
        {u"000", false, 0},
        {u"+1", false, 0},
        {u"-5", false, 0},
        {u"1.0", false, 0},
        {u"1.5", false, 0},
        {u"1 ", false, 0},
        {u" 1", false, 0},
        {u"", false, 0},
        {u"１", false, 0},  // a full-width digit
        {u"1e3", false, 0},
    };
    for (const auto& c : cases) {
        ParsedAmount r = ParseMebibytes(c.text);
        EXPECT_EQ(r.ok, c.ok) << sim::ToUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(r.bytes, c.bytes) << sim::ToUtf8(c.text);
        }
    }
}

TEST(IsAmountValid, RequiresAWholeMebibyteWithinTheMaximumWithoutOverflow) {
    struct Case {
        std::uint64_t amount, maximum, current;
        bool valid;
    } cases[] = {
        {0, 10 * GiB, GiB, false},
        {1, 10 * GiB, GiB, false},
        {10 * GiB, 10 * GiB, GiB, true},
        {10 * GiB + MiB, 10 * GiB, GiB, false},
        {MiB, 10 * GiB, 0, true},
        {MiB, 0, GiB, false},
        {MiB, 10 * GiB, ~0ull - (1ull << 19) + 1, false},  // current = 2^64 - 2^19
        {MiB, 10 * GiB, ~0ull - MiB, true},                // amount + current = 2^64 - 1
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsAmountValid(c.amount, c.maximum, c.current), c.valid)
            << c.amount << " " << c.maximum << " " << c.current;
}

TEST(IsAmountAcceptable, LowerBoundIsTheUnallocatedIncrease) {
    EXPECT_FALSE(IsAmountAcceptable(5 * GiB, 10 * GiB, 20 * GiB, 100 * GiB));
    EXPECT_TRUE(IsAmountAcceptable(10 * GiB, 10 * GiB, 20 * GiB, 100 * GiB));
    EXPECT_TRUE(IsAmountAcceptable(20 * GiB, 10 * GiB, 20 * GiB, 100 * GiB));
    EXPECT_FALSE(IsAmountAcceptable(20 * GiB + MiB, 10 * GiB, 20 * GiB, 100 * GiB));
    // Only the unallocated increase: exactly one amount passes.
    EXPECT_TRUE(IsAmountAcceptable(10 * GiB, 10 * GiB, 10 * GiB, 100 * GiB));
    EXPECT_FALSE(IsAmountAcceptable(10 * GiB - MiB, 10 * GiB, 10 * GiB, 100 * GiB));
}

TEST(GrowthFromUnallocated, BoundedByGapAndSupportedMaximum) {
    struct Case {
        std::uint64_t gap, current, maximum;
        bool exception;
        std::uint64_t growth;
    } cases[] = {
        {10 * GiB + 512 * 1024, 100 * GiB, 120 * GiB, false, 10 * GiB},
        {10 * GiB + 512 * 1024, 100 * GiB, 103 * GiB + 5, false, 3 * GiB},
        {10 * GiB, 100 * GiB, 100 * GiB, false, 0},
        {10 * GiB, 100 * GiB, 100 * GiB, true, 10 * GiB},
        {10 * GiB + 5, 100 * GiB, 100 * GiB, true, 10 * GiB},
        {10 * GiB, 100 * GiB, 99 * GiB, false, 0},
        {10 * GiB, 100 * GiB, 99 * GiB, true, 0},
        {512 * 1024, 100 * GiB, 200 * GiB, false, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GrowthFromUnallocated(c.gap, c.current, c.maximum, c.exception), c.growth)
            << c.gap << " " << c.current << " " << c.maximum << " " << c.exception;
}

TEST(RoundDownToMebibyte, ClearsTheLowTwentyBits) {
    EXPECT_EQ(RoundDownToMebibyte(0), 0u);
    EXPECT_EQ(RoundDownToMebibyte(MiB - 1), 0u);
    EXPECT_EQ(RoundDownToMebibyte(3 * MiB + 7), 3 * MiB);
    EXPECT_EQ(RoundDownToMebibyte(~0ull), ~0ull - (MiB - 1));
}

}  // namespace
}  // namespace velta
