#include "shell/gtk/GApplicationNotifier.h"

namespace velmora::gtkshell {

void GApplicationNotifier::notify(const std::string& id, const std::string& title, const std::string& body) {
    GNotification* notification = g_notification_new(title.c_str());
    g_notification_set_body(notification, body.c_str());
    g_application_send_notification(app_, id.c_str(), notification);
    g_object_unref(notification);
}

} // namespace velmora::gtkshell
