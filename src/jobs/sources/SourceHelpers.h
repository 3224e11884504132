#pragma once

#include "core/Clock.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Readers and filters shared by the job source adapters. The services disagree on types
// (ids as numbers or text, dates as seconds, milliseconds or several text forms), so every
// field goes through one of these lenient readers instead of a typed get.
namespace velmora::source {

using json = nlohmann::json;

// Absent or null: fallback; a string: itself (even empty); a number or boolean: its text.
// Objects and arrays count as absent.
std::string string(const json* value, const std::string& fallback = "");
std::string string(const json& object, const char* key, const std::string& fallback = "");
// Each element read like string() with an empty fallback, empties dropped; a single scalar
// becomes a one-element list when not empty.
std::vector<std::string> stringArray(const json* value);
// The non-empty string `field` of each object of an array.
std::vector<std::string> objectStringArray(const json* value, const char* field);
// A number (integer part), or decimal text; otherwise fallback.
int64_t integer(const json* value, int64_t fallback);
// Numbers are Unix seconds, or milliseconds above 10,000,000,000; text goes through parseDate.
std::optional<TimePoint> date(const json* value);

// The program's own timestamps, and the forms the services really send: ISO 8601 with or
// without a zone or offset (no zone means UTC), with a space instead of the "T", and the
// RFC 822 dates of RSS. Anything else is no date.
std::optional<TimePoint> parseDate(std::string_view text);

// The value of a key, or nullptr when the key is absent or the value is null or the
// container is not an object.
const json* field(const json& object, const char* key);

// Query terms: the query split at spaces, commas, semicolons and vertical bars, lower-cased.
std::vector<std::string> queryTerms(const std::string& query);
// True when there are no terms or any term occurs in the text, ignoring case.
bool containsQuery(const std::string& text, const std::vector<std::string>& terms);
bool containsQuery(const std::string& text, const std::string& query);

// No date, or published at most 90 days before now.
bool isFresh(const std::optional<TimePoint>& published, TimePoint now);

// Rejects placeholder and test postings that some boards carry.
bool looksLikeJobPosting(const std::string& title, const std::string& description);

// HTML to one line of plain text: tags become spaces, entities are decoded once, runs of
// white space collapse, ends are trimmed.
std::string cleanHtmlText(const std::string& html);
// Decodes &amp; &lt; &gt; &quot; &#39; &nbsp; and numeric references, in one pass (so an
// escaped entity decodes exactly once). Invalid numeric references become U+FFFD.
std::string decodeEntities(const std::string& text);
// A short field (title, company, tag): tags removed, entities decoded, white space collapsed
// and trimmed.
std::string cleanShortText(const std::string& text);
// Repairs UTF-8 that was once decoded as Windows-1252 ("â€™" for "’"), when the whole text
// converts back cleanly; any other text is returned unchanged.
std::string repairMojibake(const std::string& text);

// The search terms joined for the local filter.
std::string joinForSearch(std::initializer_list<std::string_view> parts);

// Percent-encodes a query value: everything but unreserved characters is escaped, so
// "&", "=", "+" and "#" inside a search cannot break the query string.
std::string encodeQueryValue(std::string_view value);

// Keeps the first occurrence of each entry, in order.
std::vector<std::string> distinct(std::vector<std::string> values);

} // namespace velmora::source
