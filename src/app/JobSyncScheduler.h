#pragma once

#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/UiLoop.h"
#include "jobs/JobAggregatorService.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

// The job-sync schedule of the main window: at most one sync at a time (the `syncRunning`
// flag, kept on the UI thread), the sync itself on a background thread, and its progress and
// summary pushed to the page as "jobSyncStarted", "jobSyncProgress" and "jobSyncCompleted".
// After the summary, the same background task indexes the new listings for search.
// One instance per running program (AppContext::jobSync); the timer and the bridge action
// startupSyncJobs both go through it, so the flag covers both.
// Every member function is for the UI thread only.
class JobSyncScheduler : public std::enable_shared_from_this<JobSyncScheduler> {
public:
    using Done = std::function<void(const json& result)>;

    static constexpr const char* kStartedMessage = "Updating remote jobs\u2026";

    static std::shared_ptr<JobSyncScheduler> create(std::shared_ptr<JobAggregatorService> jobs, UiLoop& ui,
                                                    BackgroundRunner& background, Bridge& bridge);
    ~JobSyncScheduler();
    JobSyncScheduler(const JobSyncScheduler&) = delete;
    JobSyncScheduler& operator=(const JobSyncScheduler&) = delete;

    bool syncRunning() const { return syncRunning_; }

    // Starts a sync when none runs and the user's interval has passed.
    void autoSyncIfDue();
    // Starts a sync without the due check. `done` gets, on the UI thread, the summary when the
    // sync has finished, or {"status": "already_running"} at once when one is running.
    // With `onlySource`, only that board is fetched (JobAggregatorService::retrySource), under
    // the same flag and with the same events as a whole sync.
    void runJobSync(Done done = {}, std::string onlySource = {});

    // Only create() can make one (weak_from_this needs a shared owner).
    class Key {
        friend class JobSyncScheduler;
        Key() = default;
    };
    JobSyncScheduler(Key, std::shared_ptr<JobAggregatorService> jobs, UiLoop& ui, BackgroundRunner& background,
                     Bridge& bridge);

private:
    void finish(const json& summary, const Done& done);

    std::shared_ptr<JobAggregatorService> jobs_;
    UiLoop& ui_;
    BackgroundRunner& background_;
    Bridge& bridge_;
    bool syncRunning_ = false;
};

} // namespace velmora
