#pragma once

#include "app/FollowUpReminder.h"

#include <gio/gio.h>

namespace velmora::gtkshell {

// Desktop notifications through the running GApplication (the desktop's notification server
// over D-Bus; without one they are dropped silently).
class GApplicationNotifier final : public DesktopNotifier {
public:
    explicit GApplicationNotifier(GApplication* app) : app_(app) {}
    void notify(const std::string& id, const std::string& title, const std::string& body) override;

private:
    GApplication* app_;
};

} // namespace velmora::gtkshell
