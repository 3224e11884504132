#include "jobs/SecurityService.h"

#include "core/Text.h"

#include <curl/curl.h>

#include <memory>
#include <optional>

namespace velmora {

namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* p) const { curl_free(p); }
};

// One component of a parsed URL; nullopt when the URL does not carry it.
std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, 0) != CURLUE_OK || raw == nullptr) return std::nullopt;
    std::unique_ptr<char, CurlStringDeleter> owned(raw);
    return std::string(owned.get());
}

struct ParsedUrl {
    std::string scheme; // lower-cased
    std::string host;   // lower-cased
    bool hasUserInfo = false;
    std::optional<std::string> port; // only when written in the link
};

std::optional<ParsedUrl> parse(const std::string& text) {
    // libcurl copies the text as a C string; an embedded NUL would silently cut it short.
    if (text.empty() || text.find('\0') != std::string::npos) return std::nullopt;
    CurlUrl url(curl_url());
    if (!url) return std::nullopt;
    // Unsupported schemes are allowed through so that they can be named as blocked below
    // rather than failing inside the parser for the wrong reason.
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    ParsedUrl parsed;
    auto scheme = part(url.get(), CURLUPART_SCHEME);
    auto host = part(url.get(), CURLUPART_HOST);
    if (!scheme || !host || host->empty()) return std::nullopt;
    parsed.scheme = text::lower(*scheme);
    parsed.host = text::lower(*host);
    auto user = part(url.get(), CURLUPART_USER);
    auto password = part(url.get(), CURLUPART_PASSWORD);
    parsed.hasUserInfo = (user && !user->empty()) || (password && !password->empty());
    parsed.port = part(url.get(), CURLUPART_PORT);
    return parsed;
}

SecurityAssessment blocked() {
    SecurityAssessment a;
    a.score = 0;
    a.label = "Blocked";
    a.isHttps = false;
    a.summary = "Invalid or unsupported job URL.";
    a.checks = {"URL format is not a supported web address."};
    return a;
}

} // namespace

SecurityService::SecurityService() {
    // The web domains of the job sources we connect, bare and with www.
    for (const char* domain : {"himalayas.app", "jobicy.com", "arbeitnow.com", "arbeitnow.co.uk", "weworkremotely.com",
                               "remotive.com", "remoteok.com", "remotejobs.org"}) {
        trusted_.insert(domain);
        trusted_.insert(std::string("www.") + domain);
    }
    suspicious_ = {"telegram", "whatsapp", "giftcard", "crypto-pay", "payroll-setup", "onboarding-payment",
                   "job-offer-now"};
    shorteners_ = {"bit.ly", "tinyurl.com", "t.co", "goo.gl", "ow.ly", "is.gd", "buff.ly"};
}

SecurityAssessment SecurityService::assess(const std::string& url, const std::string& source) const {
    std::optional<ParsedUrl> parsed;
    try {
        parsed = parse(url);
    } catch (const std::exception&) {
        parsed.reset();
    }
    if (!parsed || (parsed->scheme != "https" && parsed->scheme != "http")) return blocked();

    SecurityAssessment a;
    a.host = parsed->host;
    int points = 0;

    if (parsed->scheme == "https") {
        points += 65;
        a.isHttps = true;
        a.checks.push_back("HTTPS encryption detected.");
    } else {
        points += 10;
        a.checks.push_back("Connection is not HTTPS.");
    }

    if (trusted_.count(a.host)) {
        points += 20;
        a.checks.push_back("Known job-source domain.");
    } else {
        a.checks.push_back("Destination is an external employer or ATS domain.");
    }

    if (shorteners_.count(a.host)) {
        points -= 35;
        a.checks.push_back("URL shortener detected; destination is obscured.");
    }

    for (const auto& word : suspicious_) {
        if (a.host.find(word) != std::string::npos) {
            points -= 35;
            a.checks.push_back("Suspicious recruiting/payment wording found in hostname.");
            break;
        }
    }

    if (parsed->hasUserInfo) {
        points -= 25;
        a.checks.push_back("URL contains embedded credentials/user information.");
    }

    if (a.host.find("xn--") != std::string::npos) {
        points -= 15;
        a.checks.push_back("Internationalized/punycode hostname detected; review carefully.");
    }

    if (parsed->port && *parsed->port != "80" && *parsed->port != "443") {
        points -= 8;
        a.checks.push_back("Non-standard web port detected.");
    }

    if (!source.empty()) a.checks.push_back("Listing source: " + source + ".");

    if (points >= 85) {
        a.label = "Quorvane Checked";
        a.summary = "Automated URL and source checks found no obvious warning signs.";
    } else if (points >= kCheckedThreshold) {
        a.label = "Checked";
        a.summary = "Automated checks are favorable, but verify the employer before sharing sensitive information.";
    } else if (points >= 50) {
        a.label = "Review";
        a.summary = "Some trust signals are missing. Review the employer and domain before applying.";
    } else {
        a.label = "High Risk";
        a.summary = "The link has warning signs and should be treated cautiously.";
    }
    a.score = points < 0 ? 0 : points;
    return a;
}

} // namespace velmora
