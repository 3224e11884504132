#include "core/CountryLocationService.h"

#include "core/Text.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <set>

namespace velmora {

namespace {

struct Region {
    const char* codes; // ISO 3166-1 alpha-2, space-separated
    std::vector<std::string> phrases;
};

const std::vector<Region>& regions() {
    // Order matters only for which phrases come first before the length sort.
    static const std::vector<Region> table = {
        {"AL AD AT BY BE BA BG HR CY CZ DK EE FI FR DE GR HU IS IE IT XK LV LI LT LU MT MD MC ME NL MK NO PL PT RO RU "
         "SM RS SK SI ES SE CH UA GB VA",
         {"Europe", "European Union", "EU only", "EMEA"}},
        {"BH CY EG IR IQ IL JO KW LB OM PS QA SA SY TR AE YE", {"Middle East", "EMEA"}},
        {"DZ AO BJ BW BF BI CV CM CF TD KM CD CG CI DJ EG GQ ER SZ ET GA GM GH GN GW KE LS LR LY MG MW ML MR MU MA MZ "
         "NA NE NG RW ST SN SC SL SO ZA SS SD TZ TG TN UG ZM ZW",
         {"Africa", "EMEA"}},
        {"AF AU BD BT BN KH CN FJ HK IN ID JP KI KP KR LA MO MY MV MH FM MN MM NR NP NZ PK PW PG PH WS SG SB LK TW TH "
         "TL TO TV VU VN",
         {"APAC", "Asia Pacific", "Asia-Pacific"}},
        {"AR BO BR CL CO CR CU DO EC SV GT HT HN MX NI PA PY PE PR UY VE BZ GY SR GF GP MQ CW AW BQ",
         {"LATAM", "Latin America"}},
        {"US CA MX", {"North America"}},
    };
    return table;
}

const std::map<std::string, std::vector<std::string>>& aliases() {
    static const std::map<std::string, std::vector<std::string>> table = {
        {"US", {"United States", "United States of America", "USA", "U.S.A.", "US only", "United States only"}},
        {"GB", {"United Kingdom", "Great Britain", "Britain", "UK", "U.K."}},
        {"KR", {"South Korea", "Republic of Korea"}},
        {"KP", {"North Korea"}},
        {"CZ", {"Czechia", "Czech Republic"}},
        {"CI", {"Cote d'Ivoire", "C\u00f4te d\u2019Ivoire", "Ivory Coast"}},
        {"CV", {"Cabo Verde", "Cape Verde"}},
        {"BN", {"Brunei", "Brunei Darussalam"}},
        {"LA", {"Laos", "Lao PDR"}},
        {"MD", {"Moldova", "Republic of Moldova"}},
        {"RU", {"Russia", "Russian Federation"}},
        {"SY", {"Syria", "Syrian Arab Republic"}},
        {"TZ", {"Tanzania", "United Republic of Tanzania"}},
        {"VN", {"Vietnam", "Viet Nam"}},
        {"IR", {"Iran", "Islamic Republic of Iran"}},
        {"AE", {"United Arab Emirates", "UAE"}},
        {"TW", {"Taiwan"}},
        {"VE", {"Venezuela"}},
        {"BO", {"Bolivia"}},
    };
    return table;
}

const char* const kWorldwidePhrases[] = {"worldwide",     "anywhere in the world", "anywhere worldwide", "work from anywhere",
                                         "global remote", "globally remote",       "all countries"};

bool regionHolds(const Region& region, const std::string& code) {
    for (const auto& c : text::split(region.codes, ' '))
        if (c == code) return true;
    return false;
}

} // namespace

std::string CountryLocationService::normalizeMode(const std::optional<std::string>& value) {
    if (!value) return "worldwide";
    std::string mode = text::lower(text::trim(*value));
    if (mode == "us" || mode == "home") return mode;
    return "worldwide";
}

std::string CountryLocationService::normalizeCountryCode(const std::optional<std::string>& value) {
    if (!value) return "";
    std::string code = text::upper(text::trim(*value));
    if (text::characterCount(code) != 2) return "";
    auto u = icu::UnicodeString::fromUTF8(code);
    if (u.countChar32() != 2) return "";
    for (int32_t i = 0; i < u.length(); i = u.moveIndex32(i, 1)) {
        if (!u_isalpha(u.char32At(i))) return "";
    }
    return code;
}

std::vector<std::string> CountryLocationService::buildLocationTerms(const std::string& countryCode,
                                                                    const std::string& countryName) {
    const std::string code = normalizeCountryCode(countryCode);
    std::vector<std::string> terms;
    std::set<std::string> seen;
    auto add = [&](const std::string& phrase) {
        if (seen.insert(phrase).second) terms.push_back(phrase);
    };

    for (const char* phrase : kWorldwidePhrases) add(phrase);
    const std::string name = text::trim(countryName);
    if (!name.empty()) add(name);
    if (auto it = aliases().find(code); it != aliases().end())
        for (const auto& alias : it->second) add(alias);
    if (!code.empty()) {
        for (const auto& region : regions())
            if (regionHolds(region, code))
                for (const auto& phrase : region.phrases) add(phrase);
    }

    // Two-letter phrases ("UK", "EU") would hit inside unrelated words of a location text.
    std::erase_if(terms, [](const std::string& t) { return text::characterCount(t) < 3; });
    std::stable_sort(terms.begin(), terms.end(), [](const std::string& a, const std::string& b) {
        return text::characterCount(a) > text::characterCount(b);
    });
    return terms;
}

} // namespace velmora
