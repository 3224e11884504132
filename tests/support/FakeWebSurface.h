#pragma once

#include "app/UiLoop.h"
#include "app/WebSurface.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velmora::testing {

// A web view that records what the core asks of it. Scripts are answered by `respond`
// (a completion value, or nullopt and an error text), delivered later through the UI loop
// as a real web view would.
class FakeWebSurface final : public WebSurface {
public:
    using Answer = std::pair<std::optional<nlohmann::json>, std::string>;

    explicit FakeWebSurface(UiLoop& ui) : ui_(ui) {}

    void loadUrl(const std::string& url) override {
        loads.push_back(url);
        url_ = url;
    }
    void loadFile(const std::filesystem::path& file, const std::filesystem::path& readAccessRoot) override {
        loadedFile = file;
        readAccess = readAccessRoot;
        url_ = "file://" + file.string();
    }
    void reload() override {}
    void stop() override {}
    std::string currentUrl() const override { return url_; }
    void evaluateScript(const std::string& script, ScriptResult done) override {
        scripts.push_back(script);
        Answer answer = respond ? respond(script) : Answer{std::nullopt, "No page is loaded."};
        ui_.post([done = std::move(done), answer = std::move(answer)] { done(answer.first, answer.second); });
    }
    void evaluateIsolatedScript(const std::string& script, ScriptResult done) override {
        evaluateScript(script, std::move(done));
    }
    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }
    void addBodyClass(const std::string& name) override { bodyClasses.insert(name); }
    void removeBodyClass(const std::string& name) override { bodyClasses.erase(name); }

    void setCurrentUrl(const std::string& url) { url_ = url; }

    std::function<Answer(const std::string& script)> respond;
    std::vector<std::string> loads;
    std::vector<std::string> scripts; // every script, isolated or not
    std::filesystem::path loadedFile;
    std::filesystem::path readAccess;
    std::set<std::string> bodyClasses;

private:
    UiLoop& ui_;
    std::string url_;
    bool visible_ = true;
};

} // namespace velmora::testing
