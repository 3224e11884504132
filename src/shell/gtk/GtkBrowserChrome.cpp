#include "shell/gtk/GtkBrowserChrome.h"

#include "shell/gtk/GObjectPtr.h"

namespace velmora::gtkshell {

namespace {

// Colours and sizes of the native toolbar; GTK CSS pixels stand for the design's points.
constexpr const char* kStyles = R"CSS(
window.velmora-main { background-color: rgb(247, 247, 247); }
.velmora-browser-layer { background-color: #ffffff; }
.velmora-toolbar {
  background-color: rgb(18, 23, 29);
  min-height: 46px;
  padding: 7px 10px;
}
.velmora-toolbar button {
  min-height: 32px;
  padding: 0 10px;
  border: none;
  border-radius: 2px;
  box-shadow: none;
  background-image: none;
  text-shadow: none;
  font-size: 12px;
  font-weight: 600;
}
.velmora-toolbar button.velmora-assist { background-color: rgb(179, 83, 0); color: #ffffff; min-width: 84px; }
.velmora-toolbar button.velmora-assist label { color: #ffffff; }
.velmora-toolbar button.velmora-plain { background-color: rgb(244, 244, 244); color: rgb(32, 38, 44); }
.velmora-toolbar button.velmora-plain label { color: rgb(32, 38, 44); }
.velmora-toolbar button:disabled { opacity: 0.55; }
.velmora-title-box {
  background-color: rgb(26, 32, 38);
  border-radius: 8px;
  min-height: 32px;
  padding: 0 12px;
}
.velmora-title-box label { color: rgb(201, 208, 214); font-size: 13px; font-weight: 600; }
.velmora-title-box label.velmora-address { color: rgb(232, 236, 239); font-weight: 400; font-family: monospace; font-size: 12px; }
.velmora-badge {
  background-color: rgb(36, 50, 61);
  border-radius: 12px;
  min-height: 30px;
  padding: 0 10px;
}
.velmora-badge label { color: rgb(249, 161, 27); font-size: 12px; font-weight: 600; }
)CSS";

GtkWidget* toolbarButton(const char* cssClass, int minWidth) {
    GtkWidget* button = gtk_button_new_with_label("");
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    gtk_widget_set_can_focus(button, FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), cssClass);
    gtk_widget_set_size_request(button, minWidth, 32);
    gtk_widget_set_valign(button, GTK_ALIGN_CENTER);
    return button;
}

GtkWidget* pill(const char* cssClass, GtkWidget* label, int height) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(box), cssClass);
    gtk_widget_set_size_request(box, -1, height);
    gtk_widget_set_valign(box, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(label, GTK_ALIGN_CENTER);
    gtk_box_pack_start(GTK_BOX(box), label, TRUE, TRUE, 0);
    return box;
}

} // namespace

void GtkBrowserChrome::installStyles() {
    GObjectPtr<GtkCssProvider> provider(gtk_css_provider_new());
    gtk_css_provider_load_from_data(provider.get(), kStyles, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider.get()),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

GtkBrowserChrome::GtkBrowserChrome(GtkWidget* window, GtkWidget* interfaceView, GtkWidget* browserView,
                                   Actions actions)
    : window_(window), interfaceView_(interfaceView), actions_(std::move(actions)) {
    layer_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(layer_), "velmora-browser-layer");
    gtk_widget_set_halign(layer_, GTK_ALIGN_FILL);
    gtk_widget_set_valign(layer_, GTK_ALIGN_FILL);
    gtk_widget_set_no_show_all(layer_, TRUE);

    GtkWidget* toolbar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_style_context_add_class(gtk_widget_get_style_context(toolbar), "velmora-toolbar");

    // Minimum widths include the 10-pixel side padding of the CSS above.
    assistButton_ = toolbarButton("velmora-assist", 104);
    reloadButton_ = toolbarButton("velmora-plain", 76);
    closeButton_ = toolbarButton("velmora-plain", 72);
    g_signal_connect(assistButton_, "clicked", G_CALLBACK(clicked), this);
    g_signal_connect(reloadButton_, "clicked", G_CALLBACK(clicked), this);
    g_signal_connect(closeButton_, "clicked", G_CALLBACK(clicked), this);

    browserLabel_ = gtk_label_new("Application browser");
    gtk_label_set_ellipsize(GTK_LABEL(browserLabel_), PANGO_ELLIPSIZE_END);
    gtk_label_set_xalign(GTK_LABEL(browserLabel_), 0.0f);
    GtkWidget* titleBox = pill("velmora-title-box", browserLabel_, 32);
    gtk_box_set_child_packing(GTK_BOX(titleBox), browserLabel_, FALSE, FALSE, 0, GTK_PACK_START);
    addressLabel_ = gtk_label_new("");
    gtk_label_set_selectable(GTK_LABEL(addressLabel_), TRUE); // the user can copy where they are
    gtk_label_set_ellipsize(GTK_LABEL(addressLabel_), PANGO_ELLIPSIZE_MIDDLE);
    gtk_label_set_xalign(GTK_LABEL(addressLabel_), 0.0f);
    gtk_widget_set_can_focus(addressLabel_, FALSE);
    gtk_widget_set_margin_start(addressLabel_, 12);
    gtk_widget_set_valign(addressLabel_, GTK_ALIGN_CENTER);
    gtk_style_context_add_class(gtk_widget_get_style_context(addressLabel_), "velmora-address");
    gtk_box_pack_start(GTK_BOX(titleBox), addressLabel_, TRUE, TRUE, 0);

    securityLabel_ = gtk_label_new("Secure browser");
    GtkWidget* badge = pill("velmora-badge", securityLabel_, 30);

    gtk_box_pack_start(GTK_BOX(toolbar), assistButton_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(toolbar), reloadButton_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(toolbar), closeButton_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(toolbar), titleBox, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(toolbar), badge, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(layer_), toolbar, FALSE, FALSE, 0);
    gtk_widget_set_vexpand(browserView, TRUE);
    gtk_box_pack_start(GTK_BOX(layer_), browserView, TRUE, TRUE, 0);
    gtk_widget_show_all(toolbar);
    gtk_widget_show(browserView);
}

void GtkBrowserChrome::clicked(GtkButton* button, gpointer data) {
    auto* self = static_cast<GtkBrowserChrome*>(data);
    GtkWidget* widget = GTK_WIDGET(button);
    const auto& action = widget == self->assistButton_   ? self->actions_.assist
                         : widget == self->reloadButton_ ? self->actions_.reload
                                                         : self->actions_.close;
    if (action) action();
}

void GtkBrowserChrome::setButtonTitles(const std::string& assist, const std::string& reload, const std::string& close) {
    gtk_button_set_label(GTK_BUTTON(assistButton_), assist.c_str());
    gtk_button_set_label(GTK_BUTTON(reloadButton_), reload.c_str());
    gtk_button_set_label(GTK_BUTTON(closeButton_), close.c_str());
}

void GtkBrowserChrome::setAssistVisible(bool visible) { gtk_widget_set_visible(assistButton_, visible); }

void GtkBrowserChrome::setAssistEnabled(bool enabled) { gtk_widget_set_sensitive(assistButton_, enabled); }

void GtkBrowserChrome::setTitle(const std::string& title) {
    gtk_label_set_text(GTK_LABEL(browserLabel_), title.c_str());
}

void GtkBrowserChrome::setAddress(const std::string& address) {
    gtk_label_set_text(GTK_LABEL(addressLabel_), address.c_str());
    gtk_widget_set_tooltip_text(addressLabel_, address.empty() ? nullptr : address.c_str());
}

void GtkBrowserChrome::setSecurityText(const std::string& text) {
    gtk_label_set_text(GTK_LABEL(securityLabel_), text.c_str());
}

void GtkBrowserChrome::setLayerVisible(bool visible) { gtk_widget_set_visible(layer_, visible); }

bool GtkBrowserChrome::isLayerVisible() const { return gtk_widget_get_visible(layer_); }

void GtkBrowserChrome::setLayerLeading(double leading) {
    gtk_widget_set_margin_start(layer_, static_cast<int>(leading));
}

void GtkBrowserChrome::focusInterface() { gtk_widget_grab_focus(interfaceView_); }

void GtkBrowserChrome::closeWindow() { gtk_window_close(GTK_WINDOW(window_)); }

} // namespace velmora::gtkshell
