#include "shell/gtk/GtkWebSurface.h"

#include "app/BrowserPolicy.h"
#include "core/JSONTools.h"
#include "shell/gtk/GObjectPtr.h"

#include <memory>

namespace velmora::gtkshell {

namespace {

struct PendingScript {
    WebSurface::ScriptResult done;
};

void scriptFinished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<PendingScript> pending(static_cast<PendingScript*>(data));
    GError* rawError = nullptr;
    GObjectPtr<JSCValue> value(
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &rawError));
    GErrorPtr error(rawError);
    if (!value) {
        pending->done(std::nullopt, error && error->message ? error->message : "The script could not run.");
        return;
    }
    if (JSCException* exception = jsc_context_get_exception(jsc_value_get_context(value.get()))) {
        pending->done(std::nullopt, jsc_exception_get_message(exception));
        return;
    }
    pending->done(GtkWebSurface::toJson(value.get()), "");
}

// Class names are ours, but quote them properly anyway.
std::string classScript(const std::string& method, const std::string& name) {
    return "document.body && document.body.classList." + method + "(" + nlohmann::json(name).dump() + ");";
}

} // namespace

nlohmann::json GtkWebSurface::toJson(JSCValue* value) {
    if (!value || jsc_value_is_undefined(value)) return nullptr;
    GCharPtr text(jsc_value_to_json(value, 0));
    if (!text) return nullptr;
    auto parsed = JSONTools::parseRequest(text.get());
    return parsed.is_discarded() ? nlohmann::json(nullptr) : parsed;
}

void GtkWebSurface::loadUrl(const std::string& url) { webkit_web_view_load_uri(view_, url.c_str()); }

void GtkWebSurface::loadFile(const std::filesystem::path& file, const std::filesystem::path&) {
    // WebKitGTK has no per-load read grant: file pages may read local files, and the
    // navigation rules keep the interface view inside its own folder.
    webkit_web_view_load_uri(view_, fileUrl(file).c_str());
}

void GtkWebSurface::reload() { webkit_web_view_reload(view_); }

void GtkWebSurface::stop() { webkit_web_view_stop_loading(view_); }

std::string GtkWebSurface::currentUrl() const {
    const gchar* uri = webkit_web_view_get_uri(view_);
    return uri ? uri : "";
}

void GtkWebSurface::evaluateScript(const std::string& script, ScriptResult done) {
    auto pending = std::make_unique<PendingScript>(PendingScript{std::move(done)});
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, scriptFinished, pending.release());
}

void GtkWebSurface::evaluateIsolatedScript(const std::string& script, ScriptResult done) {
    auto pending = std::make_unique<PendingScript>(PendingScript{std::move(done)});
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), kIsolatedWorld,
                                        nullptr, nullptr, scriptFinished, pending.release());
}

void GtkWebSurface::setVisible(bool visible) { gtk_widget_set_visible(GTK_WIDGET(view_), visible); }

bool GtkWebSurface::isVisible() const { return gtk_widget_get_visible(GTK_WIDGET(view_)); }

void GtkWebSurface::addBodyClass(const std::string& name) {
    evaluateScript(classScript("add", name), [](std::optional<nlohmann::json>, const std::string&) {});
}

void GtkWebSurface::removeBodyClass(const std::string& name) {
    evaluateScript(classScript("remove", name), [](std::optional<nlohmann::json>, const std::string&) {});
}

} // namespace velmora::gtkshell
