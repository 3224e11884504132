#include "app/BrowserErrorPage.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(BrowserErrorPage, SaysWhatFailedInTheUsersLanguageAndNeverRunsTheAddress) {
    const std::tuple<std::string, LoadFailure, std::string, std::string, bool> cases[] = {
        {"https://jobs.example.com/apply?id=1&x=2", LoadFailure::Dns, "en", "This address could not be found", true},
        {"http://jobs.example.com/", LoadFailure::Offline, "DE", "Sie scheinen offline zu sein", true},
        {"https://jobs.example.com/", LoadFailure::Tls, "pt", "Não foi possível verificar a ligação segura", true},
        {"https://jobs.example.com/", LoadFailure::Timeout, "ja", "The page took too long to answer", true},
        {"https://x.example/\"><script>alert(1)</script>", LoadFailure::Other, "fr", "Cette page n’a pas pu être ouverte", true},
        {"javascript:alert(1)", LoadFailure::Other, "en", "This page could not be opened", false},
    };
    for (const auto& [address, failure, language, title, retry] : cases) {
        const std::string html = browserErrorPage(address, failure, language);
        EXPECT_NE(html.find("<h1>" + title + "</h1>"), std::string::npos) << address;
        EXPECT_EQ(html.find("<script"), std::string::npos) << address;
        EXPECT_NE(html.find("default-src 'none'"), std::string::npos);
        EXPECT_EQ(html.find("class=\"retry\"") != std::string::npos, retry) << address;
    }
    const std::string page = browserErrorPage("https://jobs.example.com/apply?id=1&x=2", LoadFailure::Dns, "en");
    EXPECT_NE(page.find("<code>https://jobs.example.com/apply?id=1&amp;x=2</code>"), std::string::npos);
    EXPECT_NE(page.find("href=\"https://jobs.example.com/apply?id=1&amp;x=2\""), std::string::npos);
}
