#include "core/JSONTools.h"

#include "core/DateUtil.h"
#include "core/RequestLimits.h"
#include "core/VelmoraError.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora::JSONTools {

json date(TimePoint t) { return DateUtil::withFractional(t); }

json clean(const json& value) {
    switch (value.type()) {
    case json::value_t::discarded:
        return nullptr;
    case json::value_t::object: {
        json out = json::object();
        for (const auto& [k, v] : value.items()) out[k] = clean(v);
        return out;
    }
    case json::value_t::array: {
        json out = json::array();
        for (const auto& v : value) out.push_back(clean(v));
        return out;
    }
    case json::value_t::binary:
        return describe(value);
    default:
        return value;
    }
}

namespace {

bool writable(const json& v) {
    switch (v.type()) {
    case json::value_t::number_float:
        return std::isfinite(v.get<double>());
    case json::value_t::object:
        for (const auto& [k, x] : v.items())
            if (!writable(x)) return false;
        return true;
    case json::value_t::array:
        for (const auto& x : v)
            if (!writable(x)) return false;
        return true;
    case json::value_t::discarded:
    case json::value_t::binary:
        return false;
    default:
        return true;
    }
}

} // namespace

std::string string(const json& value) {
    json cleaned = clean(value);
    if (!writable(cleaned)) throw VelmoraError("Velmora generated a response that could not be encoded.");
    return cleaned.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string describe(const json& value) {
    switch (value.type()) {
    case json::value_t::string:
        return value.get<std::string>();
    case json::value_t::boolean:
        return value.get<bool>() ? "true" : "false";
    case json::value_t::number_integer:
        return std::to_string(value.get<int64_t>());
    case json::value_t::number_unsigned:
        return std::to_string(value.get<uint64_t>());
    case json::value_t::number_float: {
        double d = value.get<double>();
        // Whole numbers read as integers, as the page expects "6" rather than "6.0".
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) return std::to_string(static_cast<int64_t>(d));
        return value.dump();
    }
    case json::value_t::null:
        return "null";
    default:
        return value.dump(-1, ' ', false, json::error_handler_t::replace);
    }
}

std::string s(const json& object, const std::string& key, const std::string& fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return fallback;
    return describe(*it);
}

int64_t i64(const json& object, const std::string& key, int64_t fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    // is_number_integer() is also true for unsigned values, so unsigned goes first.
    if (it->is_number_unsigned()) {
        uint64_t u = it->get<uint64_t>();
        return u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? fallback : static_cast<int64_t>(u);
    }
    if (it->is_number_integer()) return it->get<int64_t>();
    if (it->is_number_float()) {
        double d = std::trunc(it->get<double>());
        // 2^63 itself does not fit; converting it would be undefined behaviour.
        if (!std::isfinite(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) return fallback;
        return static_cast<int64_t>(d);
    }
    std::string text = s(object, key, "");
    if (text.empty()) return fallback;
    size_t pos = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size()) return fallback;
    // Accumulate as a negative number so that INT64_MIN is representable.
    int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c < '0' || c > '9') return fallback;
        int digit = c - '0';
        if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) return fallback;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<int64_t>::min()) return fallback;
        value = -value;
    }
    return value;
}

int64_t i(const json& object, const std::string& key, int64_t fallback) { return i64(object, key, fallback); }

bool b(const json& object, const std::string& key, bool fallback) {
    if (!object.is_object()) return fallback;
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number_float()) return it->get<double>() != 0.0;
    if (it->is_number_unsigned()) return it->get<uint64_t>() != 0;
    if (it->is_number()) return it->get<int64_t>() != 0;
    return fallback;
}

namespace {

// The UTF-16 unit of a "\uXXXX" escape starting at text[at], or -1.
int escapedUnit(const std::string& text, size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
    int unit = 0;
    for (size_t i = at + 2; i < at + 6; ++i) {
        const char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

bool isHigh(int unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLow(int unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Replaces the escapes of unpaired surrogates with "\ufffd"; everything else is copied as it is.
// Every backslash starts an escape of two or six characters, so "\\ud800" (an escaped backslash
// and plain letters) is told apart from a real escape.
std::string withoutLoneSurrogates(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i++];
            continue;
        }
        const int unit = escapedUnit(text, i);
        if (unit < 0) {
            out.append(text, i, 2);
            i += 2;
        } else if (isHigh(unit) && isLow(escapedUnit(text, i + 6))) {
            out.append(text, i, 12);
            i += 12;
        } else {
            out.append(isHigh(unit) || isLow(unit) ? std::string("\\ufffd") : text.substr(i, 6));
            i += 6;
        }
    }
    return out;
}

} // namespace

size_t nestingDepth(const std::string& text, size_t stopAbove) {
    size_t depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > stopAbove) return deepest;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

json parseRequest(const std::string& text) {
    if (nestingDepth(text) > kMaxRequestDepth) return json(json::value_t::discarded);
    json body = json::parse(text, nullptr, false);
    if (!body.is_discarded() || text.find("\\u") == std::string::npos) return body;
    return json::parse(withoutLoneSurrogates(text), nullptr, false);
}

} // namespace velmora::JSONTools
