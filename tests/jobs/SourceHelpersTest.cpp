#include "core/DateUtil.h"
#include "core/Text.h"
#include "jobs/JobSourceEndpoints.h"
#include "jobs/sources/SourceHelpers.h"
#include "core/VelmoraError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;
using namespace velmora::source;
using nlohmann::json;

namespace {
std::string iso(const std::optional<TimePoint>& t) { return t ? DateUtil::withFractional(*t) : "none"; }
std::optional<TimePoint> dateOf(const json& v) { return date(&v); }
} // namespace

TEST(SourceHelpers, ReadsValuesOfEveryTypeTheBoardsSend) {
    json listing = json::parse(R"({"id": 118204, "sid": "1130221", "empty": "", "nul": null, "flag": true,
        "price": 12.5, "obj": {"a": 1}, "tags": ["a", null, 7, "", "b"], "one": "solo",
        "places": [{"name": "Germany"}, {"name": ""}, "Spain", {"slug": "x"}], "n": "  42 ", "bad": "4x2"})");
    EXPECT_EQ(string(listing, "id"), "118204");
    EXPECT_EQ(string(listing, "sid"), "1130221");
    EXPECT_EQ(string(listing, "empty", "fallback"), "");
    EXPECT_EQ(string(listing, "nul", "fallback"), "fallback");
    EXPECT_EQ(string(listing, "missing", "fallback"), "fallback");
    EXPECT_EQ(string(listing, "flag"), "true");
    EXPECT_EQ(string(listing, "price"), "12.5");
    EXPECT_EQ(string(listing, "obj", "fb"), "fb");
    EXPECT_EQ(stringArray(field(listing, "tags")), (std::vector<std::string>{"a", "7", "b"}));
    EXPECT_EQ(stringArray(field(listing, "one")), (std::vector<std::string>{"solo"}));
    EXPECT_TRUE(stringArray(field(listing, "empty")).empty());
    EXPECT_EQ(objectStringArray(field(listing, "places"), "name"), (std::vector<std::string>{"Germany"}));
    EXPECT_EQ(integer(field(listing, "n"), -1), 42);
    EXPECT_EQ(integer(field(listing, "bad"), -1), -1);
    EXPECT_EQ(integer(field(listing, "price"), -1), 12);
    EXPECT_EQ(integer(field(listing, "missing"), -1), -1);
}

TEST(SourceHelpers, ReadsEveryDateFormTheBoardsUse) {
    const std::string moment = "2026-12-05T09:30:00.000Z";
    EXPECT_EQ(iso(dateOf(json(1796463000))), moment);         // seconds
    EXPECT_EQ(iso(dateOf(json(1796463000000LL))), moment);     // milliseconds
    EXPECT_EQ(iso(dateOf(json(1796463000.0))), moment);
    EXPECT_EQ(iso(parseDate("2026-12-05T09:30:00Z")), moment);
    EXPECT_EQ(iso(parseDate("2026-12-05T09:30:00.000Z")), moment);
    EXPECT_EQ(iso(parseDate("2026-12-05T09:30:00")), moment);      // no zone: UTC
    EXPECT_EQ(iso(parseDate("2026-12-05 09:30:00")), moment);
    EXPECT_EQ(iso(parseDate("2026-12-05T09:30:00+00:00")), moment);
    EXPECT_EQ(iso(parseDate("2026-12-05T10:30:00+01:00")), moment);
    EXPECT_EQ(iso(parseDate("2026-12-05T04:00:00-0530")), moment);
    EXPECT_EQ(iso(parseDate("Sat, 05 Dec 2026 09:30:00 +0000")), moment);
    EXPECT_EQ(iso(parseDate("Sat, 05 Dec 2026 09:30:00 GMT")), moment);
    EXPECT_EQ(iso(parseDate("Sat, 05 Dec 2026 04:30:00 EST")), moment);
    for (const char* bad : {"", "not a date", "2026-13-05T09:30:00", "2026-02-30 10:00:00", "05 Foo 2026 10:00:00",
                            "2026-12-05", "1796463000"})
        EXPECT_EQ(iso(parseDate(bad)), "none") << bad;
    EXPECT_EQ(iso(dateOf(json(true))), "none");
    EXPECT_EQ(iso(dateOf(json(-5))), "none");
}

// Found by fuzzing: dates past the year 2262 overflowed the clock (undefined behaviour).
TEST(SourceHelpers, DatesBeyondTheClockRangeAreReadSafely) {
    EXPECT_EQ(iso(dateOf(json(9467100000))).substr(0, 5), "2262-"); // clamped, still "in the future"
    EXPECT_EQ(iso(dateOf(json(99999999999999.0))).substr(0, 5), "2262-");
    for (const char* bad : {"9999-12-31T23:59:59Z", "2270-01-01 00:00:00", "2262-04-11T23:00:00-9959",
                            "Fri, 31 Dec 9999 23:59:59 +0000"})
        EXPECT_EQ(iso(parseDate(bad)), "none") << bad;
}

TEST(SourceHelpers, FreshnessIsNinetyDaysInclusive) {
    TimePoint now = *DateUtil::parse("2026-12-06T12:00:00Z");
    EXPECT_TRUE(isFresh(std::nullopt, now));
    EXPECT_TRUE(isFresh(now - std::chrono::seconds(7'776'000), now));
    EXPECT_FALSE(isFresh(now - std::chrono::seconds(7'776'001), now));
    EXPECT_FALSE(isFresh(now - std::chrono::hours(24 * 91), now));
    // Dates at the ends of what the parser accepts (found by fuzzing: the difference overflowed).
    const auto earliest = DateUtil::parse("1677-12-03T08:00:00Z"), latest = DateUtil::parse("2262-03-01T00:00:00Z");
    ASSERT_TRUE(earliest && latest);
    EXPECT_FALSE(isFresh(earliest, now));
    EXPECT_TRUE(isFresh(latest, now));
}

TEST(SourceHelpers, QueryTermsMatchAnyTermIgnoringCase) {
    EXPECT_TRUE(containsQuery("anything", ""));
    EXPECT_TRUE(containsQuery("anything", " ,;| "));
    EXPECT_TRUE(containsQuery("Senior KOTLIN developer", "rust, kotlin"));
    EXPECT_TRUE(containsQuery("Straße und Ärger", "ärger"));
    EXPECT_FALSE(containsQuery("Senior Go developer", "rust;kotlin|swift"));
    EXPECT_EQ(queryTerms("Rust, Go;;SWIFT|x"), (std::vector<std::string>{"rust", "go", "swift", "x"}));
}

TEST(SourceHelpers, CleansHtmlAndDecodesEntitiesOnce) {
    EXPECT_EQ(cleanHtmlText("Salt &amp; pepper<br/>and\n\n  more"), "Salt & pepper and more");
    EXPECT_EQ(cleanHtmlText("<p>We&#39;re <b>hiring</b>&nbsp;now &#8211; &#x2014; &quot;x&quot;</p>"),
              "We're hiring now \u2013 \u2014 \"x\"");
    // An escaped entity decodes exactly once, so a literal "&lt;" in a post stays readable.
    EXPECT_EQ(decodeEntities("R&amp;amp;D &amp;lt;tag&amp;gt;"), "R&amp;D &lt;tag&gt;");
    EXPECT_EQ(decodeEntities("bad &#0; &#x110000; &#55296; &unknown; & done"), "bad \uFFFD \uFFFD \uFFFD &unknown; & done");
    EXPECT_EQ(cleanShortText("  Hollowbrook &amp; Sons \n"), "Hollowbrook & Sons");
    EXPECT_EQ(cleanShortText("<b>Lead</b> Product Manager <3 &lt;i&gt;"), "Lead Product Manager <3 <i>");
    EXPECT_EQ(cleanHtmlText("if a < b <i>then</i> c"), "if a < b then c");
    // Hostile markup: many unclosed tags must not take quadratic time.
    EXPECT_EQ(cleanHtmlText(std::string(200000, '<') + "x").size(), 200001u);
}

// The cleaner scans bytes instead of running the two regular expressions it replaced; on any
// text it must give what they gave.
TEST(SourceHelpers, CleaningMatchesTheTagAndSpaceExpressionsItReplaced) {
    const text::Regex tags("<[^<>]+>");
    const text::Regex spaces("\\s+");
    auto reference = [&](const std::string& html) {
        return text::trim(spaces.replaceAll(decodeEntities(tags.replaceAll(html, " ")), " "));
    };
    std::vector<std::string> samples = {
        "", "<", ">", "<>", "<<>>", "<a>", "a<b", "a<b>c<d", "<<b>>", "a <> b", "x<\n>y", "<p><br/></p>",
        "1 < 2 > 0", "<a href=\"x>y\">t</a>", "tail <open", "\xE2\x80\x83" "em\xC2\xA0space\xE3\x80\x80ideo",
        "vt\x0Bnel\xC2\x85ls\xE2\x80\xA8ps\xE2\x80\xA9zw\xE2\x80\x8Bj", " \t\r\n\f lead and trail \t ",
        "caf\xC3\xA9 <b>\xF0\x9F\x98\x80</b> &amp;&nbsp;&#8232;", "bad \xC3 byte <i>x</i>\x80 end"};
    // Short random mixes of the characters that matter.
    const std::vector<std::string> pieces = {"<", ">", "a", " ", "\n", "\xC2\xA0", "&lt;", "&nbsp;", "\xE2\x80\xA8",
                                             "\xC3\xA9", "\xFF"};
    uint32_t seed = 7;
    for (int n = 0; n < 2000; ++n) {
        std::string s;
        for (int k = 0; k < 12; ++k) {
            seed = seed * 1103515245u + 12345u;
            s += pieces[(seed >> 16) % pieces.size()];
        }
        samples.push_back(s);
    }
    for (const auto& sample : samples) EXPECT_EQ(cleanHtmlText(sample), reference(sample)) << sample;
}

TEST(SourceHelpers, RepairsDoubleDecodedTextOnly) {
    EXPECT_EQ(repairMojibake("We\u00e2\u20ac\u2122re hiring \u00e2\u20ac\u201c fast"), "We\u2019re hiring \u2013 fast");
    EXPECT_EQ(repairMojibake("Caf\u00c3\u00a9"), "Caf\u00e9");
    for (const char* fine : {"Café in São Paulo", "SÃO PAULO", "plain ascii", "We’re 🚀", "Ã"})
        EXPECT_EQ(repairMojibake(fine), fine);
}

TEST(SourceHelpers, PlaceholderFilter) {
    const std::string good = "We are looking for an engineer with five years of experience in distributed systems and APIs.";
    EXPECT_TRUE(looksLikeJobPosting("Backend Engineer", good));
    for (const char* title : {"Jobs", " JOB ", "Job  Title", "how apply", "QA", "Paste your job description here"})
        EXPECT_FALSE(looksLikeJobPosting(title, good)) << title;
    EXPECT_FALSE(looksLikeJobPosting("Engineer", std::string(79, 'x') + " "));
    EXPECT_FALSE(looksLikeJobPosting("Engineer", good + " Lorem Ipsum dolor."));
    EXPECT_FALSE(looksLikeJobPosting("Engineer", std::string(120, 'z')));
}

TEST(SourceHelpers, QueryValuesCannotBreakTheQueryString) {
    EXPECT_EQ(encodeQueryValue("C++ & Go=1#x"), "C%2B%2B%20%26%20Go%3D1%23x");
    EXPECT_EQ(encodeQueryValue("Développeur"), "D%C3%A9veloppeur");
    EXPECT_EQ(encodeQueryValue("a-b_c.d~e"), "a-b_c.d~e");
}

TEST(SourceEndpoints, DefaultsAreTheRealHttpsHostsAndAFileReplacesAnySubset) {
    JobSourceEndpoints defaults;
    EXPECT_EQ(defaults.arbeitnowUk, "https://www.arbeitnow.co.uk");
    EXPECT_EQ(defaults.remoteJobs, "https://remotejobs.org");

    auto e = JobSourceEndpoints::fromJsonText(R"({"himalayas": "http://127.0.0.1:8123/", "remoteOk": "http://127.0.0.1:9/ok"})");
    EXPECT_EQ(e.himalayas, "http://127.0.0.1:8123");
    EXPECT_EQ(e.remoteOk, "http://127.0.0.1:9/ok");
    EXPECT_EQ(e.jobicy, "https://jobicy.com");

    for (const char* bad : {R"({"remoteok": "http://x"})", R"({"jobicy": "ftp://x"})", R"({"jobicy": 5})", "[]", "nope"})
        EXPECT_THROW(JobSourceEndpoints::fromJsonText(bad), VelmoraError) << bad;

    velmora::testing::TempDir dir;
    velmora::testing::writeFile(dir / "endpoints.json", R"({"remotive": "http://127.0.0.1:1"})");
    ::setenv(JobSourceEndpoints::kEnvironmentVariable, (dir / "endpoints.json").c_str(), 1);
    EXPECT_EQ(JobSourceEndpoints::fromEnvironment().remotive, "http://127.0.0.1:1");
    ::setenv(JobSourceEndpoints::kEnvironmentVariable, (dir / "missing.json").c_str(), 1);
    EXPECT_THROW(JobSourceEndpoints::fromEnvironment(), VelmoraError);
    ::unsetenv(JobSourceEndpoints::kEnvironmentVariable);
    EXPECT_EQ(JobSourceEndpoints::fromEnvironment().remotive, "https://remotive.com");
}
