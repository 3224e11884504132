#pragma once

#include "app/WebSurface.h"

#include <webkit2/webkit2.h>

namespace velmora::gtkshell {

// One WebKitGTK web view behind the platform-free WebSurface interface. The widget itself is
// owned by its GTK container; this adapter only borrows it.
class GtkWebSurface final : public WebSurface {
public:
    explicit GtkWebSurface(WebKitWebView* view) : view_(view) {}

    void loadUrl(const std::string& url) override;
    void loadFile(const std::filesystem::path& file, const std::filesystem::path& readAccessRoot) override;
    void reload() override;
    void stop() override;
    std::string currentUrl() const override;
    void evaluateScript(const std::string& script, ScriptResult done) override;
    void evaluateIsolatedScript(const std::string& script, ScriptResult done) override;
    // The world Assist Apply's scripts run in; WebKit makes one per name and page.
    static constexpr const char* kIsolatedWorld = "velmora-assist";
    void setVisible(bool visible) override;
    bool isVisible() const override;
    void addBodyClass(const std::string& name) override;
    void removeBodyClass(const std::string& name) override;

    WebKitWebView* view() const { return view_; }

    // The JSON form of a script's completion value; null for undefined and values JSON cannot hold.
    static nlohmann::json toJson(JSCValue* value);

private:
    WebKitWebView* view_;
};

} // namespace velmora::gtkshell
