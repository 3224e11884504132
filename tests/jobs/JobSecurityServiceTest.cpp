#include "jobs/SecurityService.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;

namespace {

const SecurityService& service() {
    static const SecurityService s;
    return s;
}

void expectBlocked(const std::string& url) {
    SCOPED_TRACE(url.size() > 80 ? url.substr(0, 80) + "..." : url);
    auto a = service().assess(url, "Remotive");
    EXPECT_EQ(a.score, 0);
    EXPECT_EQ(a.label, "Blocked");
    EXPECT_FALSE(a.isHttps);
    EXPECT_EQ(a.host, "");
    EXPECT_EQ(a.summary, "Invalid or unsupported job URL.");
    EXPECT_EQ(a.checks, std::vector<std::string>{"URL format is not a supported web address."});
}

} // namespace

TEST(JobSecurityService, WorkedScores) {
    auto known = service().assess("https://remotive.com/remote-jobs/123");
    EXPECT_EQ(known.score, 85);
    EXPECT_EQ(known.label, "Quorvane Checked");
    EXPECT_EQ(known.summary, "Automated URL and source checks found no obvious warning signs.");
    EXPECT_TRUE(known.isHttps);

    auto employer = service().assess("https://careers.example.com/apply");
    EXPECT_EQ(employer.score, 65);
    EXPECT_EQ(employer.label, "Review");
    EXPECT_EQ(employer.summary, "Some trust signals are missing. Review the employer and domain before applying.");

    auto port = service().assess("https://careers.example.com:8443/apply");
    EXPECT_EQ(port.score, 57);
    EXPECT_EQ(port.label, "Review");
    EXPECT_EQ(port.checks.back(), "Non-standard web port detected.");

    auto shortener = service().assess("https://bit.ly/3xYz");
    EXPECT_EQ(shortener.score, 30);
    EXPECT_EQ(shortener.label, "High Risk");
    EXPECT_EQ(shortener.summary, "The link has warning signs and should be treated cautiously.");

    auto worst = service().assess("http://user:pw@telegram-jobs.example/offer");
    EXPECT_EQ(worst.score, 0);
    EXPECT_EQ(worst.label, "High Risk");
    EXPECT_FALSE(worst.isHttps);
    EXPECT_EQ(worst.checks, (std::vector<std::string>{
                                "Connection is not HTTPS.",
                                "Destination is an external employer or ATS domain.",
                                "Suspicious recruiting/payment wording found in hostname.",
                                "URL contains embedded credentials/user information.",
                            }));
}

TEST(JobSecurityService, CheckedBandAndHttpCeiling) {
    auto a = service().assess("https://www.remoteok.com/xn--bcher-kva");
    EXPECT_EQ(a.score, 85); // punycode in the path is not the host
    auto c = service().assess("https://remoteok.com:8080/job");
    EXPECT_EQ(c.score, 77);
    EXPECT_EQ(c.label, "Checked");
    EXPECT_EQ(c.summary,
              "Automated checks are favorable, but verify the employer before sharing sensitive information.");
    auto d = service().assess("http://remoteok.com/job");
    EXPECT_EQ(d.score, 30);
    EXPECT_EQ(d.label, "High Risk");
}

TEST(JobSecurityService, UnsupportedOrMalformedLinksAreBlocked) {
    for (const std::string url : {"", "   ", "ftp://remotive.com/file", "mailto:jobs@remotive.com", "remotive.com/jobs",
                                  "//remotive.com/jobs", "https://", "https://:8080/", "javascript:alert(1)",
                                  "file:///etc/passwd", "https://exa mple.com/",
                                  "ht tp://example.com", "https://[::1/", "https://example.com:99999/"})
        expectBlocked(url);
    expectBlocked(std::string("https://example.com/\0evil", 25));
}

TEST(JobSecurityService, OddButValidInputNeverThrows) {
    std::string longUrl = "https://example.com/" + std::string(10 * 1024, 'a');
    auto a = service().assess(longUrl);
    EXPECT_EQ(a.score, 65);

    auto v6 = service().assess("https://[2001:db8::1]:8443/jobs");
    EXPECT_NE(v6.label, "Blocked");
    EXPECT_TRUE(v6.host.find("2001:db8::1") != std::string::npos);
    EXPECT_EQ(v6.score, 57);

    // A browser decodes a percent-encoded host before connecting, so the rating is the decoded host's.
    auto encoded = service().assess("https://%72emotive.com/");
    EXPECT_EQ(encoded.host, "remotive.com");
    EXPECT_EQ(encoded.score, 85);

    // Odd hosts get a rating or the blocked one, never an exception, and never pass as a known source.
    for (const std::string url : {"https://re%00motive.com/", "https://%zz/", "https://remotive.com%2F@x/",
                                  "https://\xff\xfe.example/", "https://ex\xc3\xa4mple.com/"}) {
        auto r = service().assess(url);
        EXPECT_FALSE(r.label.empty()) << url;
        EXPECT_GE(r.score, 0);
        EXPECT_LT(r.score, 85) << url;
    }
}

TEST(JobSecurityService, SchemeAndHostAreCaseInsensitive) {
    auto a = service().assess("HTTPS://WWW.Himalayas.APP/jobs/1");
    EXPECT_TRUE(a.isHttps);
    EXPECT_EQ(a.host, "www.himalayas.app");
    EXPECT_EQ(a.score, 85);
    auto b = service().assess("Http://Example.COM");
    EXPECT_FALSE(b.isHttps);
    EXPECT_EQ(b.host, "example.com");
    EXPECT_EQ(b.score, 10);
}

TEST(JobSecurityService, KnownSourcesMatchWholeHostsOnly) {
    for (const char* host : {"himalayas.app", "jobicy.com", "arbeitnow.com", "arbeitnow.co.uk", "weworkremotely.com",
                             "remotive.com", "remoteok.com", "remotejobs.org"}) {
        EXPECT_EQ(service().assess(std::string("https://") + host + "/x").score, 85) << host;
        EXPECT_EQ(service().assess(std::string("https://www.") + host + "/x").score, 85) << host;
        EXPECT_EQ(service().assess(std::string("https://jobs.") + host + "/x").score, 65) << host;
        EXPECT_EQ(service().assess(std::string("https://") + host + ".evil.example/x").score, 65) << host;
    }
}

// The rating is for the host the browser engine will load, whatever the link's text suggests;
// any international host falls below "Review" so opening it asks first.
TEST(JobSecurityService, RatesTheHostTheBrowserLoads) {
    struct Row {
        std::string url;
        std::string host;
        int score;
        std::string label;
    };
    for (const auto& row : std::vector<Row>{
             {"https://evil.example\\@remotive.com/apply", "evil.example", 65, "Review"},
             {"https:\\\\evil.example\\remotive.com", "evil.example", 65, "Review"},
             {"https:evil.example/x", "evil.example", 65, "Review"},
             {" \thttps://remo\tteok.com/\n", "remoteok.com", 85, "Quorvane Checked"},
             {"https://remotive.com@evil.example/", "evil.example", 40, "High Risk"},
             {"https://remotive.com%2F@x.example/", "x.example", 40, "High Risk"},
             {"https://r\xD0\xB5motive.com/apply", "xn--rmotive-7gg.com", 25, "High Risk"},
             {"https://xn--rmotive-7gg.com/apply", "xn--rmotive-7gg.com", 25, "High Risk"},
             {"https://\xEF\xBD\x92" "emotive.com/", "remotive.com", 45, "High Risk"}, // full-width letter
             {"https://www.xn--bcher-kva.example/", "www.xn--bcher-kva.example", 25, "High Risk"},
             {"https://0x7f.1/", "127.0.0.1", 65, "Review"},
             {"https://example.com/\x01x", "example.com", 65, "Review"},
         }) {
        auto a = service().assess(row.url);
        EXPECT_EQ(a.host, row.host) << row.url;
        EXPECT_EQ(a.score, row.score) << row.url;
        EXPECT_EQ(a.label, row.label) << row.url;
    }
    for (const std::string url : {"https://0x100000000/", "https://1.2.3.4.5/", "https://256.1.1.1/",
                                  "https://a\xE2\x80\x8D" "b.example/", "https://evil.example%2F.com/"})
        expectBlocked(url);
}

TEST(JobSecurityService, SuspiciousWordsCostOnce) {
    auto a = service().assess("https://telegram-whatsapp-giftcard.example/");
    EXPECT_EQ(a.score, 30);
    int lines = 0;
    for (const auto& c : a.checks) lines += c == "Suspicious recruiting/payment wording found in hostname.";
    EXPECT_EQ(lines, 1);
    // Only the host is searched, not the path.
    EXPECT_EQ(service().assess("https://example.com/telegram").score, 65);
}

TEST(JobSecurityService, StandardPortsAreFree) {
    EXPECT_EQ(service().assess("https://remotive.com:443/").score, 85);
    EXPECT_EQ(service().assess("http://example.com:80/").score, 10);
    EXPECT_EQ(service().assess("https://example.com:/").score, 65);
}

TEST(JobSecurityService, CheckLineOrder) {
    auto a = service().assess("https://me@xn--80ak6aa92e.com:8080/", "We Work Remotely");
    EXPECT_EQ(a.checks, (std::vector<std::string>{
                            "HTTPS encryption detected.",
                            "Destination is an external employer or ATS domain.",
                            "URL contains embedded credentials/user information.",
                            "Internationalized/punycode hostname detected; review carefully.",
                            "Non-standard web port detected.",
                            "Listing source: We Work Remotely.",
                        }));
    EXPECT_EQ(a.score, 0); // 65 - 25 - 40 - 8
    EXPECT_EQ(a.label, "High Risk");
}

TEST(JobSecurityService, JsonHasExactlyTheSixKeys) {
    auto j = service().assess("https://remotive.com/", "Remotive").toJson();
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j.size(), 6u);
    EXPECT_EQ(j["score"], 85);
    EXPECT_EQ(j["label"], "Quorvane Checked");
    EXPECT_EQ(j["isHttps"], true);
    EXPECT_EQ(j["host"], "remotive.com");
    EXPECT_TRUE(j["summary"].is_string());
    EXPECT_EQ(j["checks"].back(), "Listing source: Remotive.");
}
