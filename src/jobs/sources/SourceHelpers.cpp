#include "jobs/sources/SourceHelpers.h"

#include "core/DateUtil.h"
#include "core/Text.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <set>

namespace velmora::source {

namespace {

std::string numberText(const json& v) {
    if (v.is_number_integer()) return std::to_string(v.get<int64_t>());
    if (v.is_number_unsigned()) return std::to_string(v.get<uint64_t>());
    double d = v.get<double>();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) return std::to_string(static_cast<int64_t>(d));
    return v.dump();
}

const text::Regex& spacePattern() {
    static const text::Regex r("\\s+");
    return r;
}
// Replaces each tag, "<" then at least one character other than "<" and ">" then ">", by a
// space. A tag cannot contain "<": besides matching what a reader sees as a tag ("a < b <i>x</i>"
// keeps "a < b"), this keeps the scan linear on text full of unclosed "<". Bytes of multi-byte
// UTF-8 characters are never '<' or '>', so scanning bytes finds the same tags as a regex
// would, without the trip through UTF-16 (a sync cleans every description).
std::string stripTags(const std::string& html) {
    std::string out;
    out.reserve(html.size());
    size_t i = 0;
    while (i < html.size()) {
        const size_t open = html.find('<', i);
        if (open == std::string::npos) break;
        out.append(html, i, open - i);
        const size_t stop = html.find_first_of("<>", open + 1);
        if (stop != std::string::npos && html[stop] == '>' && stop > open + 1) {
            out += ' ';
            i = stop + 1;
        } else {
            // No tag starts here; nor can one start before the next '<', so copy up to it.
            const size_t next = stop == std::string::npos ? html.size() : (html[stop] == '<' ? stop : stop + 1);
            out.append(html, open, next - open);
            i = next;
        }
    }
    out.append(html, i, std::string::npos);
    return out;
}

// What spacePattern().replaceAll(s, " ") gives for valid UTF-8: each run of White_Space
// characters (ICU's \s) becomes one space. Other text takes the regex road, which
// replaces ill-formed bytes the way it always has.
std::string collapseSpaces(const std::string& s) {
    if (!text::isValidUtf8(s)) return spacePattern().replaceAll(s, " ");
    std::string out;
    out.reserve(s.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    const int32_t length = static_cast<int32_t>(s.size());
    bool inSpace = false;
    for (int32_t i = 0; i < length;) {
        // Nearly every character of a listing is ASCII, whose White_Space is tab to CR and the
        // space; asking ICU for each of them was a tenth of a sync.
        if (bytes[i] < 0x80) {
            const uint8_t b = bytes[i++];
            if (b == ' ' || (b >= '\t' && b <= '\r')) {
                if (!inSpace) out += ' ';
                inSpace = true;
            } else {
                out += static_cast<char>(b);
                inSpace = false;
            }
            continue;
        }
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (u_hasBinaryProperty(c, UCHAR_WHITE_SPACE)) {
            if (!inSpace) out += ' ';
            inSpace = true;
        } else {
            out.append(s, static_cast<size_t>(start), static_cast<size_t>(i - start));
            inSpace = false;
        }
    }
    return out;
}

std::string codePointUtf8(uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    std::string out;
    icu::UnicodeString(static_cast<UChar32>(cp)).toUTF8String(out);
    return out;
}

// Seconds from 1970 of a calendar moment, checked by the program's strict parser.
std::optional<TimePoint> utcMoment(int y, int mo, int d, int h, int mi, int s, int millis) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", y, mo, d, h, mi, s, millis);
    return DateUtil::parse(buf);
}

int toInt(const std::optional<std::string>& s) { return s && !s->empty() ? std::stoi(*s) : 0; }

// "+05:30", "-0800", "Z", "GMT" to seconds east of UTC; nullopt for zones we cannot place.
std::optional<int> zoneOffsetSeconds(const std::optional<std::string>& zone) {
    if (!zone || zone->empty()) return 0;
    std::string z = text::upper(*zone);
    if (z == "Z" || z == "GMT" || z == "UT" || z == "UTC") return 0;
    static const std::pair<const char*, int> named[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                                        {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (auto& [name, hours] : named)
        if (z == name) return hours * 3600;
    if ((z[0] == '+' || z[0] == '-') && z.size() >= 5) {
        std::string digits;
        for (char c : z.substr(1))
            if (c != ':') digits.push_back(c);
        if (digits.size() != 4) return std::nullopt;
        int hh = std::stoi(digits.substr(0, 2)), mm = std::stoi(digits.substr(2, 2));
        int sign = z[0] == '-' ? -1 : 1;
        return sign * (hh * 3600 + mm * 60);
    }
    return std::nullopt;
}

} // namespace

const json* field(const json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

std::string string(const json* value, const std::string& fallback) {
    if (!value || value->is_null()) return fallback;
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number()) return numberText(*value);
    if (value->is_boolean()) return value->get<bool>() ? "true" : "false";
    return fallback;
}

std::string string(const json& object, const char* key, const std::string& fallback) {
    return string(field(object, key), fallback);
}

std::vector<std::string> stringArray(const json* value) {
    std::vector<std::string> out;
    if (!value) return out;
    if (value->is_array()) {
        for (const auto& element : *value) {
            std::string s = string(&element, "");
            if (!s.empty()) out.push_back(std::move(s));
        }
        return out;
    }
    std::string s = string(value, "");
    if (!s.empty()) out.push_back(std::move(s));
    return out;
}

std::vector<std::string> objectStringArray(const json* value, const char* name) {
    std::vector<std::string> out;
    if (!value || !value->is_array()) return out;
    for (const auto& element : *value) {
        const json* f = field(element, name);
        if (f && f->is_string() && !f->get<std::string>().empty()) out.push_back(f->get<std::string>());
    }
    return out;
}

int64_t integer(const json* value, int64_t fallback) {
    if (!value) return fallback;
    if (value->is_number_integer()) return value->get<int64_t>();
    if (value->is_number_unsigned()) {
        uint64_t u = value->get<uint64_t>();
        return u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? fallback : static_cast<int64_t>(u);
    }
    if (value->is_number_float()) {
        double d = value->get<double>();
        if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) return fallback;
        return static_cast<int64_t>(d);
    }
    if (value->is_string()) {
        static const text::Regex decimal("[+-]?[0-9]{1,18}");
        std::string s = text::trim(value->get<std::string>());
        if (decimal.fullMatch(s)) return std::stoll(s);
    }
    return fallback;
}

std::optional<TimePoint> date(const json* value) {
    if (!value) return std::nullopt;
    if (value->is_number()) {
        double n = value->get<double>();
        if (!std::isfinite(n) || n < 0 || n > 1.0e14) return std::nullopt;
        if (n > 10'000'000'000.0) n /= 1000.0;
        return DateUtil::fromUnixSeconds(n);
    }
    if (value->is_string()) return parseDate(value->get<std::string>());
    return std::nullopt;
}

std::optional<TimePoint> parseDate(std::string_view raw) {
    std::string s = text::trim(raw);
    if (s.empty()) return std::nullopt;
    if (auto strict = DateUtil::parse(s)) return strict;

    static const text::Regex iso(
        "([0-9]{4})-([0-9]{2})-([0-9]{2})[Tt ]([0-9]{2}):([0-9]{2})(?::([0-9]{2}))?(?:\\.([0-9]{1,9}))?"
        "\\s*(Z|z|[+-][0-9]{2}:?[0-9]{2}|UTC)?");
    static const text::Regex rfc822(
        "(?:[A-Za-z]{3},\\s*)?([0-9]{1,2})\\s+([A-Za-z]{3})[a-z]*\\s+([0-9]{2,4})\\s+([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?"
        "\\s*([A-Za-z]{1,3}|[+-][0-9]{4})?");
    try {
        if (auto m = iso.firstMatch(s); m && m->begin == 0 && m->end == s.size()) {
            const auto& g = m->groups;
            int millis = 0;
            if (g[7]) millis = std::stoi((*g[7] + "00").substr(0, 3));
            auto offset = zoneOffsetSeconds(g[8]);
            auto t = utcMoment(toInt(g[1]), toInt(g[2]), toInt(g[3]), toInt(g[4]), toInt(g[5]), toInt(g[6]), millis);
            if (!t || !offset) return std::nullopt;
            return *t - std::chrono::seconds(*offset);
        }
        if (auto m = rfc822.firstMatch(s); m && m->begin == 0 && m->end == s.size()) {
            const auto& g = m->groups;
            static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                           "jul", "aug", "sep", "oct", "nov", "dec"};
            std::string mon = text::lower(*g[2]);
            int month = 0;
            for (int i = 0; i < 12; ++i)
                if (mon == months[i]) month = i + 1;
            int year = toInt(g[3]);
            if (g[3]->size() == 2) year += year < 70 ? 2000 : 1900;
            auto offset = zoneOffsetSeconds(g[7]);
            if (month == 0 || !offset) return std::nullopt;
            auto t = utcMoment(year, month, toInt(g[1]), toInt(g[4]), toInt(g[5]), toInt(g[6]), 0);
            if (!t) return std::nullopt;
            return *t - std::chrono::seconds(*offset);
        }
    } catch (const std::exception&) {
        return std::nullopt; // a number too large for stoi: not a date we can read
    }
    return std::nullopt;
}

std::vector<std::string> queryTerms(const std::string& query) {
    static const text::Regex separators("[ ,;|]");
    std::vector<std::string> terms;
    for (auto& piece : separators.split(query))
        if (!piece.empty()) terms.push_back(text::lower(piece));
    return terms;
}

bool containsQuery(const std::string& text, const std::vector<std::string>& terms) {
    if (terms.empty()) return true;
    std::string haystack = text::lower(text);
    for (const auto& term : terms)
        if (text::contains(haystack, term)) return true;
    return false;
}

bool containsQuery(const std::string& text, const std::string& query) { return containsQuery(text, queryTerms(query)); }

bool isFresh(const std::optional<TimePoint>& published, TimePoint now) {
    if (!published) return true;
    // Compared as moments, not as a difference: a stored date near the clock's limits would
    // overflow the subtraction.
    return *published >= now - std::chrono::seconds(7'776'000);
}

bool looksLikeJobPosting(const std::string& title, const std::string& description) {
    std::string t = spacePattern().replaceAll(text::lower(text::trim(title)), " ");
    if (text::characterCount(t) <= 2) return false;
    for (const char* bad : {"jobs", "job", "job title", "how apply"})
        if (t == bad) return false;
    if (text::contains(t, "your job description")) return false;

    std::string d = text::trim(description);
    if (text::characterCount(d) < 80) return false;
    d = text::lower(d);
    for (const char* bad : {"lorem ipsum", "i am text block", "sorry, no results were found"})
        if (text::contains(d, bad)) return false;
    for (const char* good : {"responsibil", "requirement", "qualification", "experience", "candidate", "apply", "role",
                             "position", "employment", "full-time", "part-time", "salary", "benefit", "skills",
                             "job description", "join our team", "we are looking"})
        if (text::contains(d, good)) return true;
    return false;
}

namespace {

// The entity at `at` (which holds '&'): the named ones boards use, or a decimal or hexadecimal
// reference of one to eight digits, ended by ';'. Its length, 0 when there is none, and its text.
size_t entityAt(const std::string& input, size_t at, std::string& decoded) {
    static const std::pair<std::string_view, std::string_view> kNamed[] = {
        {"amp;", "&"}, {"lt;", "<"}, {"gt;", ">"}, {"quot;", "\""}, {"apos;", "'"},
        {"nbsp;", " "}, // a plain space, so it collapses with its neighbours
    };
    const std::string_view rest = std::string_view(input).substr(at + 1);
    for (const auto& [name, text] : kNamed)
        if (rest.substr(0, name.size()) == name) {
            decoded = text;
            return name.size() + 1;
        }
    if (rest.empty() || rest[0] != '#') return 0;
    const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
    const size_t first = hex ? 2 : 1;
    size_t end = first;
    while (end < rest.size() && end - first < 8 &&
           (hex ? std::isxdigit(static_cast<unsigned char>(rest[end])) : std::isdigit(static_cast<unsigned char>(rest[end]))))
        ++end;
    if (end == first || end >= rest.size() || rest[end] != ';') return 0;
    const uint64_t cp = std::stoull(std::string(rest.substr(first, end - first)), nullptr, hex ? 16 : 10);
    decoded = cp == 0xA0 ? std::string(" ") : codePointUtf8(cp > 0x10FFFF ? 0xFFFD : static_cast<uint32_t>(cp));
    return end + 2;
}

} // namespace

std::string decodeEntities(const std::string& input) {
    if (input.find('&') == std::string::npos) return input;
    std::string out;
    out.reserve(input.size());
    std::string decoded;
    size_t last = 0;
    for (size_t at = input.find('&'); at != std::string::npos; at = input.find('&', at)) {
        const size_t length = entityAt(input, at, decoded);
        if (length == 0) {
            ++at;
            continue;
        }
        out.append(input, last, at - last);
        out += decoded;
        at += length;
        last = at;
    }
    out.append(input, last, std::string::npos);
    return out;
}

std::string cleanHtmlText(const std::string& html) {
    std::string s = html.find('<') == std::string::npos ? html : stripTags(html);
    s = decodeEntities(s);
    s = collapseSpaces(s);
    return text::trim(s);
}

std::string cleanShortText(const std::string& value) {
    // Boards put markup in titles too ("<b>Lead</b> Product Manager"); the page shows text only.
    std::string s = decodeEntities(value.find('<') == std::string::npos ? value : stripTags(value));
    s = collapseSpaces(s);
    return text::trim(s);
}

std::string repairMojibake(const std::string& value) {
    // Only text that carries the tell-tale lead characters of double-decoded UTF-8 is tried.
    if (!text::contains(value, "\xC3") && !text::contains(value, "\xC2") && !text::contains(value, "\xC5") &&
        !text::contains(value, "\xE2\x80"))
        return value;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> conv(ucnv_open("windows-1252", &status), ucnv_close);
    if (U_FAILURE(status)) return value;
    ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return value;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(value);
    std::string bytes(static_cast<size_t>(u.length()) * 2 + 8, '\0');
    int32_t n = ucnv_fromUChars(conv.get(), bytes.data(), static_cast<int32_t>(bytes.size()), u.getBuffer(),
                                u.length(), &status);
    if (U_FAILURE(status)) return value; // a character outside Windows-1252: not mojibake
    bytes.resize(static_cast<size_t>(n));
    if (bytes == value || !text::isValidUtf8(bytes)) return value;
    return bytes;
}

std::string joinForSearch(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (auto p : parts) {
        if (!out.empty()) out += ' ';
        out.append(p);
    }
    return out;
}

std::string encodeQueryValue(std::string_view value) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::vector<std::string> distinct(std::vector<std::string> values) {
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (auto& v : values)
        if (seen.insert(v).second) out.push_back(std::move(v));
    return out;
}

} // namespace velmora::source
