#pragma once

#include "app/BrowserChrome.h"

#include <gtk/gtk.h>

#include <functional>

namespace velmora::gtkshell {

// The application browser's layer and its dark toolbar, built from GTK widgets and styled
// with GTK CSS. The layer goes into the window's overlay above the interface web view.
class GtkBrowserChrome final : public BrowserChrome {
public:
    struct Actions {
        std::function<void()> assist;
        std::function<void()> reload;
        std::function<void()> close;
    };

    // `browserView` is placed below the toolbar inside the layer.
    GtkBrowserChrome(GtkWidget* window, GtkWidget* interfaceView, GtkWidget* browserView, Actions actions);

    GtkWidget* layer() const { return layer_; }
    std::string title() const { return gtk_label_get_text(GTK_LABEL(browserLabel_)); }
    std::string securityText() const { return gtk_label_get_text(GTK_LABEL(securityLabel_)); }

    void setButtonTitles(const std::string& assist, const std::string& reload, const std::string& close) override;
    void setAssistVisible(bool visible) override;
    void setAssistEnabled(bool enabled) override;
    void setTitle(const std::string& title) override;
    void setAddress(const std::string& address) override;
    std::string address() const { return gtk_label_get_text(GTK_LABEL(addressLabel_)); }
    void setSecurityText(const std::string& text) override;
    void setLayerVisible(bool visible) override;
    bool isLayerVisible() const override;
    void setLayerLeading(double leading) override;
    void focusInterface() override;
    void closeWindow() override;

    static void installStyles();

private:
    static void clicked(GtkButton* button, gpointer data);

    GtkWidget* window_;
    GtkWidget* interfaceView_;
    GtkWidget* layer_;
    GtkWidget* assistButton_;
    GtkWidget* reloadButton_;
    GtkWidget* closeButton_;
    GtkWidget* browserLabel_;
    GtkWidget* securityLabel_;
    GtkWidget* addressLabel_;
    Actions actions_;
};

} // namespace velmora::gtkshell
