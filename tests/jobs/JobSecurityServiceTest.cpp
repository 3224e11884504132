#include "core/Text.h"
#include "jobs/SecurityService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

using namespace velmora;
using Checks = std::vector<std::string>;
using ::testing::AllOf;
using ::testing::Ge;
using ::testing::Lt;

namespace {


const std::map<std::string, std::string> kSummaries = {
    {"Quorvane Checked", "Automated URL and source checks found no obvious warning signs."},
    {"Checked", "Automated checks are favorable, but verify the employer before sharing sensitive information."},
    {"Review", "Some trust signals are missing. Review the employer and domain before applying."},
    {"High Risk", "The link has warning signs and should be treated cautiously."},
    {"Blocked", "Invalid or unsupported job URL."},
};

using Row = std::tuple<std::string, int, std::string, std::string>; // link, score, label, host

std::vector<Row> rows() {
    std::vector<Row> r = {
        {"http://user:pw@telegram-jobs.example/offer", 0, "High Risk", "telegram-jobs.example"},
        {"https://remoteok.com:8080/job", 77, "Checked", "remoteok.com"},
        {"http://remoteok.com/job", 30, "High Risk", "remoteok.com"},
        {"https://[2001:db8::1]:8443/jobs", 57, "Review", "[2001:db8::1]"},
        // A browser decodes a percent-encoded host before connecting; case and default ports
        // change nothing, nor does anything in the path.
        {"HTTPS://%72emotive.COM:443/", 85, "Quorvane Checked", "remotive.com"},
        {"HTTPS://Example.COM:80/", 65, "Review", "example.com"}, // a standard web port either way
        {"https://example.com:/telegram/\x01" + std::string(10 * 1024, 'a'), 65, "Review", "example.com"},
        // Each word list costs once; shorteners are whole hosts only.
        {"https://telegram-whatsapp-giftcard.example/", 30, "High Risk", "telegram-whatsapp-giftcard.example"},
        {"https://t.co.example/", 65, "Review", "t.co.example"},
        // The host the browser engine will load, whatever the link's text suggests; any
        // international host falls below "Review" so opening it asks first.
        {"https://evil.example\\@remotive.com/apply", 65, "Review", "evil.example"},
        {"https:\\\\evil.example\\remotive.com", 65, "Review", "evil.example"},
        {"https:evil.example/x", 65, "Review", "evil.example"},
        {" \thttps://remo\tteok.com/\n", 85, "Quorvane Checked", "remoteok.com"},
        {"https://remotive.com@evil.example/", 40, "High Risk", "evil.example"},
        {"https://remotive.com%2F@x.example/", 40, "High Risk", "x.example"},
        {"https://r\u0435motive.com/apply", 25, "High Risk", "xn--rmotive-7gg.com"}, // a Cyrillic e
        {"https://\uFF52emotive.com/", 45, "High Risk", "remotive.com"}, // a full-width r
        {"https://www.xn--bcher-kva.example/", 25, "High Risk", "www.xn--bcher-kva.example"},
        {"https://0x7f.1/", 65, "Review", "127.0.0.1"},
    };
    // Known boards match whole hosts only.
    for (const std::string host : {"himalayas.app", "jobicy.com", "arbeitnow.com", "arbeitnow.co.uk",
                                   "weworkremotely.com", "remotive.com", "remoteok.com", "remotejobs.org"}) {
        r.push_back({"https://" + host + "/x", 85, "Quorvane Checked", host});
        r.push_back({"https://www." + host + "/xn--bcher-kva", 85, "Quorvane Checked", "www." + host}); // not the host
        r.push_back({"https://jobs." + host + "/x", 65, "Review", "jobs." + host});
        r.push_back({"https://" + host + ".evil.example/x", 65, "Review", host + ".evil.example"});
    }
    // Each word and shortener costs a link its points on its own, so a word dropped from a list shows.
    for (const std::string word :
         {"telegram", "whatsapp", "giftcard", "crypto-pay", "payroll-setup", "onboarding-payment", "job-offer-now"})
        r.push_back({"https://apply." + word + "-team.example/", 30, "High Risk", "apply." + word + "-team.example"});
    for (const std::string host : {"bit.ly", "tinyurl.com", "t.co", "goo.gl", "ow.ly", "is.gd", "buff.ly"})
        r.push_back({"https://" + host + "/x1", 30, "High Risk", host});
    // clang-format off
    for (const std::string& url : std::initializer_list<std::string>{
             "   ", "ftp://remotive.com/file", "remotive.com/jobs", "//remotive.com/jobs", "https://", "https://:8080/",
             "javascript:alert(1)", "file:///etc/passwd", "https://exa mple.com/", "https://[::1/",
             "https://example.com:99999/", "https://0x100000000/", "https://256.1.1.1/", "https://a\u200Db.example/",
             "https://1.2.3.4.5/", "https://evil.example%2F.com/", std::string("https://example.com/\0evil", 25)})
        r.push_back({url, 0, "Blocked", ""});
    // clang-format on
    return r;
}

} // namespace

TEST(JobSecurityService, ScoresLabelsHostsAndSummaries) {
    const SecurityService service;
    for (const auto& [url, score, label, host] : rows()) {
        SCOPED_TRACE(url.substr(0, 80));
        const auto a = service.assess(url, "Remotive");
        const bool https =
            label != "Blocked" && (url.find("https:") != std::string::npos || url.find("HTTPS:") != std::string::npos);
        EXPECT_EQ(std::tuple(a.score, a.label, a.host, a.isHttps, a.summary),
                  std::tuple(score, label, host, https, kSummaries.at(label)));
        EXPECT_EQ(a.checks == Checks{"URL format is not a supported web address."}, label == "Blocked");
    }
}

TEST(JobSecurityService, ChecksExplainEveryDeductionInOrder) {
    const SecurityService service;
    const std::string https = "HTTPS encryption detected.",
                      external = "Destination is an external employer or ATS domain.",
                      credentials = "URL contains embedded credentials/user information.";
    // clang-format off
    const std::tuple<std::string, const char*, Checks> rows[] = {
        {"http://user:pw@telegram-jobs.example/offer", "",
         {"Connection is not HTTPS.", external, "Suspicious recruiting/payment wording found in hostname.", credentials}},
        {"https://me@xn--80ak6aa92e.com:8080/", "We Work Remotely", // 65 - 25 - 40 - 8
         {https, external, credentials, "Internationalized/punycode hostname detected; review carefully.",
          "Non-standard web port detected.", "Listing source: We Work Remotely."}},
        {"https://bit.ly/x1", "", {https, external, "URL shortener detected; destination is obscured."}},
        {"https://remotive.com/", "Remotive", {https, "Known job-source domain.", "Listing source: Remotive."}},
    };
    // clang-format on
    for (const auto& [url, source, checks] : rows)
        EXPECT_EQ(service.assess(url, source).checks, checks) << url;
    // Odd hosts get a rating or the blocked one, never an exception, and never pass as a known source.
    for (const std::string url :
         {"https://re%00motive.com/", "https://%zz/", "https://\xff\xfe.example/", "https://ex\xc3\xa4mple.com/"})
        EXPECT_THAT(service.assess(url).score, AllOf(Ge(0), Lt(85))) << url;
}
