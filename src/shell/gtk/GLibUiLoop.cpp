#include "shell/gtk/GLibUiLoop.h"

namespace velmora::gtkshell {

namespace {

using Task = std::function<void()>;

gboolean runTask(gpointer data) {
    (*static_cast<Task*>(data))();
    return G_SOURCE_REMOVE;
}

void dropTask(gpointer data) { std::unique_ptr<Task> owned(static_cast<Task*>(data)); }

} // namespace

struct GLibUiLoop::Timer {
    GLibUiLoop* loop;
    TimerId id;
    bool repeating;
    std::function<void()> fire;
};

GLibUiLoop::~GLibUiLoop() {
    for (const auto& [id, source] : sources_) g_source_remove(source);
}

void GLibUiLoop::post(std::function<void()> task) {
    // g_idle_add_full is safe from any thread; the task runs on the main context's thread.
    auto owned = std::make_unique<Task>(std::move(task));
    g_idle_add_full(G_PRIORITY_DEFAULT, runTask, owned.release(), dropTask);
}

UiLoop::TimerId GLibUiLoop::startTimer(std::chrono::milliseconds interval, bool repeating, std::function<void()> fire) {
    TimerId id = next_++;
    auto timer = std::make_unique<Timer>(Timer{this, id, repeating, std::move(fire)});
    guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(interval.count()), fireTimer,
                                      timer.release(), dropTimer);
    sources_[id] = source;
    return id;
}

void GLibUiLoop::cancelTimer(TimerId id) {
    auto it = sources_.find(id);
    if (it == sources_.end()) return;
    guint source = it->second;
    sources_.erase(it);
    g_source_remove(source);
}

gboolean GLibUiLoop::fireTimer(gpointer data) {
    auto* timer = static_cast<Timer*>(data);
    bool repeating = timer->repeating;
    if (!repeating) timer->loop->sources_.erase(timer->id);
    auto fire = timer->fire; // the callback may cancel this very timer
    fire();
    return repeating ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void GLibUiLoop::dropTimer(gpointer data) { std::unique_ptr<Timer> owned(static_cast<Timer*>(data)); }

} // namespace velmora::gtkshell
