#include "core/CountryLocationService.h"
#include "core/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace velmora;

namespace {

const std::vector<std::string> kWorldwide = {"worldwide",     "anywhere in the world", "anywhere worldwide",
                                             "work from anywhere", "global remote", "globally remote",
                                             "all countries"};

} // namespace

TEST(JobLocationTerms, CountriesCollectTheirNamesAliasesAndRegions) {
    struct Row {
        const char *code, *name;
        std::vector<std::string> present, absent;
        size_t extra = 0; // terms beside the worldwide phrases; 0 = not checked
    };
    const Row rows[] = {
        {"de", "Germany", {"Germany", "Europe", "European Union", "EU only", "EMEA"}, {}, 5},
        // Short aliases ("UK") are dropped; a name that is also an alias appears once.
        {"GB", "United Kingdom", {"United Kingdom", "U.K.", "Great Britain", "Europe"}, {"UK"}},
        {"AE", "", {"UAE", "Middle East"}, {}},
        {"US", "United States",
         {"United States", "United States of America", "USA", "U.S.A.", "US only", "United States only", "North America"},
         {"Europe"}, 7},
        {" mx ", "México", {"Latin America", "LATAM", "North America", "México"}, {}},
        // Countries in several regions collect each, with shared phrases once.
        {"CY", "Cyprus", {"Europe", "Middle East", "EMEA"}, {}},
        // Both spellings have 13 characters; the typographic one must not be sorted as longer.
        {"CI", "", {"Cote d'Ivoire", "C\u00f4te d\u2019Ivoire"}, {}},
        // No or an invalid code leaves the worldwide phrases and the typed name (of 3+ characters).
        {"", "", {}, {}, 0},
        {"1x", "  Atlantis \n", {"Atlantis"}, {}, 1},
        {"", "Oz", {}, {"Oz"}},
        {"", "Åre", {"Åre"}, {}, 1}, // 3 characters, 4 bytes
        {"USA", "  ", {}, {"United States"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.code) + "/" + row.name);
        auto terms = CountryLocationService::buildLocationTerms(row.code, row.name);
        for (const auto& w : kWorldwide) EXPECT_EQ(std::ranges::count(terms, w), 1) << w;
        for (const auto& t : row.present) EXPECT_EQ(std::ranges::count(terms, t), 1) << t;
        for (const auto& t : row.absent) EXPECT_EQ(std::ranges::count(terms, t), 0) << t;
        if (row.extra || !*row.code) {
            EXPECT_EQ(terms.size(), kWorldwide.size() + row.extra);
        }
        EXPECT_EQ(std::set<std::string>(terms.begin(), terms.end()).size(), terms.size());
        for (size_t i = 1; i < terms.size(); ++i) // longest first, in characters
            EXPECT_GE(text::characterCount(terms[i - 1]), text::characterCount(terms[i])) << terms[i];
    }
}

TEST(JobLocationTerms, ModesAndCodes) {
    const std::pair<std::optional<std::string>, std::string> modes[] = {
        {" US \n", "us"}, {"Home", "home"}, {"europe", "worldwide"}, {std::nullopt, "worldwide"}};
    for (const auto& [in, out] : modes) EXPECT_EQ(CountryLocationService::normalizeMode(in), out) << in.value_or("none");
    for (const auto& [in, out] : {std::pair{"de", "DE"}, std::pair{"deu", ""}, std::pair{"d1", ""}})
        EXPECT_EQ(CountryLocationService::normalizeCountryCode(std::string(in)), out) << in;
}
