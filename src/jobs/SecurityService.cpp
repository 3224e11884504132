#include "jobs/SecurityService.h"

#include "core/Text.h"
#include "core/WebUrl.h"

namespace velmora {

namespace {

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
    // Rated as the browser will read it: "https://evil.example\\@known.host/" loads evil.example.
    std::optional<WebUrl> parsed;
    if (url.find('\0') == std::string::npos) parsed = WebUrl::parse(url);
    if (!parsed) return blocked();

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

    if (parsed->hasUserInfo()) {
        points -= 25;
        a.checks.push_back("URL contains embedded credentials/user information.");
    }

    // A look-alike letter from another script is invisible in the badge, so any international
    // host is rated below "Review" and the user is asked before it opens.
    if (parsed->internationalHost || a.host.find("xn--") != std::string::npos) {
        points -= 40;
        a.checks.push_back("Internationalized/punycode hostname detected; review carefully.");
    }

    if (parsed->port && *parsed->port != 80 && *parsed->port != 443) {
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
