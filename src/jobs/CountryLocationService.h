#pragma once

#include <optional>
#include <string>

namespace velmora {

// Location preference handling: pure functions over constant tables.
class CountryLocationService {
public:
    // "us" and "home" stay; anything else (or nothing) is "worldwide".
    static std::string normalizeMode(const std::optional<std::string>& value);
    // Two letters, upper-cased, or the empty text.
    static std::string normalizeCountryCode(const std::optional<std::string>& value);
};

} // namespace velmora
