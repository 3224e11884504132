#include "jobs/CountryLocationService.h"

#include "core/Text.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace velmora {

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

} // namespace velmora
