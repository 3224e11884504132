#pragma once

#include "app/UiLoop.h"
#include "app/WebSurface.h"

#include <set>

namespace velmora {

// A web view stand-in for front doors without a display (velmora-bridge): it remembers what
// it was asked to show, and scripts fail as they would on a page that is not there.
class HeadlessWebSurface final : public WebSurface {
public:
    explicit HeadlessWebSurface(UiLoop& ui) : ui_(ui) {}

    void loadUrl(const std::string& url) override { url_ = url; }
    void loadFile(const std::filesystem::path& file, const std::filesystem::path&) override {
        url_ = "file://" + file.string();
    }
    void reload() override {}
    void stop() override {}
    std::string currentUrl() const override { return url_; }
    void evaluateScript(const std::string&, ScriptResult done) override {
        ui_.post([done = std::move(done)] { done(std::nullopt, "No page is shown without a window."); });
    }
    void evaluateIsolatedScript(const std::string& script, ScriptResult done) override {
        evaluateScript(script, std::move(done));
    }
    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }
    void addBodyClass(const std::string& name) override { classes_.insert(name); }
    void removeBodyClass(const std::string& name) override { classes_.erase(name); }

private:
    UiLoop& ui_;
    std::string url_;
    bool visible_ = true;
    std::set<std::string> classes_;
};

} // namespace velmora
