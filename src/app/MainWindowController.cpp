#include "app/MainWindowController.h"

#include "app/Actions.h"
#include "core/Log.h"
#include "core/Text.h"
#include "core/VelmoraError.h"

#include <fstream>
#include <sstream>

namespace velmora {

namespace {

constexpr const char* kDockedClass = "browser-docked";

std::string readUtf8File(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw VelmoraError("Could not read " + file.filename().string() + ".");
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) throw VelmoraError("Could not read " + file.filename().string() + ".");
    std::string content = out.str();
    if (!text::isValidUtf8(content)) throw VelmoraError(file.filename().string() + " is not valid UTF-8 text.");
    return content;
}

bool profileIsEmpty(const ApplicationProfile& profile) {
    return profile.resumeName.empty() && profile.fullName.empty() && profile.email.empty() && profile.phone.empty();
}

} // namespace

std::shared_ptr<MainWindowController> MainWindowController::create(std::shared_ptr<AppContext> ctx, Platform platform,
                                                                   Options options) {
    std::shared_ptr<MainWindowController> controller(
        new MainWindowController(std::move(ctx), platform, std::move(options)));
    controller->setupViews();
    return controller;
}

MainWindowController::MainWindowController(std::shared_ptr<AppContext> ctx, Platform platform, Options options)
    : ctx_(std::move(ctx)), platform_(platform), options_(std::move(options)) {}

MainWindowController::~MainWindowController() {
    if (syncTimer_) platform_.ui.cancelTimer(*syncTimer_);
    // Quitting within the clean-up delay must not leave a plain-text resume behind.
    for (const auto& file : tempResumeURLs_) ctx_->profiles->deleteTemporaryFile(file);
}

void MainWindowController::setupViews() {
    platform_.chrome.setLayerVisible(false);
    platform_.chrome.setLayerLeading(kSidebarWidth);
    platform_.chrome.setAssistEnabled(true);
    // The labels follow the saved language from the start rather than only after the first
    // settings save or browser close.
    applyNativeLanguage();
}

std::string MainWindowController::language() const { return defaultLanguage(*ctx_->db); }

std::optional<std::filesystem::path> MainWindowController::findResource(const std::string& name) const {
    for (const auto& root : options_.resourceRoots) {
        std::error_code ec;
        auto candidate = root / "ui" / name;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

bool MainWindowController::loadUI() {
    auto page = findResource("index.html");
    if (!page) {
        platform_.dialogs.showInfo(kMissingInterface);
        platform_.chrome.closeWindow();
        return false;
    }
    std::error_code ec;
    auto absolute = std::filesystem::weakly_canonical(*page, ec);
    if (ec) absolute = std::filesystem::absolute(*page);
    uiRoot_ = absolute.parent_path();
    platform_.appView.loadFile(absolute, *uiRoot_);
    return true;
}

void MainWindowController::setupTimers() {
    if (syncTimer_) return;
    std::weak_ptr<MainWindowController> weak = weak_from_this();
    syncTimer_ = platform_.ui.startTimer(options_.syncInterval, true, [weak] {
        auto self = weak.lock();
        if (!self || !self->options_.autoSyncIfDue) return;
        self->platform_.ui.post([weak] {
            if (auto again = weak.lock()) again->options_.autoSyncIfDue();
        });
    });
}

void MainWindowController::applyNativeLanguage() {
    auto texts = toolbarTexts(language());
    platform_.chrome.setButtonTitles(texts.assist, texts.reload, texts.close);
    if (!platform_.chrome.isLayerVisible()) {
        platform_.chrome.setTitle(texts.browserTitle);
        platform_.chrome.setSecurityText(texts.securityLabel);
    } else {
        applyBrowserModeLabel();
        updateSecurityBadge(platform_.browserView.currentUrl());
    }
}

void MainWindowController::applyBrowserModeLabel() {
    platform_.chrome.setTitle(browserModeLabel(language(), externalMode_));
}

void MainWindowController::updateSecurityBadge(const std::optional<std::string>& url) {
    if (url && isWebAddress(*url)) {
        auto rating = ctx_->security->assess(*url, "");
        platform_.chrome.setSecurityText(securityBadgeText(rating.label, rating.score));
    } else {
        // A page that is not a web address (about:blank after a redirect) shows the badge the
        // toolbar shows while closed, in the user's language.
        platform_.chrome.setSecurityText(toolbarTexts(language()).securityLabel);
    }
}

json MainWindowController::openJob(const json& payload) {
    std::string url = JSONTools::s(payload, "url", "");
    std::string source = JSONTools::s(payload, "source", "");
    auto rating = ctx_->security->assess(url, source);
    bool force = JSONTools::b(payload, "force", false);

    auto result = [&](bool opened, bool requiresConfirmation) {
        return json{{"opened", opened}, {"requiresConfirmation", requiresConfirmation}, {"security", rating.toJson()}};
    };
    if (rating.label == "Blocked") return result(false, false);
    if (rating.score <= 49 && !force) return result(false, true);

    std::optional<int64_t> jobId;
    if (payload.is_object() && payload.contains("id")) jobId = JSONTools::i64(payload, "id", 0);
    ctx_->db->recordOpenedApplication(jobId, JSONTools::s(payload, "title", "Job application"),
                                      JSONTools::s(payload, "company", ""), url);
    navigateExternal(url, true);
    return result(true, false);
}

bool MainWindowController::navigateExternal(const std::string& link, bool allowAssist) {
    // The canonical form is what was rated, so it is what loads.
    auto canonical = canonicalWebAddress(link);
    if (!canonical) {
        platform_.dialogs.showInfo(kBlockedLink);
        return false;
    }
    const std::string& url = *canonical;
    externalMode_ = allowAssist ? "application" : "website";
    platform_.appView.setVisible(true);
    platform_.chrome.setLayerLeading(kSidebarWidth);
    platform_.chrome.setAssistVisible(allowAssist);
    platform_.appView.addBodyClass(kDockedClass);
    platform_.chrome.setLayerVisible(true);
    updateSecurityBadge(url);
    platform_.chrome.setAddress(url);
    platform_.browserView.stop();
    platform_.browserView.loadUrl(url);
    applyBrowserModeLabel();
    return true;
}

void MainWindowController::hideExternalBrowser() {
    platform_.chrome.setLayerVisible(false);
    platform_.chrome.setAddress("");
    platform_.appView.setVisible(true);
    platform_.chrome.setLayerLeading(kSidebarWidth);
    platform_.appView.removeBodyClass(kDockedClass);
    platform_.chrome.focusInterface();
    applyNativeLanguage();
}

void MainWindowController::openInterfaceScreen(const std::string& screen) {
    hideExternalBrowser();
    const json event{{"type", "event"}, {"name", "openScreen"}, {"data", {{"screen", screen}}}};
    platform_.appView.evaluateScript(Bridge::deliveryScript(event.dump()), [](std::optional<json>, const std::string&) {});
}

void MainWindowController::reloadExternal() { platform_.browserView.reload(); }

void MainWindowController::closeExternal() { hideExternalBrowser(); }

void MainWindowController::showBlockedLinkNotice() {
    // In the toolbar, not a modal alert, and at most once per interval however often it is asked.
    if (blockedNoticeResting_) return;
    blockedNoticeResting_ = true;
    platform_.chrome.setTitle(kBlockedLink);
    std::weak_ptr<MainWindowController> weak = weak_from_this();
    platform_.ui.startTimer(options_.blockedNoticeInterval, false, [weak] {
        if (auto self = weak.lock()) self->blockedNoticeResting_ = false;
    });
}

bool MainWindowController::decidePolicy(WebViewRole source, const std::string& url, bool userGesture) {
    switch (decideNavigation(url, source, uiRoot_)) {
    case NavigationVerdict::Allow:
        if (source == WebViewRole::Browser && isWebAddress(url)) updateSecurityBadge(url);
        return true;
    case NavigationVerdict::Cancel:
        return false;
    case NavigationVerdict::CancelAndOpenInBrowser:
        navigateExternal(url, false);
        return false;
    case NavigationVerdict::CancelWithBlockedMessage:
        if (userGesture) showBlockedLinkNotice();
        return false;
    }
    return false;
}

void MainWindowController::navigationFinished(WebViewRole source) {
    if (source != WebViewRole::Browser) return;
    applyBrowserModeLabel();
    const auto url = platform_.browserView.currentUrl();
    updateSecurityBadge(url);
    // After redirects the page may be somewhere else than the link the user opened.
    platform_.chrome.setAddress(url);
}

void MainWindowController::newWindowRequested(WebViewRole source, const std::string& url, bool userGesture) {
    if (url.empty()) return;
    if (source == WebViewRole::Interface) {
        navigateExternal(url, false);
    } else if (source == WebViewRole::Browser) {
        // Refused here as well as in the load's own policy check: a popup must never carry a
        // file:, data: or javascript: address into the browser, whatever the platform does.
        if (decidePolicy(WebViewRole::Browser, url, userGesture)) platform_.browserView.loadUrl(url);
    }
}

std::optional<std::filesystem::path> MainWindowController::takePendingUpload(WebViewRole source) {
    if (source != WebViewRole::Browser || !pendingAutoResumeURL_) return std::nullopt;
    auto file = std::move(pendingAutoResumeURL_);
    pendingAutoResumeURL_.reset();
    return file;
}

void MainWindowController::tryUploadResume(const std::filesystem::path& file, std::function<void(bool)> done) {
    pendingAutoResumeURL_ = file;
    tempResumeURLs_.insert(file);
    std::weak_ptr<MainWindowController> weak = weak_from_this();
    platform_.browserView.evaluateIsolatedScript(
        uploadClickScript(), [weak, done](std::optional<json> clicked, const std::string&) {
            auto self = weak.lock();
            if (!self) return done(false);
            if (!clicked || !clicked->is_boolean() || !clicked->get<bool>()) {
                self->pendingAutoResumeURL_.reset();
                return done(false);
            }
            // The page needs a moment to raise its upload prompt and take the file.
            self->platform_.ui.startTimer(self->options_.uploadCheckDelay, false, [weak, done] {
                auto self = weak.lock();
                if (!self) return done(false);
                self->platform_.browserView.evaluateIsolatedScript(
                    uploadCheckScript(), [weak, done](std::optional<json> filled, const std::string&) {
                        auto self = weak.lock();
                        if (!self) return done(false);
                        // One upload per arming: whether or not the page took the file, the
                        // next upload prompt (of any site) must not receive the resume unasked.
                        self->pendingAutoResumeURL_.reset();
                        done(filled && filled->is_boolean() && filled->get<bool>());
                    });
            });
        });
}

void MainWindowController::scheduleTempCleanup(const std::filesystem::path& file) {
    tempResumeURLs_.insert(file);
    std::weak_ptr<MainWindowController> weak = weak_from_this();
    platform_.ui.startTimer(options_.tempCleanupDelay, false, [weak, file] {
        auto self = weak.lock();
        if (!self) return;
        self->ctx_->profiles->deleteTemporaryFile(file);
        self->tempResumeURLs_.erase(file);
    });
}

void MainWindowController::assistApply() {
    std::weak_ptr<MainWindowController> weak = weak_from_this();
    platform_.ui.post([weak] {
        if (auto self = weak.lock()) self->assistApplyAsync();
    });
}

void MainWindowController::finishAssist(const std::string& title, const std::optional<std::filesystem::path>& tempFile,
                                        const std::function<void()>& done) {
    platform_.chrome.setTitle(title);
    platform_.chrome.setAssistEnabled(true);
    if (tempFile) scheduleTempCleanup(*tempFile);
    if (done) done();
}

void MainWindowController::failAssist(const std::string& message, const std::optional<std::filesystem::path>& tempFile,
                                      const std::function<void()>& done) {
    platform_.chrome.setTitle(kAssistFailedTitle);
    platform_.dialogs.showInfo("Velmora could not autofill this application page.\n\n" + message +
                               "\n\nYou can still complete the form manually inside Velmora.");
    platform_.chrome.setAssistEnabled(true);
    if (tempFile) scheduleTempCleanup(*tempFile);
    if (done) done();
}

void MainWindowController::assistApplyAsync(std::function<void()> done) {
    ApplicationProfile profile = ctx_->profiles->get();
    if (profileIsEmpty(profile)) {
        // The way to the profile is offered right here, not left for the user to find.
        if (platform_.dialogs.askChoice(kProfileIncompleteTitle, kProfileIncomplete, kOpenProfile, kNotNow))
            openInterfaceScreen("profile");
        if (done) done();
        return;
    }
    platform_.chrome.setAssistEnabled(false);
    platform_.chrome.setTitle(kAssistRunning);

    std::string script;
    try {
        std::string payload = JSONTools::string(json::parse(profile.storedJson()));
        auto location = findResource("assist-autofill.js");
        if (!location) throw VelmoraError(kScriptMissing);
        script = substituteProfile(readUtf8File(*location), payload);
    } catch (const std::exception& e) {
        return failAssist(e.what(), std::nullopt, done);
    }

    std::weak_ptr<MainWindowController> weak = weak_from_this();
    platform_.browserView.evaluateIsolatedScript(script, [weak, done](std::optional<json> value, const std::string& error) {
        auto self = weak.lock();
        if (!self) {
            if (done) done();
            return;
        }
        if (!value) {
            return self->failAssist(error.empty() ? "The page could not run the autofill script." : error,
                                    std::nullopt, done);
        }
        json result = value->is_object() ? *value : json::object();
        int64_t filled = 0;
        if (auto it = result.find("filled"); it != result.end() && it->is_array()) filled = int64_t(it->size());
        bool targetFound = false;
        if (auto it = result.find("resumeTargetFound"); it != result.end() && it->is_boolean())
            targetFound = it->get<bool>();

        auto summarize = [weak, filled, done](bool attached, std::optional<std::filesystem::path> tempFile) {
            auto self = weak.lock();
            if (!self) {
                if (done) done();
                return;
            }
            self->finishAssist(buildAssistSummary(self->language(), filled, attached), tempFile, done);
        };
        if (!targetFound) return summarize(false, std::nullopt);
        auto tempFile = self->ctx_->profiles->createTemporaryResumeFile();
        if (!tempFile) return summarize(false, std::nullopt);
        self->tryUploadResume(*tempFile, [summarize, tempFile](bool attached) { summarize(attached, tempFile); });
    });
}

} // namespace velmora
