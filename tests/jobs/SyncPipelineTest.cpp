// The whole sync against the loopback boards: what it stores, the summary, the per-source
// schedule, failures and retries, and what the user did to the listings surviving the next sync.
#include "SyncTestBed.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

#include <thread>

using namespace velmora;
using namespace velmora::testing;
using std::chrono::minutes;

// What a sync stores from each board's hand-written responses, field by field, in what order
// it asks the boards, and what the user did to the listings surviving the next sync.
TEST(SyncPipeline, FullSyncImportsEverySourceInOrderAndTriageSurvivesTheNext) {
    SyncTestBed bed;
    const json summary = bed.service->sync(bed.recorder());
    EXPECT_EQ(summary, json::parse(R"({"imported": 21, "expiredRemoved": 0, "completedAt": "2026-12-06T12:00:00.000Z",
        "sources": [{"source": "Himalayas", "status": "ok", "imported": 4},
                    {"source": "Jobicy", "status": "ok", "imported": 3},
                    {"source": "Arbeitnow Europe", "status": "ok", "imported": 3},
                    {"source": "Arbeitnow UK", "status": "ok", "imported": 1},
                    {"source": "We Work Remotely", "status": "ok", "imported": 3},
                    {"source": "Remotive", "status": "ok", "imported": 3},
                    {"source": "Remote OK", "status": "ok", "imported": 2},
                    {"source": "RemoteJobs.org", "status": "ok", "imported": 2}]})"));
    EXPECT_EQ(bed.count(), 21);
    // Stored, not yet indexed: the index catches up afterwards, a chunk at a time, until stopped.
    int chunks = 0;
    EXPECT_EQ(bed.service->indexStoredListings([&] { return chunks++ < 2; }, 5), 10);
    EXPECT_EQ(bed.service->indexStoredListings({}, 5), 11);
    EXPECT_EQ(bed.db->indexPendingJobs(100), 0);
    for (const char* key : {"lastJobSync", "sourceLast.Remotive", "sourceLast.RemoteJobs.org"})
        EXPECT_EQ(bed.db->getSetting(key, ""), "2026-12-06T12:00:00.000Z") << key;
    // Each source announces itself before its own reports.
    std::vector<std::string> announcements = {"Job search complete"}, announced;
    for (const auto& s : JobAggregatorService::schedule())
        announcements.insert(announcements.end() - 1, "Searching " + std::string(s.displayName) + "\u2026");
    for (const auto& [m, c, t] : bed.progress)
        if (c == 0 && t == 0 && (announced.empty() || announced.back() != m)) announced.push_back(m);
    EXPECT_EQ(announced, announcements);

    const std::string hi = "https://himalayas.app/companies/", jo = "https://jobicy.com/jobs/",
                      ww = "https://weworkremotely.com/remote-jobs/", re = "https://remotive.com/remote-jobs/",
                      ok = "https://remoteOK.com/remote-jobs/remote-";
    // clang-format off
    const std::tuple<std::string, const char*, std::string> listings[] = {
        {hi + "hollowbrook-and-sons/jobs/senior-backend-engineer",
         "title,company,location,published_at,source,description,tags,security_score",
         "Senior Backend Engineer & Platform Lead|Hollowbrook & Sons|Germany, Netherlands|2026-12-05T09:30:00.000Z|"
         "Himalayas|We're hiring a backend engineer. Design APIs & services 5+ years experience|"
         "Backend-Engineer, Platform-Engineer, Software Development|85"},
        // Milliseconds on the wire.
        {"https://jobs.tidewell.io/apply/csm-2291", "location,description,published_at,external_id,category",
         "India, Spain, Portugal, Brazil, Mexico|Help customers in six markets get value from Tidewell.|"
         "2026-12-04T16:45:10.000Z|https://himalayas.app/companies/tidewell/jobs/customer-success-manager|"
         "Customer Support"},
        {hi + "brightquill/jobs/freelance-copywriter", "location,category,external_id",
         "Worldwide / Remote|Writing & Editorial|" + hi + "brightquill/jobs/freelance-copywriter"},
        {jo + "118204-marketing-operations-specialist", "company,external_id,tags,description,published_at",
         "Saltmarsh & Reed|118204|Marketing & Sales, Full-Time|Own HubSpot & Salesforce workflows. Caf\u00e9 budget "
         "included.|2026-12-04T12:00:00.000Z"},
        {jo + "116500-ux-researcher", "external_id,tags",
         "https://jobicy.com/jobs/116500-ux-researcher|Design & Multimedia, Healthcare, Full-Time"},
        {"https://www.arbeitnow.com/jobs/companies/zugvogel-analytics/data-engineer-remote-77120",
         "location,external_id,tags", "Europe / Remote|data-engineer-remote-77120|full time"},
        {ww + "hollowbrook-sons-senior-rails-developer-payments",
         "company,title,description,published_at,tags,location",
         "Hollowbrook & Sons|Senior Rails Developer: Payments|Headquarters: Leeds Ruby & Rails on our payments stack.|"
         "2026-12-05T14:30:12.000Z|Back-End Programming|Anywhere in the World"},
        {ww + "bookkeeper-4411", "company,location,published_at", "Remote employer|Remote|<null>"},
        {re + "software-dev/senior-python-developer-2045118", "company,published_at,external_id,tags",
         "Ashgrove Labs|2026-12-02T10:23:26.000Z|2045118|Software & IT, full_time, $90k - $110k"},
        // The link rating compares the host case-insensitively.
        {ok + "senior-frontend-engineer-quillstack-1130221", "title,location,external_id,tags,security_score",
         "Senior Frontend Engineer \u2013 React|Worldwide|1130221|react, typescript, frontend|85"},
        {ok + "customer-support-agent-brightline-1130100", "published_at", "2026-12-03T11:00:00.000Z"}, // from the page
        {"https://greywater.co/careers/staff-security-engineer", "company,tags,source",
         "Greywater & Co|Security, full-time, $160k \u2013 $190k|RemoteJobs.org"},
        {"https://brightline.example/jobs/recruiting-coordinator", "location,tags,external_id",
         "Remote|human-resources, contract|a7e3d9f2-0c44-4f1b-8d2e-3b9a7c6e5d21"},
    };
    // Listings a board sends but no user should see (no application link, an office job, stale,
    // a notice, placeholders) are already left out of the counts above.
    const char* once[] = {"title='DevOps Engineer Kubernetes (m/w/d)' AND location='M\u00fcnchen'",
                          "source='Arbeitnow UK' AND location='United Kingdom / Remote'",
                          "description LIKE '%We\u2019re looking%'"}; // repaired double-decoded text
    // clang-format on
    for (const auto& [url, columns, values] : listings)
        EXPECT_EQ(bed.cells(url, columns), values) << url;
    for (const char* where : once)
        EXPECT_EQ(bed.count(where), 1) << where;

    // The user hides a listing; then three new postings arrive, each on two boards, and
    // everything else is seen again: updated by link, never duplicated, still hidden.
    bed.db->setJobMark(bed.db->getJobs(DatabaseService::JobQuery{})[0]["id"], "hidden");
    bed.boards.generate("remotive", 3, false);
    bed.boards.generate("jobicy", 3, false);
    bed.fetchedAgo(minutes(60 * 25));
    EXPECT_EQ(bed.service->sync({})["imported"], 21);
    EXPECT_EQ(bed.count(), 21 + 6);
    // Listed: 21 and 3 new postings, less the hidden one.
    EXPECT_EQ(bed.db->getJobs([] { DatabaseService::JobQuery q; q.limit = 500; return q; }()).size(), 23u);
}

// Each source keeps its own interval while expiry and the last sync always run; a sync is due
// after the user's interval and asks with the user's search words.
TEST(SyncPipeline, IntervalsDecideWhatIsAskedAndWhenTheSearchWordsAreSent) {
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
    EXPECT_EQ(bed.db->getSetting("lastJobSync", ""), "2026-12-06T12:00:00.000Z");

    // Exactly the interval is due; an unreadable time is always due.
    const auto ago = [&](int m) { return DateUtil::withFractional(bed.clock->now() - minutes(m)); };
    const std::tuple<const char*, std::string, const char*> sources[] = {{"Remotive", ago(300), "cached"},
                                                                      {"Remote OK", ago(60), "ok"},
                                                                      {"We Work Remotely", "yesterday", "ok"}};
    for (const auto& [source, when, status] : sources)
        bed.db->setSetting(std::string("sourceLast.") + source, when);
    summary = bed.service->sync({});
    for (const auto& [source, when, status] : sources)
        EXPECT_EQ(SyncTestBed::sourceRecord(summary, source)["status"], status) << source;
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Himalayas")["status"], "cached");
    EXPECT_EQ(summary["imported"], 2 + 3);

    bed.fetchedAgo(minutes(30), "Himalayas");
    bed.db->setSetting("sourceLast.Himalayas", "");
    bed.db->setSetting("jobTitle", "  rust \n");
    bed.service->sync({});
    EXPECT_EQ(bed.boards.requests("himalayas").at(0).params.at("q"), "rust");
    for (const auto& [title, keywords, query] :
         {std::tuple{"rust", " tokio, axum ", "rust tokio, axum"}, {" ", "", ""}, {"", " go", "go"}}) {
        bed.db->setSetting("jobTitle", title);
        bed.db->setSetting("keywords", keywords);
        EXPECT_EQ(bed.service->searchQuery(), query);
    }

    const std::tuple<const char*, std::string, bool> rows[] = {
        {"6", "garbage", true},
        {"6", DateUtil::standard(bed.clock->now() - std::chrono::hours(6)), true}, // exactly, without fraction
        {"6", ago(359), false},
        {"3", ago(23 * 60), false}, // an interval not offered is 24 hours
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
    const size_t asked = bed.boards.requests().size();
    const json retried = bed.service->retrySource("Remotive");
    EXPECT_EQ(retried["retried"], "Remotive");
    EXPECT_EQ(SyncTestBed::sourceRecord(retried, "Remotive"), json::parse(R"({"source": "Remotive", "status": "ok",
                                                                             "imported": 0})"));
    EXPECT_EQ(SyncTestBed::sourceRecord(retried, "Jobicy"), jobicy); // other boards keep their row
    EXPECT_EQ(bed.boards.requests().size(), asked + 1);
    EXPECT_EQ(bed.service->lastSummary(), retried);
    EXPECT_THROW(bed.service->retrySource("Nowhere Jobs"), VelmoraError);
    // A summary row cut short or edited by hand is shown as none rather than as garbage.
    for (const char* stored : {"{\"sources\":", "{\"sources\":7}"}) {
        bed.db->setSetting(JobAggregatorService::kSummaryKey, stored);
        EXPECT_TRUE(bed.service->lastSummary().is_null()) << stored;
    }
}

// Batches are written on a thread of their own while the next pages are read: a write the
// database refuses must still fail its source, keep what was written before it, and leave the
// other boards alone.
TEST(SyncPipeline, AStoreFailureFailsItsSourceAndKeepsTheBatchesBeforeIt) {
    SyncTestBed bed;
    bed.boards.generate("himalayas", 1000, false);
    bed.sqlite->execute("CREATE TEMP TRIGGER full_disk BEFORE INSERT ON main.jobs WHEN new.source='Himalayas' AND "
                        "(SELECT COUNT(*) FROM jobs WHERE source='Himalayas')>=410 BEGIN SELECT RAISE(ABORT,'disk full'); END;");
    const json summary = bed.service->sync({});
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Himalayas")["status"], "error") << summary.dump();
    // Whole batches only, which end at a page of 20: the one that reached the 411th listing
    // rolled back.
    EXPECT_GT(bed.count("source='Himalayas'"), 0);
    EXPECT_LT(bed.count("source='Himalayas'"), 410);
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remote OK")["status"], "ok");
    EXPECT_GT(bed.count("source='Remote OK'"), 0);
}


namespace {

// Really waits, as the page waits of a live sync do, and notes how many listings the user
// could see at each wait.
struct CountingSleeper final : Sleeper {
    explicit CountingSleeper(SyncTestBed& bed) : bed(bed) {}
    void sleepFor(std::chrono::milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(120)), seen.push_back(bed.count());
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
