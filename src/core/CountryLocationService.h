#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Location preference handling: pure functions over constant tables.
class CountryLocationService {
public:
    // "us" and "home" stay; anything else (or nothing) is "worldwide".
    static std::string normalizeMode(const std::optional<std::string>& value);
    // Two letters, upper-cased, or the empty text.
    static std::string normalizeCountryCode(const std::optional<std::string>& value);
    // The phrases one of which a listing's location must contain (compared lower-cased) to be
    // shown for this country: the worldwide phrases, the country name, its aliases and its
    // regions' phrases; phrases under 3 characters dropped; longest first.
    static std::vector<std::string> buildLocationTerms(const std::string& countryCode,
                                                       const std::string& countryName);
};

} // namespace velmora
