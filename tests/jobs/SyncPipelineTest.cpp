// The whole sync against the loopback boards: the summary, the per-source schedule, and what
// the user did to the listings surviving the next sync.
#include "SyncTestBed.h"

#include <gtest/gtest.h>

#include <thread>

using namespace velmora;
using namespace velmora::testing;
using json = nlohmann::json;
using Progress = std::tuple<std::string, int64_t, int64_t>;

TEST(SyncPipeline, FullSyncImportsEverySourceInOrderAndTriageSurvivesTheNext) {
    SyncTestBed bed;
    json summary = bed.service->sync(bed.recorder());
    const std::vector<std::pair<std::string, int64_t>> expected = {
        {"Himalayas", 4},        {"Jobicy", 3},   {"Arbeitnow Europe", 3}, {"Arbeitnow UK", 1},
        {"We Work Remotely", 3}, {"Remotive", 3}, {"Remote OK", 2},        {"RemoteJobs.org", 2}};
    ASSERT_EQ(summary["sources"].size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(summary["sources"][i],
                  (json{{"source", expected[i].first}, {"status", "ok"}, {"imported", expected[i].second}}));
    EXPECT_EQ(summary["imported"], 21);
    EXPECT_EQ(bed.count(), 21);
    EXPECT_EQ(summary["expiredRemoved"], 0);
    EXPECT_EQ(summary["completedAt"], "2026-12-06T12:00:00.000Z");
    for (const char* key : {"lastJobSync", "sourceLast.Remotive", "sourceLast.RemoteJobs.org"})
        EXPECT_EQ(bed.db->getSetting(key, ""), "2026-12-06T12:00:00.000Z") << key;
    // Each source announces itself before its own reports.
    std::vector<std::string> announced;
    for (const auto& [m, c, t] : bed.progress)
        if (c == 0 && t == 0 && (announced.empty() || announced.back() != m)) announced.push_back(m);
    ASSERT_EQ(announced.size(), 9u);
    EXPECT_EQ(announced.front(), "Searching Himalayas\u2026");
    EXPECT_EQ(announced[7], "Searching RemoteJobs.org\u2026");
    EXPECT_EQ(announced.back(), "Job search complete");

    // The user hides a listing and saves a search; then three new postings arrive, each on two
    // boards, and everything else is seen again: updated by link, never duplicated.
    auto first = bed.db->getJobs(DatabaseService::JobQuery{})[0];
    bed.db->setJobMark(first["id"], "hidden");
    const int64_t search = bed.db->saveSearch({{"name", "Everything"}});
    bed.boards.generate("remotive", 3, false);
    bed.boards.generate("jobicy", 3, false);
    bed.fetchedAgo(std::chrono::minutes(60 * 25));
    bed.clock->advance(std::chrono::hours(1));
    EXPECT_EQ(bed.service->sync({})["imported"], 21);
    EXPECT_EQ(bed.count(), 21 + 6);
    EXPECT_EQ(bed.db->getSavedSearches()[0]["newCount"], 3);
    EXPECT_EQ(bed.db->openSavedSearch(search)["newCount"], 0);
    DatabaseService::JobQuery everything;
    everything.limit = 500;
    int64_t twoBoards = 0;
    for (const auto& job : bed.db->getJobs(everything)) {
        EXPECT_NE(job["url"], first["url"]);
        twoBoards += job["alsoOn"].size() == 1u && job["alsoOn"][0]["source"] != job["source"];
    }
    EXPECT_EQ(twoBoards, 3);
    everything.includeHidden = true;
    EXPECT_EQ(bed.db->getJobs(everything).size(), 21u + 3u);
}

TEST(SyncPipeline, EachSourceKeepsItsOwnIntervalWhileExpiryAndTheLastSyncAlwaysRun) {
    SyncTestBed bed;
    bed.fetchedAgo(std::chrono::minutes(30));
    bed.storeListing("https://example.com/expired", "2026-12-06T11:59:59.000Z");
    bed.storeListing("https://example.com/alive", "2027-01-01T00:00:00.000Z");
    json summary = bed.service->sync({});
    EXPECT_EQ(summary["imported"], 0);
    EXPECT_EQ(summary["expiredRemoved"], 1);
    for (const auto& s : summary["sources"])
        EXPECT_EQ(s, (json{{"source", s["source"]}, {"status", "cached"}, {"imported", 0}}));
    EXPECT_TRUE(bed.boards.requests().empty());
    EXPECT_EQ(bed.count(), 1);
    EXPECT_EQ(bed.db->getSetting("lastJobSync", ""), "2026-12-06T12:00:00.000Z");

    // Exactly the interval is due; an unreadable time is always due.
    const auto ago = [&](int minutes) {
        return DateUtil::withFractional(bed.clock->now() - std::chrono::minutes(minutes));
    };
    const std::pair<const char*, std::string> due[] = {
        {"Jobicy", ago(61)}, {"Remotive", ago(300)}, {"Remote OK", ago(60)}, {"We Work Remotely", "yesterday"}};
    for (const auto& [source, when] : due)
        bed.db->setSetting(std::string("sourceLast.") + source, when);
    summary = bed.service->sync({});
    const std::pair<const char*, const char*> statuses[] = {{"Jobicy", "ok"},
                                                            {"Remotive", "cached"},
                                                            {"Remote OK", "ok"},
                                                            {"We Work Remotely", "ok"},
                                                            {"Himalayas", "cached"}};
    for (const auto& [source, status] : statuses)
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, source)["status"], status) << source;
    EXPECT_EQ(summary["imported"], 3 + 2 + 3);
}

TEST(SyncPipeline, AFailingSourceIsRetriedNextTimeAndOthersStillRun) {
    SyncTestBed bed;
    bed.fetchedAgo(std::chrono::minutes(60 * 25));
    const std::string before = bed.db->getSetting("sourceLast.Remotive", "");
    bed.boards.setReply("remotive", {500, "<h1>Internal Server Error</h1>", "text/html"});
    bed.storeListing("https://remotive.com/remote-jobs/kept", "2027-01-01T00:00:00.000Z");
    for (int run = 0; run < 2; ++run) {
        json summary = bed.service->sync({});
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remotive"), (json{{"source", "Remotive"},
                                                                        {"status", "error"},
                                                                        {"imported", 0},
                                                                        {"error", "Job source returned an HTTP error."},
                                                                        {"errorKind", "http"},
                                                                        {"httpStatus", 500}}));
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remote OK")["status"], "ok");
        EXPECT_EQ(bed.db->getSetting("sourceLast.Remotive", ""), before);
        bed.clock->advance(std::chrono::hours(2));
    }
    EXPECT_EQ(bed.boards.requests("remotive").size(), 2u);
    EXPECT_EQ(bed.count("url='https://remotive.com/remote-jobs/kept'"), 1);
}

TEST(SyncPipeline, SearchWordsComeFromTheSettings) {
    SyncTestBed bed;
    bed.fetchedAgo(std::chrono::minutes(30), "Himalayas");
    bed.db->setSetting("jobTitle", "  rust \n");
    bed.service->sync({});
    EXPECT_EQ(bed.boards.requests("himalayas").at(0).params.at("q"), "rust");
    bed.db->setSetting("keywords", " tokio, axum ");
    EXPECT_EQ(bed.service->searchQuery(), "rust tokio, axum");
    bed.db->setSetting("jobTitle", " ");
    bed.db->setSetting("keywords", "");
    EXPECT_EQ(bed.service->searchQuery(), "");
}

TEST(SyncPipeline, SyncIsDueAfterTheUsersInterval) {
    SyncTestBed bed;
    EXPECT_TRUE(bed.service->isSyncDue()); // never synced
    const auto ago = [&](std::chrono::minutes m) { return DateUtil::withFractional(bed.clock->now() - m); };
    const std::tuple<const char*, std::string, bool> rows[] = {
        {"6", "garbage", true},
        {"6", DateUtil::standard(bed.clock->now() - std::chrono::hours(6)), true}, // exactly, without fraction
        {"6", ago(std::chrono::minutes(359)), false},
        {"3", ago(std::chrono::minutes(23 * 60)), false}, // an interval not offered is 24 hours
        {"3", ago(std::chrono::minutes(24 * 60)), true},
        // A stored time at the far ends of the calendar must neither overflow nor block syncing.
        {"24", "1677-12-03T08:00:00.000Z", true},
        {"24", "2262-03-01T00:00:00.000Z", true},
    };
    for (const auto& [interval, last, isDue] : rows) {
        bed.db->setSetting("searchIntervalHours", interval);
        bed.db->setSetting("lastJobSync", last);
        EXPECT_EQ(bed.service->isSyncDue(), isDue) << interval << " " << last;
    }
    EXPECT_EQ(bed.db->getSetting("searchIntervalHours", ""), "24");
}

namespace {

// Really waits, as the page waits of a live sync do, and notes how many listings the user
// could see at each wait.
class CountingSleeper final : public Sleeper {
public:
    explicit CountingSleeper(SyncTestBed& bed) : bed_(bed) {}
    void sleepFor(std::chrono::milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        seen.push_back(bed_.count());
    }
    std::vector<int64_t> seen;

private:
    SyncTestBed& bed_;
};

} // namespace

TEST(SyncPipeline, ListingsOfASlowBoardBecomeVisiblePageByPage) {
    SyncTestBed bed;
    bed.fetchedAgo(std::chrono::minutes(30), "Himalayas");
    bed.boards.generate("himalayas", 80, false);
    auto sleeper = std::make_shared<CountingSleeper>(bed);
    JobAggregatorService service(bed.db, bed.security, bed.http,
                                 JobSourceEndpoints::fromJsonText(bed.boards.endpointsJson()), bed.clock, sleeper);
    EXPECT_EQ(service.sync({})["imported"], 80);
    // Each wait before the next page already shows the pages before the last one.
    ASSERT_GE(sleeper->seen.size(), 3u);
    EXPECT_EQ(sleeper->seen[1], 20);
    EXPECT_EQ(sleeper->seen[2], 40);
}
