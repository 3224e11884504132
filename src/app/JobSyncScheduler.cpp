#include "app/JobSyncScheduler.h"

#include "core/DateUtil.h"
#include "core/Log.h"

namespace velmora {

std::shared_ptr<JobSyncScheduler> JobSyncScheduler::create(std::shared_ptr<JobAggregatorService> jobs, UiLoop& ui,
                                                           BackgroundRunner& background, Bridge& bridge) {
    return std::make_shared<JobSyncScheduler>(Key{}, std::move(jobs), ui, background, bridge);
}

JobSyncScheduler::JobSyncScheduler(Key, std::shared_ptr<JobAggregatorService> jobs, UiLoop& ui, BackgroundRunner& background,
                                   Bridge& bridge)
    : jobs_(std::move(jobs)), ui_(ui), background_(background), bridge_(bridge) {}

JobSyncScheduler::~JobSyncScheduler() = default;

void JobSyncScheduler::autoSyncIfDue() {
    if (syncRunning_) return;
    bool due = false;
    try {
        due = jobs_->isSyncDue();
    } catch (const std::exception& e) {
        logLine(std::string("Velmora job sync schedule error: ") + e.what());
    }
    if (due) runJobSync();
}

void JobSyncScheduler::runJobSync(Done done, std::string onlySource) {
    if (syncRunning_) {
        if (done) done(json{{"status", "already_running"}});
        return;
    }
    syncRunning_ = true;
    bridge_.sendEvent("jobSyncStarted", json{{"message", kStartedMessage}});

    std::weak_ptr<JobSyncScheduler> weak = weak_from_this();
    UiLoop* ui = &ui_;
    BackgroundRunner* runner = &background_; // waits for this task before it goes
    auto jobs = jobs_;
    background_.run([weak, ui, runner, jobs, done = std::move(done), onlySource = std::move(onlySource)] {
        // Reports come from the sync's thread; each one hops to the UI thread on its own task,
        // so they reach the page in order and before the completion.
        auto progress = [weak, ui](const std::string& message, int64_t current, int64_t total) {
            ui->post([weak, message, current, total] {
                if (auto self = weak.lock())
                    self->bridge_.sendEvent("jobSyncProgress",
                                            json{{"message", message}, {"current", current}, {"total", total}});
            });
        };
        json summary;
        try {
            summary = onlySource.empty() ? jobs->sync(progress) : jobs->retrySource(onlySource, progress);
        } catch (const std::exception& e) {
            // sync records source failures itself; anything else must still end the run, or
            // the flag would refuse every later sync.
            logLine(std::string("Velmora job sync error: ") + e.what());
            summary = json{{"imported", 0},
                           {"expiredRemoved", 0},
                           {"sources", json::array()},
                           {"completedAt", DateUtil::withFractional(std::chrono::system_clock::now())},
                           {"error", e.what()}};
        }
        ui->post([weak, summary = std::move(summary), done] {
            if (auto self = weak.lock()) self->finish(summary, done);
            else if (done) done(summary);
        });
        // After the summary: the listings are listed and found already, only by a slower scan
        // until they are indexed. Quitting stops this between chunks; what is left is indexed
        // after the next sync.
        try {
            jobs->indexStoredListings([weak, runner] { return !weak.expired() && !runner->stopping(); });
        } catch (const std::exception& e) {
            logLine(std::string("Velmora job search index error: ") + e.what());
        }
    });
}

void JobSyncScheduler::finish(const json& summary, const Done& done) {
    syncRunning_ = false;
    bridge_.sendEvent("jobSyncCompleted", summary);
    if (done) done(summary);
}

} // namespace velmora
