// Each word and shortener on the warning lists costs a link its points on its own, so a word
// dropped from a list shows here.
#include "jobs/SecurityService.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(LinkWarningWords, EverySuspiciousHostWordAndShortenerIsCaught) {
    const SecurityService service;
    for (const char* word : {"telegram", "whatsapp", "giftcard", "crypto-pay", "payroll-setup", "onboarding-payment",
                             "job-offer-now"}) {
        auto a = service.assess(std::string("https://apply.") + word + "-team.example/");
        EXPECT_EQ(a.score, 30) << word;
        EXPECT_EQ(a.checks.back(), "Suspicious recruiting/payment wording found in hostname.") << word;
    }
    for (const char* host : {"bit.ly", "tinyurl.com", "t.co", "goo.gl", "ow.ly", "is.gd", "buff.ly"}) {
        auto a = service.assess(std::string("https://") + host + "/x1");
        EXPECT_EQ(a.score, 30) << host;
        EXPECT_EQ(a.checks.back(), "URL shortener detected; destination is obscured.") << host;
    }
    // Whole hosts only: a shortener's name inside another host is no shortener.
    EXPECT_EQ(service.assess("https://t.co.example/").score, 65);
}
