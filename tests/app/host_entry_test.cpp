// The check target record: a new entry's values, the unit texts, and the threshold
// arithmetic at its edges.
#include <gtest/gtest.h>

#include <cstring>

#include "app/host_entry.h"

namespace {

TEST(HostEntry, ANewEntryIsQueriedOnPort50801WithTenPercent) {
    HostEntry entry = NewHostEntry();
    EXPECT_EQ(0u, entry.excluded);
    EXPECT_STREQ("", entry.host);
    EXPECT_EQ(50801, entry.port);
    EXPECT_STREQ("", entry.path);
    EXPECT_EQ(10u, entry.threshold);
    EXPECT_EQ(unsigned{UNIT_PERCENT}, entry.unit);
    EXPECT_STREQ("", entry.description);
}

TEST(ThresholdLimit, KiloMegaAndGigabytesAre64BitProducts) {
    EXPECT_EQ(10240u, ThresholdLimit(10, UNIT_KB));
    EXPECT_EQ(4294967295ull * 1048576u, ThresholdLimit(4294967295u, UNIT_MB));
    EXPECT_EQ(4294967296000000000ull, ThresholdLimit(4000000000u, UNIT_GB));
    EXPECT_EQ(4294967295ull << 30, ThresholdLimit(4294967295u, UNIT_GB));
}

TEST(ThresholdLimit, Unit7IsBytesShownWithB) {
    EXPECT_EQ(4000000000u, ThresholdLimit(4000000000u, 7));
    EXPECT_STREQ("B", UnitText(7));
    EXPECT_STREQ("B", UnitText(4294967295u));
    EXPECT_STREQ("GB", UnitText(UNIT_GB));
}

TEST(ThresholdLimit, APercentageIsTenthsOfAPerCentAsA32BitProduct) {
    EXPECT_EQ(100u, ThresholdLimit(10, UNIT_PERCENT));
    EXPECT_EQ(1000u, ThresholdLimit(100, UNIT_PERCENT));
    // Only a hand-edited list holds such a threshold; the product wraps at 32 bits.
    EXPECT_EQ(4u, ThresholdLimit(429496730u, UNIT_PERCENT));
}

TEST(MeasuredValue, FreeBytesOrTenthsOfAPerCentOfTheTotal) {
    EXPECT_EQ(123456789u, MeasuredValue(UNIT_GB, 123456789u, 1));
    EXPECT_EQ(123456789u, MeasuredValue(7, 123456789u, 0));
    EXPECT_EQ(500u, MeasuredValue(UNIT_PERCENT, 50, 100));
    EXPECT_EQ(333u, MeasuredValue(UNIT_PERCENT, 1, 3));  // truncated
    EXPECT_EQ(0u, MeasuredValue(UNIT_PERCENT, 5, 0));
}

TEST(MeasuredValue, HugeDisksDoNotOverflowTheProduct) {
    const uint64_t top = UINT64_MAX;
    EXPECT_EQ(1000u, MeasuredValue(UNIT_PERCENT, top, top));
    EXPECT_EQ(500u, MeasuredValue(UNIT_PERCENT, uint64_t{1} << 62, uint64_t{1} << 63));
    EXPECT_EQ(998u, MeasuredValue(UNIT_PERCENT, top / 1000 * 999, top));  // 998.99...
    // 17 EB free of 18 EB: free x 1000 is far beyond 64 bits.
    EXPECT_EQ(944u, MeasuredValue(UNIT_PERCENT, 17000000000000000000ull, 18000000000000000000ull));
    // More free than total, as a broken server might say: the largest value, not a wrap.
    EXPECT_EQ(top, MeasuredValue(UNIT_PERCENT, top, 1));
}

TEST(SameTarget, LocalhostIs127001AndEveryOtherFieldCounts) {
    auto row = [](const char* host, uint16_t port, const char* path, uint32_t threshold) {
        HostEntry entry = NewHostEntry();
        CopyField(entry.host, sizeof entry.host, host);
        entry.port = port;
        CopyField(entry.path, sizeof entry.path, path);
        entry.threshold = threshold;
        return entry;
    };
    const HostEntry first = row("127.0.0.1", 50801, "/", 10);
    const struct {
        HostEntry other;
        bool same;
    } cases[] = {
        {row("127.0.0.1", 50801, "/", 10), true},   {row("localhost", 50801, "/", 10), true},
        {row("LocalHost", 50801, "/", 10), true},   {row("localhost.", 50801, "/", 10), false},
        {row("localhos", 50801, "/", 10), false},   {row("::1", 50801, "/", 10), false},
        {row("localhost", 50802, "/", 10), false},  {row("localhost", 50801, "/srv", 10), false},
        {row("localhost", 50801, "/", 20), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.same, SameTarget(first, c.other)) << c.other.host << " " << c.other.path;
        EXPECT_EQ(c.same, SameTarget(c.other, first)) << c.other.host << " " << c.other.path;
    }
}

TEST(CopyField, CutsAtTheFieldSizeLessOneAndEndsWithANul) {
    char field[5];
    memset(field, 'x', sizeof field);
    CopyField(field, sizeof field, "abcdefg");
    EXPECT_STREQ("abcd", field);
    CopyField(field, sizeof field, "ab");
    EXPECT_STREQ("ab", field);
}

}  // namespace
