#pragma once

#include <string>

namespace velmora {

class DatabaseService;

// The desktop's notification area. The desktop shell posts through GApplication; the headless
// host has none, so it shows nothing.
class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // `id` names the notification: sending one with the same id replaces it.
    virtual void notify(const std::string& id, const std::string& title, const std::string& body) = 0;
};

// At start: one notification, in the interface language, when any follow-up is due today or
// earlier. Returns whether one was sent; a database failure sends none.
bool remindOfDueFollowUps(const DatabaseService& db, DesktopNotifier& notifier);

} // namespace velmora
