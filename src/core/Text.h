#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::text {

// All Unicode-aware text handling goes through ICU; strings are UTF-8 everywhere.
// Invalid UTF-8 input is treated leniently (bad bytes become U+FFFD) so display helpers never throw.

std::string lower(std::string_view s);  // full case mapping, locale-independent
std::string upper(std::string_view s);
std::string trim(std::string_view s);   // Unicode white space and newlines at both ends
bool isBlank(std::string_view s);

// "User-perceived characters" are extended grapheme clusters: an emoji flag or an accented
// letter written with a combining mark counts once.
size_t characterCount(std::string_view s);
std::string prefixCharacters(std::string_view s, size_t n);

bool isValidUtf8(std::string_view s);

bool startsWith(std::string_view s, std::string_view prefix);
bool endsWith(std::string_view s, std::string_view suffix);
bool contains(std::string_view s, std::string_view needle);
std::string replaceAll(std::string s, std::string_view from, std::string_view to);
std::vector<std::string> split(std::string_view s, char sep, bool keepEmpty = false);
std::string join(const std::vector<std::string>& parts, std::string_view sep);

// One regex match: group 0 is the whole match; a group that did not take part is nullopt.
struct RegexMatch {
    std::vector<std::optional<std::string>> groups;
    size_t begin = 0; // byte offsets into the searched UTF-8 text
    size_t end = 0;
    const std::string& str() const { return *groups[0]; }
};

// A compiled ICU regular expression (ICU syntax: look-behind, (?i), \b, (?m) ...).
// Compiled once, safe to share between threads: every search uses its own matcher.
class Regex {
public:
    enum Flags : uint32_t {
        None = 0,
        CaseInsensitive = 1u << 0,
        Multiline = 1u << 1,
        DotAll = 1u << 2,
    };

    explicit Regex(std::string_view pattern, uint32_t flags = None); // throws VelmoraError on a bad pattern
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;

    bool search(std::string_view text) const;
    bool fullMatch(std::string_view text) const;
    std::optional<RegexMatch> firstMatch(std::string_view text) const;
    std::vector<RegexMatch> allMatches(std::string_view text) const;
    // Replacement uses ICU syntax: $1 for a group, \$ for a literal dollar.
    std::string replaceAll(std::string_view text, std::string_view replacement) const;
    std::string replaceFirst(std::string_view text, std::string_view replacement) const;
    // Pieces between matches (like NSRegularExpression-based splitting), empty pieces kept.
    std::vector<std::string> split(std::string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Escapes a literal for use inside a pattern.
std::string regexEscape(std::string_view literal);

} // namespace velmora::text
