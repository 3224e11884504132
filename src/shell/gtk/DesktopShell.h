#pragma once

#include "app/BrowserErrorPage.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/MainWindowController.h"
#include "shell/gtk/GLibUiLoop.h"
#include "shell/gtk/GObjectPtr.h"
#include "shell/gtk/GtkBrowserChrome.h"
#include "shell/gtk/GtkDialogs.h"
#include "shell/gtk/GtkWebSurface.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>

namespace velmora::gtkshell {

// The main window of the desktop program: the interface web view, the application browser
// laid over it and the wiring of both to the bridge and MainWindowController.
class DesktopShell {
public:
    struct Options {
        std::vector<std::filesystem::path> resourceRoots;
        // The --smoke-test option: after the first page load, getInitialState goes through the
        // page's own message API; with smokeOpenUrl the page then saves a profile (with
        // smokeResume as its resume), opens that address with openJob and Assist Apply runs on
        // it. Called once with a report of what happened.
        std::function<void(const std::string& report, bool ok)> smokeTest;
        std::string smokeOpenUrl;
        std::string smokeResume;
    };

    // Throws VelmoraError (the Resume Studio library, for example) when start-up fails.
    DesktopShell(GtkApplication* app, std::shared_ptr<AppContext> ctx, Options options);
    ~DesktopShell();
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    // Loads the page and starts the timers; false when the page is missing (the window then closes).
    bool start();
    void present();
    GtkWindow* window() const { return GTK_WINDOW(window_); }

private:
    WebViewRole roleOf(WebKitWebView* view) const;
    static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static gboolean onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self);
    static GtkWidget* onCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
    static gboolean onRunFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer self);
    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    static gboolean onLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error, gpointer self);
    static gboolean onLoadFailedWithTlsErrors(WebKitWebView* view, gchar* uri, GTlsCertificate* certificate,
                                              GTlsCertificateFlags errors, gpointer self);
    void showLoadFailure(WebKitWebView* view, const char* uri, LoadFailure failure);
    static void onDownloadStarted(WebKitWebContext* context, WebKitDownload* download, gpointer);
    static gboolean onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request, gpointer);
    void runSmokeTest();
    void runSmokeAssist();

    std::shared_ptr<AppContext> ctx_;
    Options options_;
    GLibUiLoop ui_;
    BackgroundRunner background_{4};
    std::unique_ptr<Bridge> bridge_;
    GtkWidget* window_ = nullptr;
    GObjectPtr<WebKitWebContext> interfaceContext_;
    GObjectPtr<WebKitWebContext> browserContext_;
    WebKitWebView* appView_ = nullptr;
    WebKitWebView* browserView_ = nullptr;
    std::unique_ptr<GtkWebSurface> appSurface_;
    std::unique_ptr<GtkWebSurface> browserSurface_;
    std::unique_ptr<GtkBrowserChrome> chrome_;
    std::shared_ptr<GtkDialogs> dialogs_;
    std::shared_ptr<MainWindowController> controller_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool smokeStarted_ = false;
    bool smokeAwaitingBrowser_ = false;
    std::string smokeReport_;
};

} // namespace velmora::gtkshell
