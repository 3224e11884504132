// The embedded-web-view checklist, item by item (SECURITY.md names each test here).

#include "ControllerTestBed.h"
#include "core/Text.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

const std::filesystem::path kSource = VELMORA_SOURCE_DIR;

class SecurityTest : public ControllerTestBed {
protected:
    std::string page(const std::string& relative) const { return fileUrl(*controller->uiRoot() / relative); }
};

} // namespace

// The verdicts for each address are BrowserPolicyTest's table; here the controller's own root,
// the bridge's senders and what a refusal does.
TEST_F(SecurityTest, NavigationLimitsHoldAgainstPathTricks) {
    EXPECT_FALSE(controller->acceptsBridgeMessage(WebViewRole::Interface, "file:///anything/index.html")); // nothing loaded yet
    controller->loadUI();
    EXPECT_TRUE(controller->decidePolicy(WebViewRole::Interface, page("js/main.js")));
    EXPECT_FALSE(controller->decidePolicy(WebViewRole::Interface, "file://" + controller->uiRoot()->string() + "/%2e%2e/x"));
    // Only the interface view, on a page of its own folder, reaches the bridge.
    EXPECT_TRUE(controller->acceptsBridgeMessage(WebViewRole::Interface, page("index.html") + "#/jobs"));
    EXPECT_FALSE(controller->acceptsBridgeMessage(WebViewRole::Browser, page("index.html")));
    // What a page starts by itself (scripts, frames) is dropped without a word; a click gets a
    // toolbar notice, never a modal alert, and a page that keeps trying cannot raise more than
    // one per interval.
    controller->navigateExternal("https://careers.example.com/job", true);
    const std::string title = chrome.title;
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "blob:https://a.b/1", "ftp://a.b/x"})
        EXPECT_FALSE(controller->decidePolicy(WebViewRole::Browser, url)) << url;
    EXPECT_EQ(chrome.title, title);
    for (int i = 0; i < 100; ++i) EXPECT_FALSE(controller->decidePolicy(WebViewRole::Browser, "data:text/html,x", true));
    EXPECT_EQ(chrome.title, MainWindowController::kBlockedLink);
    chrome.title.clear();
    ui.advance(std::chrono::milliseconds(4999));
    controller->decidePolicy(WebViewRole::Browser, "data:text/html,x", true);
    EXPECT_EQ(chrome.title, "");
    ui.advance(std::chrono::milliseconds(1));
    controller->newWindowRequested(WebViewRole::Browser, "javascript:alert(1)", true);
    EXPECT_EQ(chrome.title, MainWindowController::kBlockedLink);
    EXPECT_TRUE(dialogs.infos.empty());
    EXPECT_EQ(browserView.loads.size(), 1u);
}

// A second web view is never made: a popup from the page opens the browser as a website, one
// from the browser is a navigation of that same view after the same check.
TEST_F(SecurityTest, NewWindowsCannotSmuggleLocalOrScriptAddresses) {
    controller->loadUI();
    controller->newWindowRequested(WebViewRole::Interface, "https://example.org/a");
    EXPECT_EQ(controller->externalMode(), "website");
    controller->navigateExternal("https://careers.example.com/job", true);
    for (const char* url : {"https://popup.example.com/", "https://popup.example.com/", ""})
        controller->newWindowRequested(WebViewRole::Browser, url);
    EXPECT_EQ(controller->externalMode(), "application"); // a popup does not change the mode
    EXPECT_TRUE(dialogs.infos.empty());
    for (const char* url : {"file:///home/user/.ssh/id_rsa", "javascript:alert(document.cookie)", "data:text/html,x"}) {
        controller->newWindowRequested(WebViewRole::Browser, url);
        controller->newWindowRequested(WebViewRole::Interface, url);
    }
    EXPECT_EQ(browserView.loads, (std::vector<std::string>{"https://example.org/a", "https://careers.example.com/job",
                                                           "https://popup.example.com/", "https://popup.example.com/"}));
    EXPECT_TRUE(appView.loads.empty());
    // What loads is the address that was rated: the backslash ends the host for WebKit too.
    controller->navigateExternal("https:\\\\evil.example\\@remotive.com/apply", true);
    EXPECT_EQ(browserView.loads.back(), "https://evil.example/@remotive.com/apply");
    EXPECT_EQ(chrome.security, "Review · 65/100");
}

// The page journeys check default-src, script-src, connect-src and that nothing is inline.
TEST(SecurityPageTest, ContentSecurityPolicyAllowsOnlyThePagesOwnFiles) {
    const auto meta = text::Regex(R"re(<meta\s+http-equiv="Content-Security-Policy"\s+content="([^"]*)")re",
                                  text::Regex::CaseInsensitive).firstMatch(readFile(kSource / "ui/index.html"));
    ASSERT_TRUE(meta) << "ui/index.html has no Content-Security-Policy";
    const std::string csp = *meta->groups[1];
    for (const std::string directive : {"object-src", "frame-src", "worker-src", "base-uri", "form-action"})
        EXPECT_TRUE(text::contains(csp, directive + " 'none'")) << directive;
    for (const char* loose : {"*", ":/", "http", "unsafe-", "blob:", "filesystem:"})
        EXPECT_FALSE(text::contains(csp, loose)) << csp;
}

TEST(SecurityPageTest, InterfaceKeepsNothingInWebStorage) {
    text::Regex storage(R"(\b(localStorage|sessionStorage|indexedDB|openDatabase|document\.cookie|caches\.open)\b)");
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kSource / "ui"))
        if (const auto ext = entry.path().extension(); ext == ".js" || ext == ".html" || ext == ".mjs") {
            EXPECT_FALSE(storage.search(readFile(entry.path()))) << entry.path() << " uses web storage";
            ++files;
        }
    EXPECT_GT(files, 5u);
}

TEST(SecurityShellTest, DesktopWiringKeepsTheBrowserAwayFromTheBridge) {
    // The GTK shell cannot run here; its wiring is read instead, so a change that hands the
    // browser view a message handler, or drops a refusal, fails in every build.
    const auto shell = readFile(kSource / "src/shell/gtk/DesktopShell.cpp");
    // One message handler and one page script, on the interface view's content manager only.
    for (const char* once : {"webkit_user_content_manager_register_script_message_handler(",
                             "webkit_user_content_manager_add_script(", "script-message-received::velmora",
                             "\"user-content-manager\""}) {
        const size_t first = shell.find(once);
        EXPECT_TRUE(first != std::string::npos && shell.find(once, first + 1) == std::string::npos) << once;
    }
    for (const char* present : {
             // The browser view gets its own ephemeral context and no content manager.
             "browserView_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, \"web-context\", browserContext_.get(), nullptr))",
             "acceptsBridgeMessage(WebViewRole::Interface", "webkit_web_context_new_ephemeral()",
             "webkit_settings_set_allow_universal_access_from_file_urls(browserSettings, FALSE)",
             // Downloads and permission requests are refused in both views.
             "\"download-started\", G_CALLBACK(onDownloadStarted)", "webkit_download_cancel(download)",
             "\"permission-request\", G_CALLBACK(onPermissionRequest)", "webkit_permission_request_deny(request)",
             // A second web view is never created for a popup.
             "return nullptr; // never a second web view"})
        EXPECT_NE(shell.find(present), std::string::npos) << present;
    EXPECT_EQ(shell.find("webkit_permission_request_allow"), std::string::npos);
}
