#include "app/BrowserPolicy.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const std::filesystem::path kUiRoot = "/opt/velmora/ui";
using V = NavigationVerdict;
using R = WebViewRole;

TEST(BrowserPolicyTest, EachViewLoadsOnlyWhatItShows) {
    const struct {
        R role;
        std::string url;
        V verdict;
    } rows[] = {
        // The interface stays on its own files: whole path components, ".." walks percent-encoded
        // or not, no other host.
        {R::Interface, "file:///opt/velmora/ui/index.html", V::Allow}, {R::Interface, "file:///etc/passwd", V::Cancel},
        {R::Interface, "file:///opt/velmora/ui/js/app.js?x=1#top", V::Allow},
        {R::Interface, "file:///opt/velmora/ui/my%20page.html", V::Allow},
        {R::Interface, "file:///opt/velmora/ui-evil/index.html", V::Cancel},
        {R::Interface, "file:///opt/velmora/ui/../secret.html", V::Cancel},
        {R::Interface, "file:///opt/velmora/ui/%2E%2E/secret.html", V::Cancel},
        {R::Interface, "file://otherhost/opt/velmora/ui/index.html", V::Cancel},
        // Its web links go to the browser; everything else is dropped silently.
        {R::Interface, "https://jobs.example.com/apply", V::CancelAndOpenInBrowser},
        {R::Interface, "HTTP://Example.com", V::CancelAndOpenInBrowser}, {R::Interface, "mailto:a@b.c", V::Cancel},
        {R::Interface, "javascript:alert(1)", V::Cancel}, {R::Interface, "data:text/html,<b>1</b>", V::Cancel},
        {R::Interface, "blob:null/1234", V::Cancel},      {R::Interface, "about:blank", V::Cancel},
        {R::Interface, "velmora://x", V::Cancel},         {R::Interface, "https://", V::Cancel},
        {R::Interface, "no scheme at all", V::Cancel},    {R::Interface, "", V::Cancel},
        // The application browser shows web pages only.
        {R::Browser, "about:blank", V::Allow},            {R::Browser, "https://boards.example.com/jobs/1", V::Allow},
        {R::Browser, "http://10.0.0.1:8080/", V::Allow},  {R::Browser, "mailto:a@b.c", V::CancelWithBlockedMessage},
        {R::Browser, "tel:+15551234", V::CancelWithBlockedMessage},
        {R::Browser, "file:///etc/passwd", V::CancelWithBlockedMessage},
        {R::Browser, "data:text/html,hi", V::CancelWithBlockedMessage},
        {R::Browser, "javascript:void(0)", V::CancelWithBlockedMessage},
        {R::Browser, "view-source:https://a.b/", V::CancelWithBlockedMessage},
        {R::Browser, "ms-word:ofe|u|https://x", V::CancelWithBlockedMessage},
        {R::Browser, "relative/path", V::CancelWithBlockedMessage},
        {R::Browser, "https://", V::CancelWithBlockedMessage}, {R::Browser, "", V::Cancel},
        {R::Other, "velmora://anything", V::Allow},
    };
    for (const auto& row : rows) EXPECT_EQ(decideNavigation(row.url, row.role, kUiRoot), row.verdict) << row.url;
    // Before the page is loaded there is no folder of our own.
    EXPECT_EQ(decideNavigation("file:///opt/velmora/ui/index.html", R::Interface, std::nullopt), V::Cancel);
}

TEST(BrowserPolicyTest, OnlyTheInterfacePageItselfMayUseTheBridge) {
    const std::string own = "file:///opt/velmora/ui/index.html";
    EXPECT_TRUE(isTrustedBridgeSender(R::Interface, own + "#/jobs", kUiRoot));
    EXPECT_FALSE(isTrustedBridgeSender(R::Interface, own, std::nullopt));
    EXPECT_FALSE(isTrustedBridgeSender(R::Browser, own, kUiRoot));
    EXPECT_FALSE(isTrustedBridgeSender(R::Other, own, kUiRoot));
    for (const char* url : {"https://evil.example/index.html", "file:///tmp/index.html", "about:blank", "",
                            "file:///opt/velmora/ui/../x.html"})
        EXPECT_FALSE(isTrustedBridgeSender(R::Interface, url, kUiRoot)) << url;
}

// The toolbar's own texts are checked where the controller shows them.
TEST(BrowserPolicyTest, FileAddressesRoundTripAndTheProfileIsInsertedOnce) {
    const std::filesystem::path odd = "/tmp/a folder/résumé #1.html";
    EXPECT_EQ(fileUrl(odd).rfind("file:///tmp/a%20folder/", 0), 0u) << fileUrl(odd);
    EXPECT_EQ(fileUrlPath(fileUrl(odd)), odd);
    EXPECT_FALSE(fileUrlPath("https://example.com/a"));
    EXPECT_EQ(buildAssistSummary("de", 3, true), "Ausgefüllt: 3 Felder · Lebenslauf angehängt · vor dem Senden prüfen");
    // A profile that itself holds the placeholder text is inserted once, not expanded again.
    EXPECT_EQ(substituteProfile("x(__VELMORA_PROFILE__, __VELMORA_PROFILE__)", R"({"n":"__VELMORA_PROFILE__"})"),
              R"(x({"n":"__VELMORA_PROFILE__"}, {"n":"__VELMORA_PROFILE__"}))");
}

} // namespace
