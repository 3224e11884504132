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
};

} // namespace velmora::testing
