#include "app/BrowserPolicy.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const std::filesystem::path kUiRoot = "/opt/velmora/ui";

NavigationVerdict interfaceVerdict(const std::string& url) {
    return decideNavigation(url, WebViewRole::Interface, kUiRoot);
}
NavigationVerdict browserVerdict(const std::string& url) {
    return decideNavigation(url, WebViewRole::Browser, kUiRoot);
}

TEST(BrowserPolicyTest, InterfaceViewStaysOnItsOwnFiles) {
    EXPECT_EQ(interfaceVerdict("file:///opt/velmora/ui/index.html"), NavigationVerdict::Allow);
    EXPECT_EQ(interfaceVerdict("file:///opt/velmora/ui/js/app.js?x=1#top"), NavigationVerdict::Allow);
    EXPECT_EQ(interfaceVerdict("file:///opt/velmora/ui/my%20page.html"), NavigationVerdict::Allow);
    // Outside the folder, including look-alike siblings and ".." walks, percent-encoded or not.
    EXPECT_EQ(interfaceVerdict("file:///opt/velmora/ui-evil/index.html"), NavigationVerdict::Cancel);
    EXPECT_EQ(interfaceVerdict("file:///opt/velmora/ui/../secret.html"), NavigationVerdict::Cancel);
    EXPECT_EQ(interfaceVerdict("file:///opt/velmora/ui/%2E%2E/secret.html"), NavigationVerdict::Cancel);
    EXPECT_EQ(interfaceVerdict("file:///etc/passwd"), NavigationVerdict::Cancel);
    EXPECT_EQ(interfaceVerdict("file://otherhost/opt/velmora/ui/index.html"), NavigationVerdict::Cancel);
    // Before the page is loaded there is no folder of our own.
    EXPECT_EQ(decideNavigation("file:///opt/velmora/ui/index.html", WebViewRole::Interface, std::nullopt),
              NavigationVerdict::Cancel);
}

TEST(BrowserPolicyTest, InterfaceWebLinksGoToTheBrowserAndEverythingElseIsDroppedSilently) {
    EXPECT_EQ(interfaceVerdict("https://jobs.example.com/apply"), NavigationVerdict::CancelAndOpenInBrowser);
    EXPECT_EQ(interfaceVerdict("HTTP://Example.com"), NavigationVerdict::CancelAndOpenInBrowser);
    for (const char* url : {"mailto:hr@example.com", "tel:+15551234", "javascript:alert(1)",
                            "data:text/html,<script>1</script>", "about:blank", "velmora://x", "https://", "",
                            "no scheme at all"})
        EXPECT_EQ(interfaceVerdict(url), NavigationVerdict::Cancel) << url;
}

TEST(BrowserPolicyTest, ApplicationBrowserOnlyShowsWebPages) {
    EXPECT_EQ(browserVerdict("about:blank"), NavigationVerdict::Allow);
    EXPECT_EQ(browserVerdict("https://boards.example.com/jobs/1"), NavigationVerdict::Allow);
    EXPECT_EQ(browserVerdict("http://10.0.0.1:8080/"), NavigationVerdict::Allow);
    for (const char* url : {"mailto:hr@example.com", "tel:+15551234", "file:///etc/passwd", "data:text/html,hi",
                            "javascript:void(0)", "ms-word:ofe|u|https://x", "custom-app://open", "relative/path",
                            "https://"})
        EXPECT_EQ(browserVerdict(url), NavigationVerdict::CancelWithBlockedMessage) << url;
    EXPECT_EQ(browserVerdict(""), NavigationVerdict::Cancel);
    EXPECT_EQ(decideNavigation("velmora://anything", WebViewRole::Other, kUiRoot), NavigationVerdict::Allow);
}

TEST(BrowserPolicyTest, OnlyTheInterfacePageItselfMayUseTheBridge) {
    EXPECT_TRUE(isTrustedBridgeSender(WebViewRole::Interface, "file:///opt/velmora/ui/index.html", kUiRoot));
    EXPECT_FALSE(isTrustedBridgeSender(WebViewRole::Browser, "file:///opt/velmora/ui/index.html", kUiRoot));
    EXPECT_FALSE(isTrustedBridgeSender(WebViewRole::Interface, "https://evil.example/", kUiRoot));
    EXPECT_FALSE(isTrustedBridgeSender(WebViewRole::Interface, "file:///tmp/index.html", kUiRoot));
    EXPECT_FALSE(isTrustedBridgeSender(WebViewRole::Interface, "file:///opt/velmora/ui/index.html", std::nullopt));
    EXPECT_FALSE(isTrustedBridgeSender(WebViewRole::Interface, "", kUiRoot));
}

TEST(BrowserPolicyTest, FileAddressesRoundTrip) {
    std::filesystem::path odd = "/tmp/a folder/résumé #1.html";
    auto url = fileUrl(odd);
    EXPECT_EQ(url.rfind("file:///tmp/a%20folder/", 0), 0u) << url;
    ASSERT_TRUE(fileUrlPath(url));
    EXPECT_EQ(*fileUrlPath(url), odd);
    EXPECT_FALSE(fileUrlPath("https://example.com/a"));
    EXPECT_TRUE(isInsideFolder("/srv/ui", "/srv/ui/"));
    EXPECT_FALSE(isInsideFolder("/srv/uix/a", "/srv/ui"));
    EXPECT_FALSE(isInsideFolder("relative/ui/a", "relative/ui"));
}

TEST(BrowserPolicyTest, ToolbarTextsFollowTheLanguage) {
    auto en = toolbarTexts("en");
    EXPECT_EQ(en.assist, "✦ Assist Apply");
    EXPECT_EQ(en.reload, "↻ Reload");
    EXPECT_EQ(en.close, "✕ Close");
    EXPECT_EQ(en.browserTitle, "Application browser");
    EXPECT_EQ(en.securityLabel, "Secure browser");
    auto de = toolbarTexts("DE");
    EXPECT_EQ(de.assist, "✦ Bewerbung ausfüllen");
    EXPECT_EQ(de.close, "✕ Schließen");
    EXPECT_EQ(de.securityLabel, "Sicherer Browser");
    EXPECT_EQ(toolbarTexts("it").assist, "✦ Assistenza candidatura");
    EXPECT_EQ(toolbarTexts("klingon").assist, "✦ Assist Apply");

    EXPECT_EQ(browserModeLabel("en", "website"), "Web browser");
    EXPECT_EQ(browserModeLabel("fr", "application"), "Navigateur de candidature");
    EXPECT_EQ(browserModeLabel("pt", "website"), "Navegador web");
    EXPECT_EQ(browserModeLabel("es", "something else"), "Application browser");
    EXPECT_EQ(securityBadgeText("Review", 45), "Review · 45/100");
}

TEST(BrowserPolicyTest, AssistSummariesInEveryLanguage) {
    EXPECT_EQ(buildAssistSummary("en", 7, true), "Assist complete: 7 fields · resume attached · review before submitting");
    EXPECT_EQ(buildAssistSummary("en", 1, false), "Assist complete: 1 fields · review before submitting");
    EXPECT_EQ(buildAssistSummary("fr", 0, false), "Aide terminée : 0 champs · vérifiez avant l’envoi");
    EXPECT_EQ(buildAssistSummary("fr", 2, true), "Aide terminée : 2 champs · CV joint · vérifiez avant l’envoi");
    EXPECT_EQ(buildAssistSummary("de", 3, true),
              "Ausgefüllt: 3 Felder · Lebenslauf angehängt · vor dem Senden prüfen");
    EXPECT_EQ(buildAssistSummary("zz", 4, false), "Assist complete: 4 fields · review before submitting");
}

TEST(BrowserPolicyTest, ProfileReplacesEveryPlaceholder) {
    std::string script = "const a = __VELMORA_PROFILE__; const b = __VELMORA_PROFILE__;";
    EXPECT_EQ(substituteProfile(script, R"({"email":"a@b.c"})"),
              R"(const a = {"email":"a@b.c"}; const b = {"email":"a@b.c"};)");
    // A profile that itself contains the placeholder text is inserted once, not expanded again.
    EXPECT_EQ(substituteProfile("x(__VELMORA_PROFILE__)", R"({"notes":"__VELMORA_PROFILE__"})"),
              R"(x({"notes":"__VELMORA_PROFILE__"}))");
}

} // namespace
