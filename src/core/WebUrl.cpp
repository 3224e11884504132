#include "core/WebUrl.h"

#include "core/Text.h"

#include <unicode/uidna.h>

#include <memory>
#include <vector>

namespace velmora {

namespace {

bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    c = asciiLower(c);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// Bytes the engine would percent-encode in one component: controls, space, non-ASCII and `extra`.
std::string encode(std::string_view s, std::string_view extra) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7F || extra.find(char(c)) != std::string_view::npos) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct UidnaCloser {
    void operator()(UIDNA* idna) const { uidna_close(idna); }
};

// UTS #46 as browsers apply it: non-transitional, bidi and joiner rules checked, hyphen
// placement and DNS lengths not checked.
std::optional<std::string> domainToAscii(const std::string& domain) {
    UErrorCode status = U_ZERO_ERROR;
    static const std::unique_ptr<UIDNA, UidnaCloser> idna(uidna_openUTS46(
        UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE,
        &status));
    if (!idna || U_FAILURE(status)) return std::nullopt;
    std::vector<char> out(domain.size() * 4 + 64);
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    int32_t length = uidna_nameToASCII_UTF8(idna.get(), domain.data(), int32_t(domain.size()), out.data(),
                                            int32_t(out.size()), &info, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        info = UIDNA_INFO_INITIALIZER;
        out.resize(size_t(length) + 1);
        length = uidna_nameToASCII_UTF8(idna.get(), domain.data(), int32_t(domain.size()), out.data(),
                                        int32_t(out.size()), &info, &status);
    }
    const uint32_t ignored = UIDNA_ERROR_LEADING_HYPHEN | UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4 |
                             UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG | UIDNA_ERROR_DOMAIN_NAME_TOO_LONG;
    if (U_FAILURE(status) || (info.errors & ~ignored) != 0) return std::nullopt;
    return std::string(out.data(), size_t(length));
}

// One part of a numeric IPv4 host ("0x7f", "0177", "127"); nullopt when it is not a number.
std::optional<uint64_t> ipv4Number(std::string_view part) {
    int base = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        base = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        base = 8;
        part.remove_prefix(1);
    }
    uint64_t value = 0;
    for (char c : part) {
        int digit = hexValue(c);
        if (digit < 0 || digit >= base) return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return uint64_t(1) << 40; // too large either way; keeps the loop bounded
    }
    return value;
}

bool endsInNumber(const std::vector<std::string>& labels) {
    if (labels.empty()) return false;
    const std::string& last = labels.back();
    if (last.empty()) return false;
    bool digits = true;
    for (char c : last) digits = digits && isDigit(c);
    return digits || (last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
                      ipv4Number(last).has_value());
}

// The engine turns a host that ends in a number into an IPv4 address, or refuses it.
std::optional<std::optional<std::string>> asIpv4(const std::string& host) {
    std::vector<std::string> labels = text::split(host, '.', true);
    if (labels.size() > 1 && labels.back().empty()) labels.pop_back();
    if (!endsInNumber(labels)) return std::optional<std::string>(); // not an address: keep the name
    if (labels.size() > 4) return std::nullopt;
    std::vector<uint64_t> numbers;
    for (const auto& label : labels) {
        auto n = label.empty() ? std::nullopt : ipv4Number(label);
        if (!n) return std::nullopt;
        numbers.push_back(*n);
    }
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        if (numbers[i] > 255) return std::nullopt;
    if (numbers.back() >= (uint64_t(1) << (8 * (5 - numbers.size())))) return std::nullopt;
    uint64_t address = numbers.back();
    for (size_t i = 0; i + 1 < numbers.size(); ++i) address += numbers[i] << (8 * (3 - i));
    return std::optional<std::string>(std::to_string((address >> 24) & 255) + "." + std::to_string((address >> 16) & 255) +
                                      "." + std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255));
}

struct Host {
    std::string ascii;
    bool international = false;
};

std::optional<Host> parseHost(std::string_view raw) {
    if (raw.empty()) return std::nullopt;
    if (raw.front() == '[') {
        if (raw.size() < 3 || raw.back() != ']') return std::nullopt;
        std::string inner;
        for (char c : raw.substr(1, raw.size() - 2)) {
            if (hexValue(c) < 0 && c != ':' && c != '.') return std::nullopt;
            inner += asciiLower(c);
        }
        return Host{"[" + inner + "]", false};
    }
    std::string decoded = percentDecode(raw);
    if (!text::isValidUtf8(decoded)) return std::nullopt;
    bool nonAscii = false;
    for (unsigned char c : decoded) nonAscii = nonAscii || c >= 0x80;
    auto ascii = domainToAscii(decoded);
    if (!ascii || ascii->empty()) return std::nullopt;
    for (unsigned char c : *ascii) {
        if (c <= 0x20 || c == 0x7F || std::string_view("#%/:<>?@[\\]^|").find(char(c)) != std::string_view::npos)
            return std::nullopt;
    }
    auto ipv4 = asIpv4(*ascii);
    if (!ipv4) return std::nullopt;
    if (*ipv4) return Host{**ipv4, false};
    bool punycode = false;
    for (const auto& label : text::split(*ascii, '.', true)) punycode = punycode || text::startsWith(label, "xn--");
    return Host{*ascii, nonAscii || punycode};
}

} // namespace

std::string WebUrl::href() const {
    std::string out = scheme + "://";
    if (hasUserInfo()) {
        out += username;
        if (!password.empty()) out += ":" + password;
        out += "@";
    }
    out += host;
    if (port) out += ":" + std::to_string(*port);
    return out + rest;
}

std::optional<WebUrl> WebUrl::parse(std::string_view input) {
    // Leading and trailing controls and spaces are dropped, tabs and newlines anywhere.
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) input.remove_prefix(1);
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) input.remove_suffix(1);
    std::string s;
    for (char c : input)
        if (c != '\t' && c != '\n' && c != '\r') s += c;

    size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || !isAsciiAlpha(s[0])) return std::nullopt;
    WebUrl url;
    for (size_t i = 0; i < colon; ++i) url.scheme += asciiLower(s[i]);
    if (url.scheme != "http" && url.scheme != "https") return std::nullopt;

    // "https:host", "https:/host" and "https:\\\\host" all name the host.
    size_t start = colon + 1;
    while (start < s.size() && (s[start] == '/' || s[start] == '\\')) ++start;
    size_t end = s.find_first_of("/\\?#", start);
    if (end == std::string::npos) end = s.size();
    std::string_view authority = std::string_view(s).substr(start, end - start);

    if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
        std::string_view userinfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        size_t split = userinfo.find(':');
        const std::string_view userSet = "\"#<>?`{}/:;=@[\\]^|";
        url.username = encode(userinfo.substr(0, split), userSet);
        if (split != std::string_view::npos) url.password = encode(userinfo.substr(split + 1), userSet);
    }

    std::string_view hostText = authority;
    std::string_view portText;
    size_t portColon = authority.rfind(':');
    if (portColon != std::string_view::npos && authority.find(']', portColon) == std::string_view::npos) {
        hostText = authority.substr(0, portColon);
        portText = authority.substr(portColon + 1);
    }
    if (!portText.empty()) {
        uint32_t port = 0;
        for (char c : portText) {
            if (!isDigit(c)) return std::nullopt;
            port = port * 10 + uint32_t(c - '0');
            if (port > 65535) return std::nullopt;
        }
        if (port != (url.scheme == "https" ? 443u : 80u)) url.port = uint16_t(port);
    }
    auto host = parseHost(hostText);
    if (!host) return std::nullopt;
    url.host = host->ascii;
    url.internationalHost = host->international;

    std::string_view tail = std::string_view(s).substr(end);
    size_t pathEnd = tail.find_first_of("?#");
    std::string path(tail.substr(0, pathEnd));
    for (char& c : path)
        if (c == '\\') c = '/';
    url.rest = path.empty() ? "/" : encode(path, "\"<>`{}");
    if (pathEnd != std::string_view::npos) {
        std::string_view after = tail.substr(pathEnd);
        size_t hash = after.find('#');
        url.rest += encode(after.substr(0, hash), "\"<>'");
        if (hash != std::string_view::npos) url.rest += encode(after.substr(hash), "\"<>`");
    }
    return url;
}

} // namespace velmora
