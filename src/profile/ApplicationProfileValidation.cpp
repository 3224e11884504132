#include "profile/ApplicationProfileValidation.h"

#include "core/VelmoraError.h"

#include <cctype>

namespace velmora {

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool hasSpace(const std::string& value) {
    for (char c : value)
        if (isSpace(c)) return true;
    return false;
}

// A host name of at least two labels; bytes above ASCII are allowed so internationalised
// names pass, but no label may be empty or start or end with a hyphen.
bool isPlausibleHost(const std::string& host) {
    if (host.empty() || host.size() > 253 || host.find('.') == std::string::npos) return false;
    size_t start = 0;
    while (start <= host.size()) {
        size_t end = host.find('.', start);
        if (end == std::string::npos) end = host.size();
        const std::string label = host.substr(start, end - start);
        if (label.empty() || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!(isAsciiAlnum(c) || c == '-' || static_cast<unsigned char>(c) >= 0x80)) return false;
        start = end + 1;
    }
    return true;
}

std::string lowerAscii(std::string value) {
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value;
}

} // namespace

bool isPlausibleEmail(const std::string& value) {
    const size_t at = value.find('@');
    if (at == std::string::npos || at == 0 || value.find('@', at + 1) != std::string::npos) return false;
    if (hasSpace(value) || value.size() > 254) return false;
    const std::string local = value.substr(0, at);
    if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string::npos) return false;
    return isPlausibleHost(value.substr(at + 1));
}

bool isPlausiblePhone(const std::string& value) {
    // Digits with the usual separators, an optional leading "+" and an optional extension
    // ("x 12", "ext. 12"). Letters otherwise mean it is not a number a form can dial.
    std::string number = lowerAscii(value);
    for (const char* marker : {"ext.", "ext", "x"}) {
        const size_t pos = number.rfind(marker);
        if (pos == std::string::npos) continue;
        std::string extension = number.substr(pos + std::string(marker).size());
        size_t digits = 0;
        bool clean = true;
        for (char c : extension) {
            if (isDigit(c)) ++digits;
            else if (!isSpace(c)) clean = false;
        }
        if (!clean || digits == 0 || digits > 6) return false;
        number = number.substr(0, pos);
        break;
    }
    size_t digits = 0;
    for (size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if (isDigit(c)) ++digits;
        else if (c == '+') {
            for (size_t j = 0; j < i; ++j)
                if (!isSpace(number[j])) return false; // only in front
        } else if (!(isSpace(c) || c == '-' || c == '.' || c == '(' || c == ')' || c == '/')) return false;
    }
    return digits >= 4 && digits <= 15; // some countries dial four-digit numbers
}

bool isPlausibleYears(const std::string& value) {
    // "7", "7.5", "12+": a whole or half-way number of years a person could have worked.
    size_t i = 0;
    int whole = 0;
    while (i < value.size() && isDigit(value[i]) && i < 2) whole = whole * 10 + (value[i++] - '0');
    if (i == 0) return false;
    if (i < value.size() && (value[i] == '.' || value[i] == ',')) {
        ++i;
        if (i >= value.size() || !isDigit(value[i])) return false;
        ++i;
    }
    if (i < value.size() && value[i] == '+') ++i;
    return i == value.size() && whole <= 70;
}

bool isPlausibleLink(const std::string& value) {
    if (hasSpace(value)) return false;
    std::string rest = value;
    const std::string lower = lowerAscii(value);
    const size_t scheme = lower.find("://");
    if (scheme != std::string::npos) {
        // Only web addresses: a "javascript:" or "file:" link would be typed into forms as is.
        const std::string name = lower.substr(0, scheme);
        if (name != "http" && name != "https") return false;
        rest = value.substr(scheme + 3);
    } else if (lower.find(':') != std::string::npos && lower.find(':') < lower.find('.')) {
        return false; // another scheme without slashes ("javascript:alert(1)")
    }
    const size_t end = rest.find_first_of("/?#");
    std::string host = rest.substr(0, end);
    if (host.find('@') != std::string::npos) return false;
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        const std::string port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5) return false;
        for (char c : port)
            if (!isDigit(c)) return false;
        host = host.substr(0, colon);
    }
    return isPlausibleHost(host);
}

std::vector<ProfileFieldProblem> validateProfile(const ApplicationProfile& p) {
    std::vector<ProfileFieldProblem> problems;
    if (!p.email.empty() && !isPlausibleEmail(p.email))
        problems.push_back({"email", "Enter an e-mail address like name@example.com."});
    if (!p.phone.empty() && !isPlausiblePhone(p.phone))
        problems.push_back({"phone", "Enter a phone number with digits only, for example +1 555 010 9999."});
    if (!p.yearsOfExperience.empty() && !isPlausibleYears(p.yearsOfExperience))
        problems.push_back({"yearsOfExperience", "Enter the years of experience as a number, for example 7."});
    struct Link {
        const char* key;
        const char* name;
        const std::string* value;
    };
    const Link links[] = {{"linkedIn", "LinkedIn", &p.linkedIn}, {"gitHub", "GitHub", &p.gitHub},
                          {"portfolio", "portfolio", &p.portfolio}};
    for (const auto& link : links)
        if (!link.value->empty() && !isPlausibleLink(*link.value))
            problems.push_back({link.key, std::string("Enter the ") + link.name +
                                              " address as a web address, for example https://example.com/you."});
    return problems;
}

void requireValidProfile(const ApplicationProfile& profile) {
    const auto problems = validateProfile(profile);
    if (problems.empty()) return;
    std::string message = "The profile was not saved.";
    for (const auto& problem : problems) message += " " + problem.message;
    throw VelmoraError(message);
}

} // namespace velmora
