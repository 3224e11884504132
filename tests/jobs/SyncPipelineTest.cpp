// The whole sync against the loopback boards: the summary, the per-source schedule, failures
// and retries, and what the user did to the listings surviving the next sync.
#include "SyncTestBed.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

#include <thread>

using namespace velmora;
using namespace velmora::testing;
using std::chrono::minutes;

TEST(SyncPipeline, FullSyncImportsEverySourceInOrderAndTriageSurvivesTheNext) {
    SyncTestBed bed;
    json summary = bed.service->sync(bed.recorder());
    const std::pair<const char*, int> expected[] = {
        {"Himalayas", 4},        {"Jobicy", 3},   {"Arbeitnow Europe", 3}, {"Arbeitnow UK", 1},
        {"We Work Remotely", 3}, {"Remotive", 3}, {"Remote OK", 2},        {"RemoteJobs.org", 2}};
    // Each source announces itself before its own reports.
    json sources = json::array();
    std::vector<std::string> announcements, announced;
    for (const auto& [source, imported] : expected) {
        sources.push_back({{"source", source}, {"status", "ok"}, {"imported", imported}});
        announcements.push_back("Searching " + std::string(source) + "\u2026");
    }
    announcements.push_back("Job search complete");
    EXPECT_EQ(summary, json::parse(R"({"imported": 21, "expiredRemoved": 0, "completedAt": "2026-12-06T12:00:00.000Z",
                                       "sources": )" +
                                   sources.dump() + "}"));
    EXPECT_EQ(bed.count(), 21);
    for (const char* key : {"lastJobSync", "sourceLast.Remotive", "sourceLast.RemoteJobs.org"})
        EXPECT_EQ(bed.db->getSetting(key, ""), "2026-12-06T12:00:00.000Z") << key;
    for (const auto& [m, c, t] : bed.progress)
        if (c == 0 && t == 0 && (announced.empty() || announced.back() != m)) announced.push_back(m);
    EXPECT_EQ(announced, announcements);

    // The user hides a listing and saves a search; then three new postings arrive, each on two
    // boards, and everything else is seen again: updated by link, never duplicated.
    auto first = bed.db->getJobs(DatabaseService::JobQuery{})[0];
    bed.db->setJobMark(first["id"], "hidden");
    const int64_t search = bed.db->saveSearch({{"name", "Everything"}});
    bed.boards.generate("remotive", 3, false);
    bed.boards.generate("jobicy", 3, false);
    bed.fetchedAgo(minutes(60 * 25));
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
    bed.fetchedAgo(minutes(30));
    bed.storeListing("https://example.com/expired", "2026-12-06T11:59:59.000Z");
    bed.storeListing("https://example.com/alive");
    json summary = bed.service->sync({});
    EXPECT_EQ(summary["imported"], 0);
    EXPECT_EQ(summary["expiredRemoved"], 1);
    for (const auto& s : summary["sources"])
        EXPECT_EQ(s, (json{{"source", s["source"]}, {"status", "cached"}, {"imported", 0}}));
    EXPECT_TRUE(bed.boards.requests().empty());
    EXPECT_EQ(bed.count(), 1);
    EXPECT_EQ(bed.db->getSetting("lastJobSync", ""), "2026-12-06T12:00:00.000Z");

    // Exactly the interval is due; an unreadable time is always due.
    const auto ago = [&](int m) { return DateUtil::withFractional(bed.clock->now() - minutes(m)); };
    const std::tuple<const char*, std::string, const char*> rows[] = {{"Jobicy", ago(61), "ok"},
                                                                      {"Remotive", ago(300), "cached"},
                                                                      {"Remote OK", ago(60), "ok"},
                                                                      {"We Work Remotely", "yesterday", "ok"}};
    for (const auto& [source, when, status] : rows)
        bed.db->setSetting(std::string("sourceLast.") + source, when);
    summary = bed.service->sync({});
    for (const auto& [source, when, status] : rows)
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, source)["status"], status) << source;
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Himalayas")["status"], "cached");
    EXPECT_EQ(summary["imported"], 3 + 2 + 3);
}

// A failing board says what kind of failure it was and is asked again at the next sync; the
// summary is remembered across restarts until a retry succeeds. (What the other boards and the
// stored listings go through meanwhile is FaultJobBoardTest's.)
TEST(SyncPipeline, AFailingSourceIsReportedRememberedAndRetried) {
    SyncTestBed bed;
    bed.fetchedAgo(minutes(60 * 25));
    bed.boards.setReply("remotive", {500, "<h1>Internal Server Error</h1>", "text/html"});
    json endpoints = json::parse(bed.boards.endpointsJson());
    endpoints["jobicy"] = "http://127.0.0.1:1"; // nothing listens: the board cannot be reached at all
    json summary;
    for (int run = 0; run < 2; ++run, bed.clock->advance(std::chrono::hours(2)))
        summary = bed.serviceWith(endpoints.dump(), bed.sleeper)->sync({});
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remotive"), json::parse(R"({"source": "Remotive", "status": "error",
        "imported": 0, "error": "Job source returned an HTTP error.", "errorKind": "http", "httpStatus": 500})"));
    const json jobicy = SyncTestBed::sourceRecord(summary, "Jobicy");
    EXPECT_EQ(jobicy["errorKind"], "network");
    EXPECT_EQ(bed.boards.requests("remotive").size(), 2u);
    EXPECT_EQ(bed.service->lastSummary(), summary); // a restart reads the same summary back

    bed.boards.setReply("remotive", {200, R"({"jobs":[]})"});
    bed.boards.clearRequests();
    const json retried = bed.service->retrySource("Remotive");
    EXPECT_EQ(retried["retried"], "Remotive");
    EXPECT_EQ(SyncTestBed::sourceRecord(retried, "Remotive"), json::parse(R"({"source": "Remotive", "status": "ok",
                                                                             "imported": 0})"));
    EXPECT_EQ(SyncTestBed::sourceRecord(retried, "Jobicy"), jobicy); // other boards keep their row
    EXPECT_EQ(retried["sources"].size(), summary["sources"].size());
    EXPECT_EQ(bed.boards.requests().size(), 1u);
    EXPECT_EQ(bed.service->lastSummary(), retried);
    EXPECT_THROW(bed.service->retrySource("Nowhere Jobs"), VelmoraError);
    // A summary row cut short or edited by hand is shown as none rather than as garbage.
    for (const char* stored : {"{\"sources\":", "[]", "{\"sources\":7}"}) {
        bed.db->setSetting(JobAggregatorService::kSummaryKey, stored);
        EXPECT_TRUE(bed.service->lastSummary().is_null()) << stored;
    }
}

TEST(SyncPipeline, SearchWordsComeFromTheSettingsAndSyncIsDueAfterTheUsersInterval) {
    SyncTestBed bed;
    EXPECT_TRUE(bed.service->isSyncDue()); // never synced
    bed.fetchedAgo(minutes(30), "Himalayas");
    bed.db->setSetting("jobTitle", "  rust \n");
    bed.service->sync({});
    EXPECT_EQ(bed.boards.requests("himalayas").at(0).params.at("q"), "rust");
    for (const auto& [title, keywords, query] :
         {std::tuple{"rust", " tokio, axum ", "rust tokio, axum"}, {" ", "", ""}, {"", " go", "go"}}) {
        bed.db->setSetting("jobTitle", title);
        bed.db->setSetting("keywords", keywords);
        EXPECT_EQ(bed.service->searchQuery(), query);
    }

    const auto ago = [&](int m) { return DateUtil::withFractional(bed.clock->now() - minutes(m)); };
    const std::tuple<const char*, std::string, bool> rows[] = {
        {"6", "garbage", true},
        {"6", DateUtil::standard(bed.clock->now() - std::chrono::hours(6)), true}, // exactly, without fraction
        {"6", ago(359), false},
        {"3", ago(23 * 60), false}, // an interval not offered is 24 hours
        {"3", ago(24 * 60), true},
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
struct CountingSleeper final : Sleeper {
    explicit CountingSleeper(SyncTestBed& bed) : bed(bed) {}
    void sleepFor(std::chrono::milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        seen.push_back(bed.count());
    }
    SyncTestBed& bed;
    std::vector<int64_t> seen;
};

} // namespace

TEST(SyncPipeline, ListingsOfASlowBoardBecomeVisiblePageByPage) {
    SyncTestBed bed;
    bed.fetchedAgo(minutes(30), "Himalayas");
    bed.boards.generate("himalayas", 80, false);
    auto sleeper = std::make_shared<CountingSleeper>(bed);
    EXPECT_EQ(bed.serviceWith(bed.boards.endpointsJson(), sleeper)->sync({})["imported"], 80);
    // Each wait before the next page already shows the pages before the last one.
    ASSERT_GE(sleeper->seen.size(), 3u);
    EXPECT_EQ(sleeper->seen[1], 20);
    EXPECT_EQ(sleeper->seen[2], 40);
}
