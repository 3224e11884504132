#pragma once

#include "app/AppContext.h"
#include "app/MainWindowController.h"
#include "support/FakeBrowserChrome.h"
#include "support/FakeDialogs.h"
#include "support/FakeWebSurface.h"
#include "support/ManualUiLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

namespace velmora::testing {

// A window controller over fake web views, dialogs and toolbar, a fresh data folder and a
// resource folder of our own, so each test says only which interface files exist.
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

    // Writes ui/<name> for each entry; the controller finds them under the resource folder.
    void writeUi(const std::map<std::string, std::string>& files) {
        for (const auto& [name, text] : files) {
            std::filesystem::create_directories((resources / "ui" / name).parent_path());
            writeFile(resources / "ui" / name, text);
        }
    }

    // Over our resource folder unless the options name other roots.
    std::shared_ptr<MainWindowController> create(MainWindowController::Options options = {}) {
        if (options.resourceRoots.empty()) options.resourceRoots = {resources.path()};
        return MainWindowController::create(ctx, MainWindowController::Platform{ui, appView, browserView, chrome, dialogs},
                                            std::move(options));
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
        auto it = std::filesystem::directory_iterator(ctx->paths->tempDirectory(), ec);
        return ec ? 0 : std::distance(it, std::filesystem::directory_iterator());
    }
};

} // namespace velmora::testing
