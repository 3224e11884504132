#pragma once

#include "core/Clock.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace velmora {

using json = nlohmann::json;

// Conversion of results into JSON-writable values and the lenient payload readers.
// Payload values are read with defaults: a missing or mistyped value never fails a request.
namespace JSONTools {

// Dates become ISO 8601 text with milliseconds in UTC.
json date(TimePoint t);
json clean(const json& value);

// Compact JSON text of a cleaned value. Fails with "Velmora generated a response that could
// not be encoded." when the value cannot be written (a non-finite number, for example).
// Invalid UTF-8 inside strings is replaced rather than failing the whole reply.
std::string string(const json& value);

// Text of a key: absent or null gives the default, a string itself, anything else its
// textual description (the number 5 gives "5").
std::string s(const json& object, const std::string& key, const std::string& fallback);
// Integer of a key: a number gives its integer part (outside the type's range: the default);
// a text must be an optional sign and decimal digits that fit; anything else the default.
int64_t i(const json& object, const std::string& key, int64_t fallback);
int64_t i64(const json& object, const std::string& key, int64_t fallback);
// A boolean itself, a number its truth value; anything else (the text "true" too) the default.
bool b(const json& object, const std::string& key, bool fallback);

// Parses a request body as the page sends it. Script strings may hold a lone surrogate (an
// emoji cut in half), which JSON.stringify writes as an escape no JSON parser accepts; such
// escapes become U+FFFD, so the request is still answered. Malformed text gives a discarded value.
json parseRequest(const std::string& text);

// The textual description used by s for a non-string value.
std::string describe(const json& value);

} // namespace JSONTools
} // namespace velmora
