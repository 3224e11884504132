#include "core/Text.h"

#include "core/VelmoraError.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace velmora::text {
namespace {

icu::UnicodeString toU(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

// Byte offset in the UTF-8 text of a UTF-16 index in its UnicodeString conversion.
// Only exact for valid UTF-8; regex callers hand us their own text so that holds in practice.
class OffsetMap {
public:
    explicit OffsetMap(std::string_view s) {
        offsets_.reserve(s.size() + 1);
        int32_t i = 0;
        const auto len = static_cast<int32_t>(s.size());
        while (i < len) {
            int32_t start = i;
            UChar32 c;
            U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), i, len, c);
            if (c < 0) c = 0xFFFD;
            offsets_.push_back(static_cast<size_t>(start));
            if (c > 0xFFFF) offsets_.push_back(static_cast<size_t>(start));
        }
        offsets_.push_back(s.size());
    }
    size_t byteAt(int32_t u16) const {
        if (u16 < 0) return 0;
        auto idx = static_cast<size_t>(u16);
        return idx < offsets_.size() ? offsets_[idx] : offsets_.back();
    }

private:
    std::vector<size_t> offsets_;
};

} // namespace

std::string lower(std::string_view s) {
    auto u = toU(s);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string upper(std::string_view s) {
    auto u = toU(s);
    u.toUpper(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string trim(std::string_view s) {
    const auto len = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    int32_t begin = 0;
    while (begin < len) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(p, next, len, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        begin = next;
    }
    int32_t end = len;
    while (end > begin) {
        int32_t prev = end;
        UChar32 c;
        U8_PREV(p, 0, prev, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = prev;
    }
    return std::string(s.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin)));
}

bool isBlank(std::string_view s) { return trim(s).empty(); }

size_t characterCount(std::string_view s) {
    if (s.empty()) return 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    auto u = toU(s);
    if (U_FAILURE(status)) return static_cast<size_t>(u.countChar32());
    it->setText(u);
    size_t n = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) ++n;
    return n;
}

std::string prefixCharacters(std::string_view s, size_t n) {
    if (n == 0 || s.empty()) return {};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    auto u = toU(s);
    if (U_FAILURE(status)) return std::string(s);
    it->setText(u);
    int32_t cut = u.length();
    size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) {
        if (++count == n) {
            cut = p;
            break;
        }
    }
    return toUtf8(u.tempSubString(0, cut));
}

bool isValidUtf8(std::string_view s) {
    const auto len = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    int32_t i = 0;
    while (i < len) {
        UChar32 c;
        U8_NEXT(p, i, len, c);
        if (c < 0) return false;
    }
    return true;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool contains(std::string_view s, std::string_view needle) { return s.find(needle) != std::string_view::npos; }

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    if (from.empty()) return s;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

std::vector<std::string> split(std::string_view s, char sep, bool keepEmpty) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t pos = s.find(sep, start);
        auto piece = s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start);
        if (keepEmpty || !piece.empty()) out.emplace_back(piece);
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return out;
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += sep;
        out += parts[i];
    }
    return out;
}

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;

    std::unique_ptr<icu::RegexMatcher> matcher(const icu::UnicodeString& text) const {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(text, status));
        if (U_FAILURE(status)) throw VelmoraError(std::string("Regular expression failed: ") + u_errorName(status));
        return m;
    }
};

Regex::Regex(std::string_view pattern, uint32_t flags) : impl_(std::make_unique<Impl>()) {
    uint32_t icuFlags = 0;
    if (flags & CaseInsensitive) icuFlags |= UREGEX_CASE_INSENSITIVE;
    if (flags & Multiline) icuFlags |= UREGEX_MULTILINE;
    if (flags & DotAll) icuFlags |= UREGEX_DOTALL;
    UErrorCode status = U_ZERO_ERROR;
    UParseError pe;
    impl_->pattern.reset(icu::RegexPattern::compile(toU(pattern), icuFlags, pe, status));
    if (U_FAILURE(status) || !impl_->pattern)
        throw VelmoraError("Invalid regular expression: " + std::string(pattern) + " (" + u_errorName(status) + ")");
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(std::string_view text) const {
    auto u = toU(text);
    auto m = impl_->matcher(u);
    UErrorCode status = U_ZERO_ERROR;
    return m->find(0, status) && U_SUCCESS(status);
}

bool Regex::fullMatch(std::string_view text) const {
    auto u = toU(text);
    auto m = impl_->matcher(u);
    UErrorCode status = U_ZERO_ERROR;
    return m->matches(status) && U_SUCCESS(status);
}

std::optional<RegexMatch> Regex::firstMatch(std::string_view text) const {
    auto all = allMatches(text);
    // allMatches is cheap enough for our texts, but stop early for the common single case.
    if (all.empty()) return std::nullopt;
    return std::move(all.front());
}

std::vector<RegexMatch> Regex::allMatches(std::string_view text) const {
    auto u = toU(text);
    auto m = impl_->matcher(u);
    OffsetMap map(text);
    std::vector<RegexMatch> out;
    UErrorCode status = U_ZERO_ERROR;
    while (m->find(status) && U_SUCCESS(status)) {
        RegexMatch rm;
        const int32_t groups = m->groupCount();
        for (int32_t g = 0; g <= groups; ++g) {
            int32_t s = m->start(g, status);
            int32_t e = m->end(g, status);
            if (U_FAILURE(status) || s < 0) {
                status = U_ZERO_ERROR;
                rm.groups.emplace_back(std::nullopt);
                continue;
            }
            rm.groups.emplace_back(toUtf8(u.tempSubStringBetween(s, e)));
        }
        rm.begin = map.byteAt(m->start(status));
        rm.end = map.byteAt(m->end(status));
        out.push_back(std::move(rm));
    }
    return out;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
    auto u = toU(text);
    auto m = impl_->matcher(u);
    UErrorCode status = U_ZERO_ERROR;
    auto r = m->replaceAll(toU(replacement), status);
    if (U_FAILURE(status)) throw VelmoraError(std::string("Regular expression replacement failed: ") + u_errorName(status));
    return toUtf8(r);
}

std::string Regex::replaceFirst(std::string_view text, std::string_view replacement) const {
    auto u = toU(text);
    auto m = impl_->matcher(u);
    UErrorCode status = U_ZERO_ERROR;
    auto r = m->replaceFirst(toU(replacement), status);
    if (U_FAILURE(status)) throw VelmoraError(std::string("Regular expression replacement failed: ") + u_errorName(status));
    return toUtf8(r);
}

std::vector<std::string> Regex::split(std::string_view text) const {
    std::vector<std::string> out;
    size_t last = 0;
    for (const auto& m : allMatches(text)) {
        out.emplace_back(text.substr(last, m.begin - last));
        last = m.end;
    }
    out.emplace_back(text.substr(last));
    return out;
}

std::string regexEscape(std::string_view literal) {
    static const std::string_view special = "\\^$.|?*+()[]{}-/";
    std::string out;
    for (char c : literal) {
        if (special.find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

} // namespace velmora::text
