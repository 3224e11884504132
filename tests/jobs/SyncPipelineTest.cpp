// The whole sync against the loopback boards: the summary, the per-source schedule, and
// boards that misbehave.
#include "SyncTestBed.h"

#include "core/VelmoraError.h"

#include <gtest/gtest.h>

#include <thread>

using namespace velmora;
using namespace velmora::testing;
using json = nlohmann::json;

namespace {

void setAllSourcesFetched(SyncTestBed& bed, std::chrono::minutes ago) {
    for (const auto& s : JobAggregatorService::schedule())
        bed.db->setSetting(std::string("sourceLast.") + s.displayName,
                           DateUtil::withFractional(bed.clock->now() - ago));
}

} // namespace

TEST(SyncPipeline, FullSyncImportsEverySourceInOrderAndReports) {
    SyncTestBed bed;
    json summary = bed.service->sync(bed.recorder());

    std::vector<std::pair<std::string, int64_t>> expected = {
        {"Himalayas", 4}, {"Jobicy", 3},   {"Arbeitnow Europe", 3}, {"Arbeitnow UK", 1},
        {"We Work Remotely", 3}, {"Remotive", 3}, {"Remote OK", 2}, {"RemoteJobs.org", 2}};
    ASSERT_EQ(summary["sources"].size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(summary["sources"][i], (json{{"source", expected[i].first}, {"status", "ok"}, {"imported", expected[i].second}}))
            << summary["sources"][i].dump();
    }
    EXPECT_EQ(summary["imported"], 21);
    EXPECT_EQ(bed.count(), 21);
    EXPECT_EQ(summary["expiredRemoved"], 0);
    EXPECT_EQ(summary["completedAt"], "2026-12-06T12:00:00.000Z");
    EXPECT_EQ(bed.db->getSetting("lastJobSync", ""), "2026-12-06T12:00:00.000Z");
    EXPECT_EQ(bed.db->getSetting("sourceLast.Remotive", ""), "2026-12-06T12:00:00.000Z");
    EXPECT_EQ(bed.db->getSetting("sourceLast.RemoteJobs.org", ""), "2026-12-06T12:00:00.000Z");

    ASSERT_FALSE(bed.progress.empty());
    EXPECT_EQ(bed.progress.front(), (std::tuple<std::string, int64_t, int64_t>{"Searching Himalayas\u2026", 0, 0}));
    EXPECT_EQ(bed.progress.back(), (std::tuple<std::string, int64_t, int64_t>{"Job search complete", 0, 0}));
    // Each source announces itself before its own reports.
    std::vector<std::string> announced;
    for (const auto& [m, c, t] : bed.progress)
        if (c == 0 && t == 0 && m != "Job search complete" && (announced.empty() || announced.back() != m))
            announced.push_back(m);
    EXPECT_EQ(announced.size(), 8u);
    EXPECT_EQ(announced[7], "Searching RemoteJobs.org\u2026");

    // Seen again: updated by link, never duplicated.
    setAllSourcesFetched(bed, std::chrono::minutes(60 * 25));
    json again = bed.service->sync({});
    EXPECT_EQ(again["imported"], 21);
    EXPECT_EQ(bed.count(), 21);
}

TEST(SyncPipeline, SourcesNotDueAreCachedButExpiryAndLastSyncStillRun) {
    SyncTestBed bed;
    setAllSourcesFetched(bed, std::chrono::minutes(30));
    bed.storeListing("https://example.com/expired", "2026-12-06T11:59:59.000Z");
    bed.storeListing("https://example.com/alive", "2027-01-01T00:00:00.000Z");

    json summary = bed.service->sync({});
    EXPECT_EQ(summary["imported"], 0);
    EXPECT_EQ(summary["expiredRemoved"], 1);
    for (const auto& s : summary["sources"]) EXPECT_EQ(s, (json{{"source", s["source"]}, {"status", "cached"}, {"imported", 0}}));
    EXPECT_TRUE(bed.boards.requests().empty());
    EXPECT_EQ(bed.count(), 1);
    EXPECT_EQ(bed.db->getSetting("lastJobSync", ""), "2026-12-06T12:00:00.000Z");
}

TEST(SyncPipeline, EachSourceKeepsItsOwnInterval) {
    SyncTestBed bed;
    setAllSourcesFetched(bed, std::chrono::minutes(30));
    bed.db->setSetting("sourceLast.Jobicy", DateUtil::withFractional(bed.clock->now() - std::chrono::minutes(61)));
    bed.db->setSetting("sourceLast.Remotive", DateUtil::withFractional(bed.clock->now() - std::chrono::hours(5)));
    // Exactly the interval is due; an unreadable time is always due.
    bed.db->setSetting("sourceLast.Remote OK", DateUtil::withFractional(bed.clock->now() - std::chrono::hours(1)));
    bed.db->setSetting("sourceLast.We Work Remotely", "yesterday");

    json summary = bed.service->sync({});
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Jobicy")["status"], "ok");
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remotive")["status"], "cached");
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remote OK")["status"], "ok");
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "We Work Remotely")["status"], "ok");
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Himalayas")["status"], "cached");
    EXPECT_EQ(summary["imported"], 3 + 2 + 3);
}

TEST(SyncPipeline, AFailingSourceIsRetriedNextTimeAndOthersStillRun) {
    SyncTestBed bed;
    setAllSourcesFetched(bed, std::chrono::minutes(60 * 25));
    const std::string before = DateUtil::withFractional(bed.clock->now() - std::chrono::minutes(60 * 25));
    bed.boards.setReply("remotive", {500, "<h1>Internal Server Error</h1>", "text/html"});
    bed.storeListing("https://remotive.com/remote-jobs/kept", "2027-01-01T00:00:00.000Z");

    for (int run = 0; run < 2; ++run) {
        json summary = bed.service->sync({});
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remotive"),
                  (json{{"source", "Remotive"}, {"status", "error"}, {"imported", 0},
                        {"error", "Job source returned an HTTP error."}, {"errorKind", "http"}, {"httpStatus", 500}}));
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remote OK")["status"], "ok");
        EXPECT_EQ(bed.db->getSetting("sourceLast.Remotive", ""), before);
        bed.clock->advance(std::chrono::hours(2));
    }
    EXPECT_EQ(bed.boards.requests("remotive").size(), 2u);
    EXPECT_EQ(bed.count("url='https://remotive.com/remote-jobs/kept'"), 1);
}

TEST(SyncPipeline, SearchWordsComeFromTheSettings) {
    SyncTestBed bed;
    setAllSourcesFetched(bed, std::chrono::minutes(30));
    bed.db->setSetting("sourceLast.Himalayas", "");
    bed.db->setSetting("jobTitle", "  rust \n");
    bed.db->setSetting("keywords", "");
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
    bed.db->setSetting("lastJobSync", "garbage");
    EXPECT_TRUE(bed.service->isSyncDue());

    bed.db->setSetting("searchIntervalHours", "6");
    bed.db->setSetting("lastJobSync", DateUtil::standard(bed.clock->now() - std::chrono::hours(6)));
    EXPECT_TRUE(bed.service->isSyncDue()); // exactly the interval, without fraction
    bed.db->setSetting("lastJobSync", DateUtil::withFractional(bed.clock->now() - std::chrono::minutes(359)));
    EXPECT_FALSE(bed.service->isSyncDue());

    bed.db->setSetting("searchIntervalHours", "3");
    bed.db->setSetting("lastJobSync", DateUtil::withFractional(bed.clock->now() - std::chrono::hours(23)));
    EXPECT_FALSE(bed.service->isSyncDue());
    EXPECT_EQ(bed.db->getSetting("searchIntervalHours", ""), "24");
    bed.clock->advance(std::chrono::hours(1));
    EXPECT_TRUE(bed.service->isSyncDue());

    // A stored time at the far ends of the calendar must neither overflow nor block syncing.
    bed.db->setSetting("lastJobSync", "1677-12-03T08:00:00.000Z");
    EXPECT_TRUE(bed.service->isSyncDue());
    bed.db->setSetting("lastJobSync", "2262-03-01T00:00:00.000Z");
    EXPECT_TRUE(bed.service->isSyncDue());
}

// Boards that hang, hang up, flood, redirect off the web or send nonsense: that source fails
// with a message, the rest of the sync runs, and nothing stored is lost.
TEST(SyncPipeline, MisbehavingBoardsFailAloneWithAMessage) {
    SyncTestBed bed;
    using Reply = JobBoardFixtureServer::Reply;
    Reply hang{200, "{}"};
    hang.delay = std::chrono::milliseconds(4000);
    Reply cut{200, bed.boards.fixture("jobicy.json", "jobicy")};
    cut.closeMidBody = true;
    Reply flood{200, ""};
    flood.streamBytes = 50ull * 1024 * 1024;
    Reply toFile{302, ""};
    toFile.location = "file:///etc/passwd";

    bed.boards.setReply("himalayas", hang);
    bed.boards.setReply("jobicy", cut);
    bed.boards.setReply("arbeitnow", flood);
    bed.boards.setReply("arbeitnowUk", toFile);
    bed.boards.setReply("weWorkRemotely", {200, "<html><body>Down for maintenance", "text/html"});
    bed.boards.setReply("remotive", {200, std::string(100000, '[') + std::string(100000, ']')});
    bed.boards.setReply("remoteOk", {200, "[{\"id\": \"1\", \"position\": \"caf\xff\"}]"});
    bed.boards.setReply("remoteJobs", {200, "[{\"data\": []}]"});
    bed.storeListing("https://example.com/kept", "2027-01-01T00:00:00.000Z");

    json summary = bed.service->sync({});
    auto error = [&](const std::string& name) { return SyncTestBed::sourceRecord(summary, name)["error"].get<std::string>(); };
    for (const auto& s : summary["sources"]) EXPECT_EQ(s["status"], "error") << s.dump();
    EXPECT_NE(error("Himalayas").find("imed out"), std::string::npos) << error("Himalayas");
    EXPECT_NE(error("Jobicy").find("could not be reached"), std::string::npos) << error("Jobicy");
    EXPECT_EQ(error("Arbeitnow Europe"), "A job source sent a response larger than 32 MB.");
    EXPECT_NE(error("Arbeitnow UK").find("could not be reached"), std::string::npos) << error("Arbeitnow UK");
    EXPECT_EQ(error("We Work Remotely"), "We Work Remotely RSS could not be parsed.");
    EXPECT_EQ(error("Remotive"), "A job source returned JSON nested too deeply to read.");
    EXPECT_NE(error("Remote OK").find("A job source returned invalid JSON"), std::string::npos) << error("Remote OK");
    EXPECT_EQ(error("RemoteJobs.org"), "A job source returned an unexpected response.");
    EXPECT_EQ(summary["imported"], 0);
    EXPECT_EQ(bed.count(), 1);
    EXPECT_EQ(bed.db->getSetting("sourceLast.Jobicy", ""), "");
    EXPECT_NO_THROW(nlohmann::json::parse(summary.dump())); // the messages are valid text
}

TEST(SyncPipeline, FeedAndApiStatusErrorsUseTheirOwnMessages) {
    SyncTestBed bed;
    bed.boards.setReply("weWorkRemotely", {503, "busy", "text/plain"});
    bed.boards.setReply("jobicy", {200, "not json at all"});
    try {
        bed.service->fetchWWR("", {});
        ADD_FAILURE() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "We Work Remotely returned an error.");
    }
    try {
        bed.service->fetchJobicy("", {});
        ADD_FAILURE() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("A job source returned invalid JSON: ", 0), 0u) << e.what();
    }
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
    setAllSourcesFetched(bed, std::chrono::minutes(30));
    bed.db->setSetting("sourceLast.Himalayas", "");
    bed.boards.generate("himalayas", 80, false);
    auto sleeper = std::make_shared<CountingSleeper>(bed);
    JobAggregatorService service(bed.db, bed.security, bed.http,
                                 JobSourceEndpoints::fromJsonText(bed.boards.endpointsJson()), bed.clock, sleeper);
    json summary = service.sync({});
    EXPECT_EQ(summary["imported"], 80);
    // Each wait before the next page already shows the pages before the last one.
    ASSERT_GE(sleeper->seen.size(), 3u);
    EXPECT_EQ(sleeper->seen[1], 20);
    EXPECT_EQ(sleeper->seen[2], 40);
}

TEST(SyncPipeline, TriageSurvivesTheNextSync) {
    SyncTestBed bed;
    bed.service->sync({});
    auto firstList = bed.db->getJobs(DatabaseService::JobQuery{});
    ASSERT_FALSE(firstList.empty());
    const std::string hiddenUrl = firstList[0]["url"];
    bed.db->setJobMark(firstList[0]["id"], "hidden");
    const int64_t search = bed.db->saveSearch({{"name", "Everything"}});

    // Three new postings, each on two boards; everything else is seen again unchanged.
    bed.boards.generate("remotive", 3, false);
    bed.boards.generate("jobicy", 3, false);
    bed.clock->advance(std::chrono::hours(7));
    bed.service->sync({});

    EXPECT_EQ(bed.db->getSavedSearches()[0]["newCount"], 3);
    DatabaseService::JobQuery everything;
    everything.limit = 500;
    auto list = bed.db->getJobs(everything);
    int64_t twoBoards = 0;
    for (const auto& job : list) {
        EXPECT_NE(job["url"], hiddenUrl);
        if (job["alsoOn"].size() == 1u) {
            ++twoBoards;
            EXPECT_NE(job["alsoOn"][0]["source"], job["source"]);
        }
    }
    EXPECT_EQ(twoBoards, 3);
    everything.includeHidden = true;
    bool found = false;
    for (const auto& job : bed.db->getJobs(everything))
        if (job["url"] == hiddenUrl) found = job["mark"] == "hidden";
    EXPECT_TRUE(found);
    EXPECT_EQ(bed.db->openSavedSearch(search)["newCount"], 0);
}
