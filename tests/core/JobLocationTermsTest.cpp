#include "core/CountryLocationService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace velmora;

namespace {

const std::vector<std::string> kWorldwide = {"worldwide",     "anywhere in the world", "anywhere worldwide",
                                             "work from anywhere", "global remote", "globally remote",
                                             "all countries"};

std::set<std::string> asSet(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }

bool has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

void expectLongestFirst(const std::vector<std::string>& terms) {
    // Character counts here are ASCII-only except for the typographic Côte d’Ivoire, checked separately.
    for (size_t i = 1; i < terms.size(); ++i)
        EXPECT_GE(terms[i - 1].size(), terms[i].size()) << terms[i - 1] << " before " << terms[i];
}

} // namespace

TEST(JobLocationTerms, GermanyGetsEuropePhrases) {
    auto terms = CountryLocationService::buildLocationTerms("de", "Germany");
    std::set<std::string> expected(kWorldwide.begin(), kWorldwide.end());
    expected.insert({"Germany", "Europe", "European Union", "EU only", "EMEA"});
    EXPECT_EQ(asSet(terms), expected);
    EXPECT_EQ(terms.size(), expected.size());
    expectLongestFirst(terms);
    EXPECT_EQ(terms.front(), "anywhere in the world");
    EXPECT_EQ(terms.back(), "EMEA");
}

TEST(JobLocationTerms, ShortAliasesAreDropped) {
    auto gb = CountryLocationService::buildLocationTerms("GB", "United Kingdom");
    EXPECT_TRUE(has(gb, "United Kingdom"));
    EXPECT_TRUE(has(gb, "U.K."));
    EXPECT_TRUE(has(gb, "Great Britain"));
    EXPECT_TRUE(has(gb, "Europe"));
    EXPECT_FALSE(has(gb, "UK"));
    EXPECT_EQ(std::count(gb.begin(), gb.end(), "United Kingdom"), 1); // name and alias once
    expectLongestFirst(gb);

    auto ae = CountryLocationService::buildLocationTerms("AE", "");
    EXPECT_TRUE(has(ae, "UAE"));
    EXPECT_TRUE(has(ae, "Middle East"));
}

TEST(JobLocationTerms, UnitedStatesAndMexico) {
    auto us = CountryLocationService::buildLocationTerms("US", "United States");
    for (const char* t : {"United States", "United States of America", "USA", "U.S.A.", "US only",
                          "United States only", "North America"})
        EXPECT_TRUE(has(us, t)) << t;
    EXPECT_EQ(us.size(), kWorldwide.size() + 7);
    EXPECT_FALSE(has(us, "Europe"));
    expectLongestFirst(us);

    auto mx = CountryLocationService::buildLocationTerms(" mx ", "México");
    EXPECT_TRUE(has(mx, "Latin America"));
    EXPECT_TRUE(has(mx, "LATAM"));
    EXPECT_TRUE(has(mx, "North America"));
    EXPECT_TRUE(has(mx, "México"));
}

TEST(JobLocationTerms, CountriesInSeveralRegionsCollectEach) {
    auto cy = CountryLocationService::buildLocationTerms("CY", "Cyprus");
    EXPECT_TRUE(has(cy, "Europe"));
    EXPECT_TRUE(has(cy, "Middle East"));
    EXPECT_EQ(std::count(cy.begin(), cy.end(), "EMEA"), 1);
    auto eg = CountryLocationService::buildLocationTerms("EG", "Egypt");
    EXPECT_TRUE(has(eg, "Africa"));
    EXPECT_TRUE(has(eg, "Middle East"));
}

TEST(JobLocationTerms, EmptyOrInvalidCodeLeavesWorldwideAndName) {
    EXPECT_EQ(asSet(CountryLocationService::buildLocationTerms("", "")), asSet(kWorldwide));
    EXPECT_EQ(asSet(CountryLocationService::buildLocationTerms("USA", "  ")), asSet(kWorldwide));
    auto named = CountryLocationService::buildLocationTerms("1x", "  Atlantis \n");
    EXPECT_TRUE(has(named, "Atlantis"));
    EXPECT_EQ(named.size(), kWorldwide.size() + 1);
    // A two-character country name is below the length filter.
    EXPECT_EQ(CountryLocationService::buildLocationTerms("", "Oz").size(), kWorldwide.size());
}

TEST(JobLocationTerms, LengthCountsCharactersNotBytes) {
    auto ci = CountryLocationService::buildLocationTerms("CI", "");
    EXPECT_TRUE(has(ci, "C\u00f4te d\u2019Ivoire"));
    EXPECT_TRUE(has(ci, "Cote d'Ivoire"));
    // Both spellings have 13 characters; the typographic one must not be sorted as longer.
    auto typographic = std::find(ci.begin(), ci.end(), "C\u00f4te d\u2019Ivoire");
    auto worldwide = std::find(ci.begin(), ci.end(), "anywhere worldwide"); // 18 characters
    EXPECT_LT(worldwide, typographic);
    EXPECT_TRUE(has(CountryLocationService::buildLocationTerms("", "Åre"), "Åre")); // 3 characters, 4 bytes
}

TEST(JobLocationTerms, ModesAndCodes) {
    EXPECT_EQ(CountryLocationService::normalizeMode(std::string(" US \n")), "us");
    EXPECT_EQ(CountryLocationService::normalizeMode(std::string("Home")), "home");
    EXPECT_EQ(CountryLocationService::normalizeMode(std::string("europe")), "worldwide");
    EXPECT_EQ(CountryLocationService::normalizeMode(std::nullopt), "worldwide");
    EXPECT_EQ(CountryLocationService::normalizeCountryCode(std::string("de")), "DE");
    EXPECT_EQ(CountryLocationService::normalizeCountryCode(std::string("deu")), "");
    EXPECT_EQ(CountryLocationService::normalizeCountryCode(std::string("d1")), "");
}
