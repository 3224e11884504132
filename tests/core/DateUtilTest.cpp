#include "core/DateUtil.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono;

// Three digits always, before the epoch too: text order is time order, which SQL relies on.
TEST(DateUtil, WritesMillisecondsInUtcAndReadsBothForms) {
    const std::pair<int64_t, std::string> moments[] = {{1769850300123, "2026-01-31T09:05:00.123Z"},
                                                       {1769850300007, "2026-01-31T09:05:00.007Z"},
                                                       {-1, "1969-12-31T23:59:59.999Z"}};
    for (const auto& [ms, text] : moments) {
        EXPECT_EQ(DateUtil::withFractional(TimePoint(milliseconds(ms))), text);
        EXPECT_EQ(DateUtil::parse(text), TimePoint(milliseconds(ms))) << text;
    }
    EXPECT_EQ(DateUtil::standard(TimePoint(milliseconds(1769850300123))), "2026-01-31T09:05:00Z");
    EXPECT_EQ(DateUtil::parse("2026-01-31T09:05:00Z"), TimePoint(milliseconds(1769850300000)));
}

// The years 2270 and 9999 were found by fuzzing the job sources: they overflowed the nanosecond clock.
TEST(DateUtil, RejectsEmptyMalformedZonedAndUnholdableText) {
    for (const char* bad : {"", "2026-01-31", "2026-01-31 09:05:00Z", "2026-13-01T00:00:00Z", "2026-02-30T00:00:00Z",
                            "2026-01-31T09:05:00+01:00", "2026-01-31T09:05:00.Z", "2026-01-31T09:05:00.123Zjunk",
                            "2026-01-31T24:00:00Z", "2026-01-31T23:60:00Z", "1900-02-29T00:00:00Z",
                            "2270-01-01T00:00:00Z", "9999-12-31T23:59:59.999Z", "1000-01-01T00:00:00Z"})
        EXPECT_FALSE(DateUtil::parse(bad).has_value()) << bad;
    for (const char* good : {"2024-02-29T23:59:59Z", "2000-02-29T12:00:00Z", "2026-12-31T23:59:60Z"})
        EXPECT_TRUE(DateUtil::parse(good).has_value()) << good;
}

// Epoch seconds beyond what the clock holds are clamped, never wrapped (the late end is the
// job sources' test, where such dates arrive).
TEST(DateUtil, MomentsNearTheClockRangeNeitherOverflowNorWrap) {
    EXPECT_EQ(DateUtil::parse("2262-03-01T00:00:00Z"), TimePoint(seconds(9219744000)));
    EXPECT_EQ(DateUtil::withFractional(DateUtil::fromUnixSeconds(-1.0e12)).substr(0, 5), "1677-");
    EXPECT_EQ(DateUtil::fromUnixSeconds(1769850300.5), TimePoint(milliseconds(1769850300500)));
}
