#pragma once

#include "app/AppContext.h"
#include "app/MainWindowController.h"
#include "support/FakeBrowserChrome.h"
#include "support/FakeDialogs.h"
#include "support/FakeWebSurface.h"
#include "support/ManualUiLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>


namespace velmora::testing {

// A window controller over fake web views, dialogs and toolbar, a fresh data folder and a
// resource folder of our own holding the page and a form-filling script that shows what it got.
class ControllerTestBed : public ::testing::Test {
protected:
    TempDir data;
    TempDir resources;
    std::shared_ptr<AppContext> ctx = AppContext::create(AppPaths(data.path()));
    ManualUiLoop ui;
    FakeWebSurface appView{ui};
    FakeWebSurface browserView{ui};
    FakeBrowserChrome chrome;
    FakeDialogs dialogs;
    std::shared_ptr<MainWindowController> controller;
    std::vector<std::filesystem::path> pageFiles; // what the page's upload field took
    std::string lastAutofillScript;
    int syncChecks = 0;

    ControllerTestBed() {
        std::filesystem::create_directories(resources / "ui");
        writeFile(resources / "ui" / "index.html", "<!doctype html><title>t</title>");
        writeFile(resources / "ui" / "assist-autofill.js", "({ profile: __VELMORA_PROFILE__, again: __VELMORA_PROFILE__ })");
        controller = create({resources.path()});
    }

    // Over the given resource folders; the window the actions reach.
    std::shared_ptr<MainWindowController> create(std::vector<std::filesystem::path> roots) {
        MainWindowController::Options options;
        options.resourceRoots = std::move(roots);
        options.autoSyncIfDue = [this] { ++syncChecks; };
        auto made = MainWindowController::create(ctx, {ui, appView, browserView, chrome, dialogs}, std::move(options));
        ctx->window = made;
        return made;
    }

    // The employer's page: answers the autofill script with `autofillResult`; its marked upload
    // field is clicked when `hasField`, and the click raises the upload prompt (which takes the
    // armed file) when `raisesPrompt`.
    void simulatePage(const json& autofillResult, bool hasField, bool raisesPrompt = true) {
        browserView.respond = [=, this](const std::string& script) -> FakeWebSurface::Answer {
            if (script == uploadClickScript()) {
                if (hasField && raisesPrompt)
                    if (auto file = controller->takePendingUpload(WebViewRole::Browser)) pageFiles.push_back(*file);
                return {json(hasField), ""};
            }
            if (script == uploadCheckScript()) return {json(!pageFiles.empty()), ""};
            lastAutofillScript = script;
            return {autofillResult, ""};
        };
    }

    void runAssist() {
        bool finished = false;
        controller->assistApplyAsync([&] { finished = true; });
        ui.advance(std::chrono::seconds(1)); // script answers and the 0.7 s upload wait
        ASSERT_TRUE(finished);
    }

    // Entries in Temp: each copy lives in a folder of its own.
    size_t tempFiles() const {
        std::error_code ec;
        return std::distance(std::filesystem::directory_iterator(ctx->paths->tempDirectory(), ec), {});
    }
};

} // namespace velmora::testing
