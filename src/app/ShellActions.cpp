// Bridge actions served by the main window: the page's start-up data, closing the
// application browser when the page changes screens, and opening pages in the browser.

#include "app/Actions.h"
#include "app/MainWindowController.h"
#include "app/SettingsActions.h"
#include "core/VelmoraError.h"

namespace velmora {

namespace {

constexpr const char* kVersion = "0.2.2";

std::shared_ptr<MainWindowController> windowOf(const AppContext& ctx) {
    auto window = ctx.window.lock();
    if (!window) throw VelmoraError("The Velmora window is not available.");
    return window;
}

json initialState(const AppContext& ctx) {
    json dashboard = ctx.db->dashboardCounts();
    dashboard.update(ctx.db->trackerCounts());
    json summary = nullptr;
    try {
        if (ctx.jobs) summary = ctx.jobs->lastSummary();
    } catch (const std::exception&) {
        // shown as "no sync yet"; the next sync writes a fresh one
    }
    return json{
        {"version", kVersion},
        {"databasePath", ctx.paths->database().string()},
        {"settings", publicSettings(*ctx.db)},
        {"dashboard", dashboard},
        {"syncSummary", summary},
    };
}

} // namespace

void registerShellActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("getInitialState", [&ctx](const json&) { return initialState(ctx); });

    bridge.addSync("appPageChanged", [&ctx](const json&) {
        if (auto window = ctx.window.lock()) window->hideExternalBrowser();
        return json{{"ok", true}};
    });

    bridge.addSync("openJob", [&ctx](const json& payload) { return windowOf(ctx)->openJob(payload); });

    // Reopening a tracked application skips the rating and records nothing: the user chose
    // this link before. A non-web address is still refused (with the blocked-link alert), and
    // the reply says so rather than claiming the page opened.
    bridge.addSync("reopenApplication", [&ctx](const json& payload) {
        bool opened = windowOf(ctx)->navigateExternal(JSONTools::s(payload, "url", ""), true);
        return json{{"opened", opened}};
    });

    bridge.addSync("openWebsite", [&ctx](const json& payload) {
        bool opened = windowOf(ctx)->navigateExternal(JSONTools::s(payload, "url", ""), false);
        return json{{"opened", opened}};
    });
}

} // namespace velmora
