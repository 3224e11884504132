#include "jobs/sources/SourceHelpers.h"
#include "core/DateUtil.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "jobs/JobSourceEndpoints.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;
using namespace velmora::source;
using nlohmann::json;

namespace {
std::string iso(const std::optional<TimePoint>& t) {
    return t ? DateUtil::withFractional(*t) : "none";
}
} // namespace

TEST(SourceHelpers, ReadsValuesOfEveryTypeTheBoardsSend) {
    json listing = json::parse(R"({"id": 118204, "nul": null, "flag": true, "price": 12.5, "obj": {"a": 1},
        "tags": ["a", null, 7, "", "b"], "places": [{"name": "Germany"}, {"name": ""}, "Spain"], "n": " 42 ",
        "bad": "4x2"})");
    const std::pair<const char*, const char*> strings[] = {
        {"id", "118204"}, {"nul", "fb"}, {"flag", "true"}, {"price", "12.5"}, {"obj", "fb"}};
    for (const auto& [key, value] : strings)
        EXPECT_EQ(string(listing, key, "fb"), value) << key;
    EXPECT_EQ(stringArray(field(listing, "tags")), (std::vector<std::string>{"a", "7", "b"}));
    EXPECT_EQ(objectStringArray(field(listing, "places"), "name"), (std::vector<std::string>{"Germany"}));
    for (const auto& [key, value] : {std::pair{"n", 42}, {"bad", -1}, {"price", 12}})
        EXPECT_EQ(integer(field(listing, key), -1), value) << key;
}

TEST(SourceHelpers, ReadsEveryDateFormTheBoardsUseWithinTheClockRangeAndKeepsNinetyDays) {
    const std::string moment = "2026-12-05T09:30:00.000Z";
    for (const json& number : {json(1796463000), json(1796463000000LL), json(1796463000.0)}) // seconds or ms
        EXPECT_EQ(iso(date(&number)), moment) << number;
    for (const char* text : {"2026-12-05T09:30:00", "2026-12-05 09:30:00", "2026-12-05T10:30:00+01:00",
                             "2026-12-05T04:00:00-0530", "Sat, 05 Dec 2026 09:30:00 +0000",
                             "Sat, 05 Dec 2026 04:30:00 EST"})
        EXPECT_EQ(iso(parseDate(text)), moment) << text;
    // Found by fuzzing: dates past the year 2262 overflowed the clock (undefined behaviour).
    for (const char* bad : {"2026-13-05T09:30:00", "2026-02-30 10:00:00", "05 Foo 2026 10:00:00", "2026-12-05",
                            "1796463000", "9999-12-31T23:59:59Z", "2270-01-01 00:00:00", "2262-04-11T23:00:00-9959",
                            "Fri, 31 Dec 9999 23:59:59 +0000"})
        EXPECT_EQ(iso(parseDate(bad)), "none") << bad;
    for (const json& bad : {json(true), json(-5)})
        EXPECT_EQ(iso(date(&bad)), "none") << bad;
    for (const json& huge : {json(9467100000), json(99999999999999.0)}) // clamped, still "in the future"
        EXPECT_EQ(iso(date(&huge)).substr(0, 5), "2262-") << huge;

    // Fresh for ninety days inclusive; dates at the ends of what the parser accepts must not
    // overflow the difference (found by fuzzing).
    const TimePoint now = *DateUtil::parse("2026-12-06T12:00:00Z");
    const std::pair<std::optional<TimePoint>, bool> fresh[] = {
        {std::nullopt, true}, {now - std::chrono::seconds(7'776'000), true},
        {now - std::chrono::seconds(7'776'001), false},
        {DateUtil::parse("1677-12-03T08:00:00Z"), false}, {DateUtil::parse("2262-03-01T00:00:00Z"), true}};
    for (const auto& [published, isFreshNow] : fresh)
        EXPECT_EQ(isFresh(published, now), isFreshNow) << iso(published);
}

// A listing is kept when it holds any of the search terms, whatever their case, and reads
// like a real posting rather than a board's placeholder.
TEST(SourceHelpers, ListingsKeptHoldAQueryTermAndLookLikePostings) {
    EXPECT_TRUE(containsQuery("anything", " ,;| "));
    EXPECT_TRUE(containsQuery("Straße und Ärger", "rust, ärger"));
    EXPECT_FALSE(containsQuery("Senior Go developer", "rust;kotlin|swift"));
    EXPECT_EQ(queryTerms("Rust, Go;;SWIFT|x"), (std::vector<std::string>{"rust", "go", "swift", "x"}));

    const std::string good =
        "We are looking for an engineer with five years of experience in distributed systems and APIs.";
    EXPECT_TRUE(looksLikeJobPosting("Backend Engineer", good));
    for (const char* title : {"Jobs", " JOB ", "Job  Title", "how apply", "QA", "Paste your job description here"})
        EXPECT_FALSE(looksLikeJobPosting(title, good)) << title;
    for (const std::string& text : {std::string(79, 'x') + " ", good + " Lorem Ipsum dolor.", std::string(120, 'z')})
        EXPECT_FALSE(looksLikeJobPosting("Engineer", text)) << text;
}

// An escaped entity decodes exactly once, so a literal "&lt;" in a post stays readable;
// mojibake is repaired only where the text really was decoded twice.
TEST(SourceHelpers, TextIsDecodedOnceRepairedAndEncoded) {
    using Transform = std::string (*)(const std::string&);
    const Transform encode = [](const std::string& s) { return encodeQueryValue(s); };
    // clang-format off
    const std::tuple<Transform, std::string, std::string> rows[] = {
        {decodeEntities, "R&amp;amp;D &amp;lt;tag&amp;gt;", "R&amp;D &lt;tag&gt;"},
        {decodeEntities, "bad &#0; &#x110000; &#55296; &unknown; & done &#123456789; &#x; &AMP; &amp &#X41;",
         "bad \uFFFD \uFFFD \uFFFD &unknown; & done &#123456789; &#x; &AMP; &amp A"},
        {decodeEntities, "&#39;&#8211;&#x2014;&quot;&apos;&nbsp;&#160;", "'\u2013\u2014\"'  "},
        {cleanShortText, "<b>Lead</b> Product Manager <3 &lt;i&gt;", "Lead Product Manager <3 <i>"},
        {repairMojibake, "We\u00e2\u20ac\u2122re hiring \u00e2\u20ac\u201c fast", "We\u2019re hiring \u2013 fast"},
        {repairMojibake, "Caf\u00c3\u00a9", "Caf\u00e9"},
        {repairMojibake, "Café in São Paulo", "Café in São Paulo"}, {repairMojibake, "SÃO PAULO", "SÃO PAULO"},
        {repairMojibake, "We’re 🚀", "We’re 🚀"}, {repairMojibake, "Ã", "Ã"},
        {encode, "C++ & Go=1#x", "C%2B%2B%20%26%20Go%3D1%23x"}, {encode, "Développeur", "D%C3%A9veloppeur"},
        {encode, "a-b_c.d~e", "a-b_c.d~e"},
    };
    // clang-format on
    for (const auto& [transform, given, expected] : rows)
        EXPECT_EQ(transform(given), expected) << given;
}

// The cleaner scans bytes instead of running the two regular expressions it replaced; on any
// mix of the characters that matter it must give what they gave, and many unclosed tags must
// not take quadratic time.
TEST(SourceHelpers, CleaningMatchesTheTagAndSpaceExpressionsItReplaced) {
    const text::Regex tags("<[^<>]+>"), spaces("\\s+");
    const std::vector<std::string> pieces = {"<", ">", "a", " ", "\t\r\n\f", "\x0B", "\xC2\xA0", "\xC2\x85", "&lt;",
                                             "&nbsp;", "&#8232;", "\xE2\x80\xA8", "\xE2\x80\x83", "\xE2\x80\x8B",
                                             "\xE3\x80\x80", "\xC3\xA9", "\xC3", "\xFF", "<b>", "\"x>y\""};
    uint32_t seed = 7;
    for (int n = 0; n < 1500; ++n) {
        std::string sample;
        for (int k = n % 13; k > 0; --k, seed = seed * 1103515245u + 12345u)
            sample += pieces[(seed >> 16) % pieces.size()];
        const std::string byRegex = spaces.replaceAll(decodeEntities(tags.replaceAll(sample, " ")), " ");
        EXPECT_EQ(cleanHtmlText(sample), text::trim(byRegex)) << sample;
    }
    EXPECT_EQ(cleanHtmlText(std::string(200000, '<') + "x").size(), 200001u);
}

// Reading the file the variable names is the bridge's to show (SyncSchedulerTest).
TEST(SourceEndpoints, AFileReplacesAnySubsetOfTheRealHttpsHosts) {
    auto e = JobSourceEndpoints::fromJsonText(
        R"({"himalayas": "http://127.0.0.1:8123/", "remoteOk": "http://127.0.0.1:9/ok"})");
    EXPECT_EQ(std::tuple(e.himalayas, e.remoteOk, e.jobicy, e.arbeitnowUk),
              std::tuple("http://127.0.0.1:8123", "http://127.0.0.1:9/ok", "https://jobicy.com",
                         "https://www.arbeitnow.co.uk"));
    for (const char* bad :
         {R"({"remoteok": "http://x"})", R"({"jobicy": "ftp://x"})", R"({"jobicy": 5})", "[]", "nope"})
        EXPECT_THROW(JobSourceEndpoints::fromJsonText(bad), VelmoraError) << bad;
    ::setenv(JobSourceEndpoints::kEnvironmentVariable, "/nonexistent/endpoints.json", 1);
    EXPECT_THROW(JobSourceEndpoints::fromEnvironment(), VelmoraError);
    ::unsetenv(JobSourceEndpoints::kEnvironmentVariable);
    EXPECT_EQ(JobSourceEndpoints::fromEnvironment().remotive, "https://remotive.com");
}
