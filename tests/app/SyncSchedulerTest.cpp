// The job-sync schedule against the loopback boards: the due check, and startupSyncJobs
// through velmora-bridge with its events in order.
#include "support/BridgeProcess.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/JobSyncScheduler.h"
#include "app/QueueUiLoop.h"
#include "jobs/SyncTestBed.h"
#include "storage/JobSearchIndex.h"

#include <thread>

using namespace velmora;
using namespace velmora::testing;

namespace {

struct SchedulerBed : SyncTestBed {
    QueueUiLoop loop;
    BackgroundRunner background{2};
    std::vector<json> envelopes;
    Bridge bridge{loop, background, [this](const std::string& text) { envelopes.push_back(json::parse(text)); }};
    std::shared_ptr<JobSyncScheduler> scheduler =
        JobSyncScheduler::create(std::shared_ptr<JobAggregatorService>(service.get(), [](auto*) {}), loop, background, bridge);

    size_t events(const std::string& name) const {
        return std::count_if(envelopes.begin(), envelopes.end(), [&](const json& e) { return e.value("name", "") == name; });
    }
    bool waitFor(const std::function<bool()>& done) { return loop.runUntil(done, std::chrono::seconds(60)); }
    bool completed() const { return events("jobSyncCompleted") > 0; }
};

} // namespace

// When it is due is the sync pipeline's table; here that the timer's check asks it, and that
// a sync in which every board failed leaves the list due.
TEST(SyncScheduler, AutoSyncRunsOnlyWhenDueAndStaysDueWhenEveryBoardFails) {
    SchedulerBed bed;
    const std::string last = DateUtil::withFractional(bed.clock->now());
    bed.db->setSetting("lastJobSync", last);
    bed.scheduler->autoSyncIfDue();
    bed.loop.drain();
    EXPECT_TRUE(bed.envelopes.empty());

    for (const auto& board : JobBoardFixtureServer::services()) bed.boards.setReply(board, {503, "down"});
    bed.clock->advance(std::chrono::hours(25));
    bed.scheduler->autoSyncIfDue();
    ASSERT_TRUE(bed.waitFor([&] { return bed.completed(); }));
    EXPECT_EQ(bed.events("jobSyncStarted"), 1u);
    EXPECT_EQ(bed.db->getSetting("lastJobSync", ""), last);

    // A sync that stores listings has them indexed for search after its summary.
    bed.boards.generate("remotive", 3, false);
    bed.scheduler->autoSyncIfDue();
    EXPECT_TRUE(bed.waitFor([&] {
        return bed.events("jobSyncCompleted") == 2 && bed.count() == 3 &&
               bed.count("id IN (" + JobSearchIndex::pendingSelect() + ")") == 0;
    }));
    { // quitting waits for every task, so the indexing is told to stop (else this never ends)
        BackgroundRunner runner(1);
        runner.run([&runner] { while (!runner.stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    }
}

// What each board yields is the sync pipeline's own test; here the host's wiring and events.
TEST(SyncScheduler, VelmoraBridgeSyncsFromTheEndpointsFile) {
    // The host runs on the real clock, so the listings are published "now" to stay fresh.
    JobBoardFixtureServer boards;
    boards.setGeneratedPublished(std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch()).count());
    for (const auto& service : JobBoardFixtureServer::services()) boards.generate(service, 5);
    TempDir dir;
    writeFile(dir / "endpoints.json", boards.endpointsJson());
    const BridgeRun run = runBridge(dir / "data",
                                    "{\"action\":\"startupSyncJobs\",\"id\":\"1\",\"payload\":{}}\n"
                                    "{\"action\":\"startupSyncJobs\",\"id\":\"2\",\"payload\":{}}\n",
                                    {}, {"VELMORA_SOURCE_ENDPOINTS=" + (dir / "endpoints.json").string()});
    ASSERT_EQ(run.status, 0) << run.errors;
    // One sync: started, progress, completed, then its reply; the second request is refused at once.
    std::vector<std::string> order;
    size_t progress = 0;
    for (const auto& l : run.lines)
        if (l.value("name", "") == "jobSyncProgress") ++progress;
        else order.push_back(l.contains("id") ? l["id"] : l["name"]);
    ASSERT_EQ(order, (std::vector<std::string>{"jobSyncStarted", "2", "jobSyncCompleted", "1"}));
    EXPECT_GT(progress, 0u);
    EXPECT_EQ(run.byId.at("2")["data"], (json{{"status", "already_running"}}));
    const json& summary = run.byId.at("1")["data"];
    EXPECT_EQ(summary, run.lines[run.lines.size() - 2]["data"]);
    EXPECT_EQ(summary["imported"], 40);
}
