#include "core/DateUtil.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono;

TEST(DateUtil, WritesMillisecondsInUtcAndReadsBothForms) {
    auto t = TimePoint(milliseconds(1769850300123)); // 2026-01-31T09:05:00.123Z
    EXPECT_EQ(DateUtil::withFractional(t), "2026-01-31T09:05:00.123Z");
    EXPECT_EQ(DateUtil::standard(t), "2026-01-31T09:05:00Z");
    EXPECT_EQ(DateUtil::withFractional(TimePoint(milliseconds(1769850300007))), "2026-01-31T09:05:00.007Z");
    EXPECT_EQ(DateUtil::withFractional(TimePoint(milliseconds(-1))), "1969-12-31T23:59:59.999Z"); // before the epoch

    EXPECT_EQ(DateUtil::parse("2026-01-31T09:05:00.123Z"), t);
    EXPECT_EQ(DateUtil::parse("2026-01-31T09:05:00Z"), TimePoint(milliseconds(1769850300000)));
    // Round trip through text is exact, which is what makes text ordering in SQL safe.
    auto later = t + milliseconds(7);
    EXPECT_EQ(DateUtil::parse(DateUtil::withFractional(later)), later);
    EXPECT_LT(DateUtil::withFractional(t), DateUtil::withFractional(later));
}

TEST(DateUtil, RejectsEmptyMalformedAndZonedText) {
    for (const char* bad : {"", "yesterday", "2026-01-31", "2026-01-31 09:05:00Z", "2026-13-01T00:00:00Z",
                            "2026-02-30T00:00:00Z", "2026-01-31T09:05:00+01:00", "2026-01-31T09:05:00.Z",
                            "2026-01-31T09:05:00.123Zjunk", "2026-01-31T24:00:00Z", "2026-01-31T23:60:00Z",
                            "1900-02-29T00:00:00Z", "2023-02-29T00:00:00Z"}) {
        EXPECT_FALSE(DateUtil::parse(bad).has_value()) << bad;
    }
    for (const char* good : {"2024-02-29T23:59:59Z", "2000-02-29T12:00:00Z", "2026-12-31T23:59:60Z"})
        EXPECT_TRUE(DateUtil::parse(good).has_value()) << good;
}

// Found by fuzzing the job sources: a listing dated in the year 2270 or 9999 overflowed the
// nanosecond clock. Such moments are no date when parsed, and clamped when sent as numbers.
TEST(DateUtil, MomentsBeyondTheClockRangeNeitherOverflowNorWrap) {
    EXPECT_FALSE(DateUtil::parse("9999-12-31T23:59:59.999Z").has_value());
    EXPECT_FALSE(DateUtil::parse("2270-01-01T00:00:00Z").has_value());
    EXPECT_FALSE(DateUtil::parse("1000-01-01T00:00:00Z").has_value());
    EXPECT_EQ(DateUtil::parse("2262-03-01T00:00:00Z"), TimePoint(seconds(9219744000)));

    TimePoint far = DateUtil::fromUnixSeconds(9467100000.0);
    EXPECT_EQ(DateUtil::withFractional(far).substr(0, 5), "2262-");
    EXPECT_GT(far, TimePoint(seconds(9219744000)));
    EXPECT_EQ(DateUtil::withFractional(DateUtil::fromUnixSeconds(-1.0e12)).substr(0, 5), "1677-");
    EXPECT_EQ(DateUtil::fromUnixSeconds(1769850300.5), TimePoint(milliseconds(1769850300500)));
}
