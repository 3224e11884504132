#include "shell/gtk/DesktopShell.h"

#include "app/Actions.h"
#include "app/JobSyncScheduler.h"
#include "core/Log.h"
#include "shell/gtk/PageAdapterScript.h"

#include <cstdlib>

namespace velmora::gtkshell {

namespace {

constexpr const char* kSmokeRequestId = "velmora-smoke-test";

// WebKit's web-process sandbox (bubblewrap) where the system can run it: some containers
// and root sessions cannot create the namespaces it needs, and a sandbox that cannot start
// leaves only a blank window.
bool sandboxUsable() {
    if (std::getenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS")) return false;
    GCharPtr bwrap(g_find_program_in_path("bwrap"));
    if (!bwrap) return false;
    const gchar* argv[] = {bwrap.get(), "--ro-bind", "/", "/", "--unshare-all", "--die-with-parent", "true", nullptr};
    gint status = 1;
    GError* rawError = nullptr;
    gboolean ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                                GSpawnFlags(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                                nullptr, nullptr, nullptr, &status, &rawError);
    GErrorPtr error(rawError);
    return ran && g_spawn_check_wait_status(status, nullptr);
}

WebKitWebContext* newInterfaceContext() {
    // The interface keeps nothing in web storage: all data lives in the core.
    return webkit_web_context_new_ephemeral();
}

WebKitWebContext* newBrowserContext(const std::filesystem::path& browserDir) {
    // Employer sites keep their own cookies and cache (sign-ins survive a restart) in a
    // store of their own, never shared with the interface page.
    auto data = (browserDir / "data").string();
    auto cache = (browserDir / "cache").string();
    GObjectPtr<WebKitWebsiteDataManager> manager(WEBKIT_WEBSITE_DATA_MANAGER(
        g_object_new(WEBKIT_TYPE_WEBSITE_DATA_MANAGER, "base-data-directory", data.c_str(), "base-cache-directory",
                     cache.c_str(), nullptr)));
    return webkit_web_context_new_with_website_data_manager(manager.get());
}

std::string navigationUri(WebKitNavigationAction* action) {
    if (!action) return "";
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const gchar* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    return uri ? uri : "";
}

} // namespace

DesktopShell::DesktopShell(GtkApplication* app, std::shared_ptr<AppContext> ctx, Options options)
    : ctx_(std::move(ctx)), options_(std::move(options)) {
    GtkBrowserChrome::installStyles();

    window_ = gtk_application_window_new(app);
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "velmora-main");
    gtk_window_set_title(GTK_WINDOW(window_), "Velmora by Quorvane");
    gtk_window_set_default_size(GTK_WINDOW(window_), 1480, 900);
    GdkGeometry minimum{};
    minimum.min_width = 1120;
    minimum.min_height = 720;
    gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &minimum, GDK_HINT_MIN_SIZE);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    gtk_window_set_icon_name(GTK_WINDOW(window_), "velmora");

    dialogs_ = std::make_shared<GtkDialogs>(GTK_WINDOW(window_));
    ctx_->dialogs = dialogs_;

    bool sandbox = sandboxUsable();
    interfaceContext_.reset(newInterfaceContext());
    browserContext_.reset(newBrowserContext(ctx_->paths->browserDirectory()));
    for (WebKitWebContext* context : {interfaceContext_.get(), browserContext_.get()}) {
        webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_WEB_BROWSER);
        if (sandbox) webkit_web_context_set_sandbox_enabled(context, TRUE);
        // No page may write files to disk behind the user's back: every download is refused.
        g_signal_connect(context, "download-started", G_CALLBACK(onDownloadStarted), nullptr);
    }
    if (sandbox) {
        // The sandboxed web process may read the interface's own files only.
        for (const auto& root : options_.resourceRoots) {
            std::error_code ec;
            auto ui = std::filesystem::weakly_canonical(root / "ui", ec);
            if (!ec && std::filesystem::is_directory(ui, ec))
                webkit_web_context_add_path_to_sandbox(interfaceContext_.get(), ui.c_str(), TRUE);
        }
    }

    // The interface view: the page adapter in the main frame at document start and the one
    // "velmora" message handler. The browser view gets neither.
    GObjectPtr<WebKitUserContentManager> content(webkit_user_content_manager_new());
    WebKitUserScript* adapter = webkit_user_script_new(kPageAdapterScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content.get(), adapter); // takes its own reference
    webkit_user_script_unref(adapter);
    g_signal_connect(content.get(), "script-message-received::velmora", G_CALLBACK(onScriptMessage), this);
    webkit_user_content_manager_register_script_message_handler(content.get(), "velmora");

    appView_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", interfaceContext_.get(),
                                            "user-content-manager", content.get(), nullptr));
    WebKitSettings* appSettings = webkit_web_view_get_settings(appView_);
    // The page's ES modules are files beside it; file pages need this to load them.
    webkit_settings_set_allow_file_access_from_file_urls(appSettings, TRUE);
    webkit_settings_set_javascript_can_open_windows_automatically(appSettings, FALSE);
    webkit_settings_set_enable_developer_extras(appSettings, std::getenv("VELMORA_DEVTOOLS") != nullptr);

    browserView_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", browserContext_.get(), nullptr));
    WebKitSettings* browserSettings = webkit_web_view_get_settings(browserView_);
    // Pages may open windows without a click; each one becomes a navigation of this view.
    webkit_settings_set_javascript_can_open_windows_automatically(browserSettings, TRUE);
    webkit_settings_set_allow_file_access_from_file_urls(browserSettings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(browserSettings, FALSE);

    for (WebKitWebView* view : {appView_, browserView_}) {
        g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
        g_signal_connect(view, "create", G_CALLBACK(onCreate), this);
        g_signal_connect(view, "run-file-chooser", G_CALLBACK(onRunFileChooser), this);
        g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), this);
        g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(onLoadFailedWithTlsErrors), this);
        g_signal_connect(view, "permission-request", G_CALLBACK(onPermissionRequest), nullptr);
    }

    appSurface_ = std::make_unique<GtkWebSurface>(appView_);
    browserSurface_ = std::make_unique<GtkWebSurface>(browserView_);

    std::weak_ptr<bool> alive = alive_;
    auto withController = [this, alive](void (MainWindowController::*operation)()) {
        return [this, alive, operation] {
            if (alive.lock() && controller_) (controller_.get()->*operation)();
        };
    };
    chrome_ = std::make_unique<GtkBrowserChrome>(
        window_, GTK_WIDGET(appView_), GTK_WIDGET(browserView_),
        GtkBrowserChrome::Actions{withController(&MainWindowController::assistApply),
                                  withController(&MainWindowController::reloadExternal),
                                  withController(&MainWindowController::closeExternal)});

    GtkWidget* overlay = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(overlay), GTK_WIDGET(appView_));
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), chrome_->layer());
    gtk_container_add(GTK_CONTAINER(window_), overlay);
    gtk_widget_show(overlay);
    gtk_widget_show(GTK_WIDGET(appView_));

    // Once the window is gone nothing may reach its widgets, not even late script replies.
    g_signal_connect_swapped(window_, "destroy", G_CALLBACK(+[](gpointer data) {
                                 auto* shell = static_cast<DesktopShell*>(data);
                                 shell->window_ = nullptr;
                                 *shell->alive_ = false;
                                 if (shell->ctx_) shell->ctx_->applyNativeLanguage = nullptr;
                                 shell->controller_.reset();
                             }),
                             this);

    bridge_ = std::make_unique<Bridge>(ui_, background_, [this, alive](const std::string& envelope) {
        if (!alive.lock()) return;
        appSurface_->evaluateScript(Bridge::deliveryScript(envelope),
                                    [](std::optional<nlohmann::json>, const std::string&) {});
    });
    registerActions(*bridge_, *ctx_);

    MainWindowController::Options controllerOptions;
    controllerOptions.resourceRoots = options_.resourceRoots;
    std::weak_ptr<AppContext> weakCtx = ctx_;
    controllerOptions.autoSyncIfDue = [weakCtx] {
        if (auto ctx = weakCtx.lock(); ctx && ctx->jobSync) ctx->jobSync->autoSyncIfDue();
    };
    controller_ = MainWindowController::create(
        ctx_, MainWindowController::Platform{ui_, *appSurface_, *browserSurface_, *chrome_, *dialogs_},
        std::move(controllerOptions));
    ctx_->window = controller_;
    std::weak_ptr<MainWindowController> weakController = controller_;
    ctx_->applyNativeLanguage = [weakController] {
        if (auto controller = weakController.lock()) controller->applyNativeLanguage();
    };
}

DesktopShell::~DesktopShell() {
    // Destroy the window while this object can still answer the signals that raises.
    if (window_) gtk_widget_destroy(window_);
    *alive_ = false;
    if (ctx_) {
        ctx_->applyNativeLanguage = nullptr;
        ctx_->dialogs.reset();
    }
    controller_.reset();
}

bool DesktopShell::start() {
    if (!controller_->loadUI()) return false;
    controller_->setupTimers();
    return true;
}

void DesktopShell::present() {
    gtk_widget_show(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

WebViewRole DesktopShell::roleOf(WebKitWebView* view) const {
    if (view == appView_) return WebViewRole::Interface;
    if (view == browserView_) return WebViewRole::Browser;
    return WebViewRole::Other;
}

void DesktopShell::onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    if (!*self->alive_ || !self->bridge_ || !self->controller_) return;
    // Only the interface page itself may reach the core, never whatever it was navigated to.
    const gchar* pageUri = webkit_web_view_get_uri(self->appView_);
    if (!self->controller_->acceptsBridgeMessage(WebViewRole::Interface, pageUri ? pageUri : "")) {
        logLine(std::string("Velmora ignored a bridge message from ") + (pageUri ? pageUri : "an empty page"));
        return;
    }
    // As text, so the bridge's size and nesting limits apply before any value is built.
    GCharPtr text(jsc_value_to_json(webkit_javascript_result_get_js_value(result), 0));
    if (text) self->bridge_->receiveLine(text.get()); // non-object bodies are dropped there
}

void DesktopShell::onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
    const gchar* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    logLine(std::string("Velmora refused a download from ") + (uri ? uri : "a page"));
    webkit_download_cancel(download);
}

gboolean DesktopShell::onPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
    // Neither view needs the camera, microphone, location, notifications or any other device.
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean DesktopShell::onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE; // new windows go to "create"
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
    std::string uri = navigationUri(action);
    const bool userGesture = webkit_navigation_action_is_user_gesture(action);
    WebViewRole role = self->roleOf(view);
    // Decided on a fresh UI task: the rules may show a modal alert, which must not run
    // inside WebKit's signal emission.
    g_object_ref(decision);
    std::weak_ptr<bool> alive = self->alive_;
    self->ui_.post([self, alive, decision, uri, role, userGesture] {
        bool allow = false;
        if (alive.lock() && *alive.lock() && self->controller_)
            allow = self->controller_->decidePolicy(role, uri, userGesture);
        if (allow) {
            webkit_policy_decision_use(decision);
        } else {
            webkit_policy_decision_ignore(decision);
        }
        g_object_unref(decision);
    });
    return TRUE;
}

GtkWidget* DesktopShell::onCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    std::string uri = navigationUri(action);
    const bool userGesture = webkit_navigation_action_is_user_gesture(action);
    WebViewRole role = self->roleOf(view);
    std::weak_ptr<bool> alive = self->alive_;
    self->ui_.post([self, alive, uri, role, userGesture] {
        if (alive.lock() && *alive.lock() && self->controller_)
            self->controller_->newWindowRequested(role, uri, userGesture);
    });
    return nullptr; // never a second web view
}

gboolean DesktopShell::onRunFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    WebViewRole role = self->roleOf(view);
    if (self->controller_) {
        if (auto pending = self->controller_->takePendingUpload(role)) {
            const gchar* files[] = {pending->c_str(), nullptr};
            webkit_file_chooser_request_select_files(request, files);
            return TRUE;
        }
    }
    g_object_ref(request);
    std::weak_ptr<bool> alive = self->alive_;
    self->ui_.post([self, alive, request] {
        std::vector<std::filesystem::path> chosen;
        if (alive.lock() && *alive.lock())
            chosen = self->dialogs_->chooseUploadFiles(webkit_file_chooser_request_get_select_multiple(request));
        if (chosen.empty()) {
            webkit_file_chooser_request_cancel(request);
        } else {
            std::vector<const gchar*> files;
            for (const auto& file : chosen) files.push_back(file.c_str());
            files.push_back(nullptr);
            webkit_file_chooser_request_select_files(request, files.data());
        }
        g_object_unref(request);
    });
    return TRUE;
}

void DesktopShell::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    if (event != WEBKIT_LOAD_FINISHED || !*self->alive_ || !self->controller_) return;
    WebViewRole role = self->roleOf(view);
    self->controller_->navigationFinished(role);
    if (role == WebViewRole::Browser && self->smokeAwaitingBrowser_) {
        self->smokeAwaitingBrowser_ = false;
        self->runSmokeAssist();
    }
    if (role == WebViewRole::Interface && self->options_.smokeTest && !self->smokeStarted_) {
        self->smokeStarted_ = true;
        self->runSmokeTest();
    }
}

// The application browser shows Velmora's own page for a failed load instead of the web
// engine's raw error text; the interface page's failures stay with the engine (they mean a
// broken installation, which start-up reports on its own).
gboolean DesktopShell::onLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    if (!*self->alive_ || !self->controller_ || self->roleOf(view) != WebViewRole::Browser || !error) return FALSE;
    // A load stopped by the user, by a newer load or by the link policy is not a failure.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        error->domain == WEBKIT_POLICY_ERROR || error->domain == WEBKIT_DOWNLOAD_ERROR)
        return FALSE;
    LoadFailure failure = LoadFailure::Other;
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    if (monitor && !g_network_monitor_get_network_available(monitor)) failure = LoadFailure::Offline;
    else if (error->domain == G_RESOLVER_ERROR) failure = LoadFailure::Dns;
    else if (error->domain == G_TLS_ERROR) failure = LoadFailure::Tls;
    else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) failure = LoadFailure::Timeout;
    else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE)) failure = LoadFailure::Offline;
    self->showLoadFailure(view, uri, failure);
    return TRUE;
}

gboolean DesktopShell::onLoadFailedWithTlsErrors(WebKitWebView* view, gchar* uri, GTlsCertificate*, GTlsCertificateFlags,
                                                 gpointer data) {
    auto* self = static_cast<DesktopShell*>(data);
    if (!*self->alive_ || !self->controller_ || self->roleOf(view) != WebViewRole::Browser) return FALSE;
    self->showLoadFailure(view, uri, LoadFailure::Tls);
    return TRUE;
}

void DesktopShell::showLoadFailure(WebKitWebView* view, const char* uri, LoadFailure failure) {
    const std::string address = uri ? uri : "";
    const std::string html = browserErrorPage(address, failure, controller_->language());
    // Shown under the failed address, so Reload and the toolbar keep pointing at it.
    webkit_web_view_load_alternate_html(view, html.c_str(), address.c_str(), nullptr);
}

void DesktopShell::runSmokeTest() {
    // The requests take the page's own road: postMessage, the script message handler, the
    // bridge, and the delivery script back into the page's listeners.
    const std::string openUrl = nlohmann::json(options_.smokeOpenUrl).dump();
    const std::string resume = nlohmann::json(options_.smokeResume).dump();
    const std::string body = std::string(R"JS(
const ask = (action, payload) => new Promise((resolve, reject) => {
  const id = ')JS") + kSmokeRequestId + R"JS(-' + action;
  const timer = setTimeout(() => reject(new Error('No reply from the Velmora core to ' + action + '.')), 90000);
  window.chrome.webview.addEventListener('message', (event) => {
    if (event.data && event.data.id === id) { clearTimeout(timer); resolve(event.data); }
  });
  window.chrome.webview.postMessage({ action, id, payload });
});
const state = await ask('getInitialState', {});
const report = { state };
const openUrl = )JS" + openUrl + R"JS(;
if (openUrl) {
  report.profile = await ask('saveApplicationProfile', { fullName: 'Ana Maria Lima', email: 'ana@example.com',
    phone: '+351 912 345 678', resumePath: )JS" + resume + R"JS( });
  report.open = await ask('openJob', { url: openUrl, force: true, title: 'Smoke test application', company: 'Loopback' });
}
return JSON.stringify(report);)JS";
    webkit_web_view_call_async_javascript_function(
        appView_, body.c_str(), static_cast<gssize>(body.size()), nullptr, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* self = static_cast<DesktopShell*>(data);
            GError* rawError = nullptr;
            GObjectPtr<JSCValue> value(
                webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &rawError));
            GErrorPtr error(rawError);
            if (!value || !jsc_value_is_string(value.get())) {
                self->options_.smokeTest(error && error->message ? error->message : "no reply", false);
                return;
            }
            GCharPtr text(jsc_value_to_string(value.get()));
            auto report = nlohmann::json::parse(text.get(), nullptr, false);
            bool ok = !report.is_discarded() && report["state"].value("ok", false);
            self->smokeReport_ = "reply: " + (ok ? report["state"].dump() : std::string(text.get()));
            if (!ok || self->options_.smokeOpenUrl.empty()) return self->options_.smokeTest(self->smokeReport_, ok);
            bool opened = report["open"].value("ok", false) && report["open"]["data"].value("opened", false);
            self->smokeReport_ += "\nopenJob: " + report["open"].dump();
            if (!opened || !report["profile"].value("ok", false))
                return self->options_.smokeTest(self->smokeReport_ + "\nprofile: " + report["profile"].dump(), false);
            // Assist Apply runs once the application page has loaded in the browser.
            self->smokeAwaitingBrowser_ = true;
        },
        this);
}

void DesktopShell::runSmokeAssist() {
    std::weak_ptr<bool> alive = alive_;
    controller_->assistApplyAsync([this, alive] {
        if (!alive.lock() || !*alive.lock()) return;
        std::string title = chrome_->title();
        // What the employer's page could reach from a file address, as the running view has it.
        WebKitSettings* browserSettings = webkit_web_view_get_settings(browserView_);
        const bool fileUrlsOpen = webkit_settings_get_allow_file_access_from_file_urls(browserSettings) ||
                                  webkit_settings_get_allow_universal_access_from_file_urls(browserSettings);
        smokeReport_ += "\nbrowser badge: " + chrome_->securityText() + "\nbrowser address: " + chrome_->address() +
                        "\nassist: " + title + "\nbrowser file urls: " + (fileUrlsOpen ? "open" : "closed");
        bool attached = options_.smokeResume.empty() || title.find("resume attached") != std::string::npos;
        options_.smokeTest(smokeReport_, title.rfind("Assist complete: ", 0) == 0 && attached);
    });
}

} // namespace velmora::gtkshell
