#include "app/BrowserErrorPage.h"
#include "app/BrowserPolicy.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const std::filesystem::path kUiRoot = "/opt/velmora/ui";
using V = NavigationVerdict;
using R = WebViewRole;

TEST(BrowserPolicyTest, EachViewLoadsOnlyWhatItShows) {
    const struct { R role; std::string url; V verdict; } rows[] = {
        // The interface stays on its own files: whole path components, ".." walks percent-encoded
        // or not, no other host.
        {R::Interface, "file:///opt/velmora/ui/js/app.js?x=1#top", V::Allow},
        {R::Interface, "file:///opt/velmora/ui-evil/index.html", V::Cancel},
        {R::Interface, "file:///opt/velmora/ui/../secret.html", V::Cancel},
        {R::Interface, "file:///opt/velmora/ui/%2E%2E/secret.html", V::Cancel},
        {R::Interface, "file://otherhost/opt/velmora/ui/index.html", V::Cancel},
        // Its web links go to the browser; everything else is dropped silently.
        {R::Interface, "https://jobs.example.com/apply", V::CancelAndOpenInBrowser},
        {R::Interface, "HTTP://Example.com", V::CancelAndOpenInBrowser}, {R::Interface, "mailto:a@b.c", V::Cancel},
        {R::Interface, "about:blank", V::Cancel},         {R::Interface, "https://", V::Cancel},
        // The application browser shows web pages only.
        {R::Browser, "about:blank", V::Allow},            {R::Browser, "view-source:https://a.b/", V::CancelWithBlockedMessage},
        {R::Browser, "https://", V::CancelWithBlockedMessage}, {R::Browser, "", V::Cancel},
        {R::Other, "velmora://anything", V::Allow},
    };
    for (const auto& row : rows) EXPECT_EQ(decideNavigation(row.url, row.role, kUiRoot), row.verdict) << row.url;
    // Before the page is loaded there is no folder of our own.
    EXPECT_EQ(decideNavigation("file:///opt/velmora/ui/index.html", R::Interface, std::nullopt), V::Cancel);
}

// The toolbar's own texts are checked where the controller shows them.
TEST(BrowserPolicyTest, FileAddressesRoundTripAndTheProfileIsInsertedOnce) {
    const std::filesystem::path odd = "/tmp/a folder/résumé #1.html";
    EXPECT_EQ(fileUrl(odd).rfind("file:///tmp/a%20folder/", 0), 0u) << fileUrl(odd);
    EXPECT_EQ(fileUrlPath(fileUrl(odd)), odd);
    EXPECT_FALSE(fileUrlPath("https://example.com/a"));
    // A profile that itself holds the placeholder text is inserted once, not expanded again.
    EXPECT_EQ(substituteProfile("x(__VELMORA_PROFILE__, __VELMORA_PROFILE__)", R"({"n":"__VELMORA_PROFILE__"})"),
              R"(x({"n":"__VELMORA_PROFILE__"}, {"n":"__VELMORA_PROFILE__"}))");
}

} // namespace

TEST(BrowserErrorPage, SaysWhatFailedInTheUsersLanguageAndNeverRunsTheAddress) {
    const std::tuple<std::string, LoadFailure, std::string, std::string, bool> cases[] = {
        // One title per failure; the other languages' texts are the same table's rows.
        {"https://jobs.example.com/apply?id=1&x=2", LoadFailure::Dns, "en", "This address could not be found", true},
        {"http://jobs.example.com/", LoadFailure::Offline, "DE", "Sie scheinen offline zu sein", true},
        {"https://jobs.example.com/", LoadFailure::Tls, "ja", "The secure connection could not be verified", true},
        {"https://x.example/\"><script>alert(1)</script>", LoadFailure::Timeout, "en", "The page took too long to answer", true},
        {"javascript:alert(1)", LoadFailure::Other, "en", "This page could not be opened", false},
    };
    for (const auto& [address, failure, language, title, retry] : cases) {
        const std::string html = browserErrorPage(address, failure, language);
        EXPECT_NE(html.find("<h1>" + title + "</h1>"), std::string::npos) << address;
        EXPECT_EQ(html.find("<script"), std::string::npos) << address;
        EXPECT_EQ(html.find("class=\"retry\"") != std::string::npos, retry) << address;
    }
    const std::string page = browserErrorPage("https://jobs.example.com/apply?id=1&x=2", LoadFailure::Dns, "en");
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("<code>https://jobs.example.com/apply?id=1&amp;x=2</code>"), std::string::npos);
    EXPECT_NE(page.find("href=\"https://jobs.example.com/apply?id=1&amp;x=2\""), std::string::npos);
}
