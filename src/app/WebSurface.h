#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace velmora {

// One embedded web view as the platform-free code sees it. The desktop shell implements it
// over WebKitGTK; tests use a recording fake. All calls on the UI thread.
class WebSurface {
public:
    virtual ~WebSurface() = default;

    virtual void loadUrl(const std::string& url) = 0;
    // Loads a local page, allowing it to read every file under readAccessRoot.
    virtual void loadFile(const std::filesystem::path& file, const std::filesystem::path& readAccessRoot) = 0;
    virtual void reload() = 0;
    virtual void stop() = 0;
    virtual std::string currentUrl() const = 0;

    // Runs a script in the page; the callback gets its completion value (or nullopt with an
    // error text when the script failed). The callback runs on the UI thread.
    using ScriptResult = std::function<void(std::optional<nlohmann::json> value, const std::string& error)>;
    virtual void evaluateScript(const std::string& script, ScriptResult done) = 0;
    // The same in a script world of our own: it shares the page's document but none of its
    // script objects, so a page that replaced String.prototype.trim (or any other built-in)
    // sees nothing our script holds, only what it writes into the document.
    virtual void evaluateIsolatedScript(const std::string& script, ScriptResult done) = 0;

    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    virtual void addBodyClass(const std::string& name) = 0;
    virtual void removeBodyClass(const std::string& name) = 0;
};

} // namespace velmora
