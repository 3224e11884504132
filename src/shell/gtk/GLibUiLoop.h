#pragma once

#include "app/UiLoop.h"

#include <glib.h>

#include <map>
#include <memory>

namespace velmora::gtkshell {

// The UI thread of the desktop shell: tasks and timers on the default GLib main context,
// where GTK and WebKit deliver their callbacks too.
class GLibUiLoop final : public UiLoop {
public:
    ~GLibUiLoop() override;

    void post(std::function<void()> task) override;
    TimerId startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) override;
    void cancelTimer(TimerId id) override;

private:
    struct Timer;
    static gboolean fireTimer(gpointer data);
    static void dropTimer(gpointer data);

    std::map<TimerId, guint> sources_; // live timers only, so a finished one is never removed twice
    TimerId next_ = 1;
};

} // namespace velmora::gtkshell
