#pragma once

#include "app/AppContext.h"
#include "app/BrowserChrome.h"
#include "app/BrowserPolicy.h"
#include "app/Dialogs.h"
#include "core/JSONTools.h"
#include "app/UiLoop.h"
#include "app/WebSurface.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora {

// The main window's behaviour without the window: the interface page, the application
// browser laid over it, Assisted Auto Apply and the job-sync timer. It talks to the platform
// only through UiLoop, the two WebSurfaces, BrowserChrome and Dialogs, so the desktop shell,
// the headless host and the tests drive the same code. Everything runs on the UI thread.
class MainWindowController : public std::enable_shared_from_this<MainWindowController> {
public:
    struct Platform {
        UiLoop& ui;
        WebSurface& appView;     // the interface page
        WebSurface& browserView; // the application browser
        BrowserChrome& chrome;
        Dialogs& dialogs;
    };

    struct Options {
        // Folders searched, in order, for "ui/index.html" and "ui/assist-autofill.js".
        std::vector<std::filesystem::path> resourceRoots;
        std::chrono::milliseconds uploadCheckDelay{700};
        std::chrono::milliseconds tempCleanupDelay{60'000};
        std::chrono::milliseconds syncInterval{300'000};
        // After one blocked-link notice, further ones wait this long.
        std::chrono::milliseconds blockedNoticeInterval{5'000};
        // Called by each firing of the sync timer; the job-sync schedule decides whether a sync is due.
        std::function<void()> autoSyncIfDue;
    };

    static constexpr double kSidebarWidth = 246.0;
    static constexpr const char* kMissingInterface = "Embedded Velmora interface is missing.";
    static constexpr const char* kBlockedLink = "Velmora blocked a non-web link from this page for safety.";
    static constexpr const char* kProfileIncomplete =
        "Complete your Application Profile first, then reopen the job and click Assist Apply.";
    static constexpr const char* kProfileIncompleteTitle = "Your Application Profile is empty";
    static constexpr const char* kOpenProfile = "Open Application Profile";
    static constexpr const char* kNotNow = "Not now";
    static constexpr const char* kAssistRunning = "Assisted Auto Apply is filling this application…";
    static constexpr const char* kAssistFailedTitle = "Assist Apply could not complete on this page.";
    static constexpr const char* kScriptMissing = "Assisted Auto Apply script is missing.";

    // Builds the controller and sets up the native views (labels in the interface language,
    // browser hidden). loadUI() and setupTimers() follow as separate steps so a front door
    // without a page can leave them out.
    static std::shared_ptr<MainWindowController> create(std::shared_ptr<AppContext> ctx, Platform platform,
                                                        Options options);
    ~MainWindowController();
    MainWindowController(const MainWindowController&) = delete;
    MainWindowController& operator=(const MainWindowController&) = delete;

    // Loads ui/index.html from the first resource root that has it. When none has it, shows
    // the "missing" alert, closes the window and answers false.
    bool loadUI();
    // Starts the repeating job-sync timer (no sync at start: the first firing is one interval later).
    void setupTimers();

    void applyNativeLanguage();
    void applyBrowserModeLabel();
    void updateSecurityBadge(const std::optional<std::string>& url);

    // Bridge action openJob: rates the link, stops at "Blocked" and (without `force`) at 49
    // points or less, records the application, then opens it. Throws the database error when
    // recording fails, and nothing opens.
    json openJob(const json& payload);
    // Shows the browser with `url`; false (after the blocked-link alert) for a non-web address.
    bool navigateExternal(const std::string& url, bool allowAssist);
    void hideExternalBrowser();
    void reloadExternal();
    void closeExternal();

    // Web view callbacks. decidePolicy answers whether the navigation may proceed and carries
    // out what the verdict asks for (opening in the browser, the blocked-link notice).
    // `userGesture`: the user clicked; a blocked link the page started by itself (a script, a
    // frame) is dropped without a word, or a page could bury the window in notices.
    bool decidePolicy(WebViewRole source, const std::string& url, bool userGesture = false);
    void navigationFinished(WebViewRole source);
    void newWindowRequested(WebViewRole source, const std::string& url, bool userGesture = false);
    // Whether a bridge message from `source`, whose page is now at `pageUrl`, may be served.
    bool acceptsBridgeMessage(WebViewRole source, const std::string& pageUrl) const {
        return isTrustedBridgeSender(source, pageUrl, uiRoot_);
    }
    // The file for a page's upload prompt when one is waiting (consumed); nullopt means the
    // shell shows its own open dialog.
    std::optional<std::filesystem::path> takePendingUpload(WebViewRole source);

    // Hands `file` to the page's marked upload field; `done` gets true when the field holds a
    // file afterwards.
    void tryUploadResume(const std::filesystem::path& file, std::function<void(bool)> done);
    // Deletes a temporary resume file after the clean-up delay (60 s).
    void scheduleTempCleanup(const std::filesystem::path& file);

    // The assist button: starts a run on the UI thread and returns at once.
    void assistApply();
    // One run; `done` (optional) is called when the run has finished, however it ended.
    void assistApplyAsync(std::function<void()> done = {});

    // State, for the shell and for tests.
    const std::string& externalMode() const { return externalMode_; }
    const std::optional<std::filesystem::path>& pendingAutoResumeURL() const { return pendingAutoResumeURL_; }
    const std::set<std::filesystem::path>& tempResumeURLs() const { return tempResumeURLs_; }
    const std::optional<std::filesystem::path>& uiRoot() const { return uiRoot_; }
    AppContext& context() const { return *ctx_; }
    // The first resource root holding ui/<name>, if any.
    std::optional<std::filesystem::path> findResource(const std::string& name) const;
    // Closes the application browser and asks the page to show one of its screens (the
    // "openScreen" event).
    void openInterfaceScreen(const std::string& screen);
    // The interface language (setting "language", normalised), for native texts and pages.
    std::string language() const;

private:
    MainWindowController(std::shared_ptr<AppContext> ctx, Platform platform, Options options);
    void setupViews();
    void showBlockedLinkNotice();
    void finishAssist(const std::string& title, const std::optional<std::filesystem::path>& tempFile,
                      const std::function<void()>& done);
    void failAssist(const std::string& message, const std::optional<std::filesystem::path>& tempFile,
                    const std::function<void()>& done);

    std::shared_ptr<AppContext> ctx_;
    Platform platform_;
    Options options_;

    std::string externalMode_ = "application";
    std::optional<std::filesystem::path> pendingAutoResumeURL_;
    std::set<std::filesystem::path> tempResumeURLs_;
    std::optional<std::filesystem::path> uiRoot_;
    std::optional<UiLoop::TimerId> syncTimer_;
    bool blockedNoticeResting_ = false;
};

} // namespace velmora
