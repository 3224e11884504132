#include "JobTestSupport.h"

#include "core/VelmoraError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace velmora;
using velmora::testing::JobDb;
using Urls = std::vector<std::string>;

TEST(JobQueries, StoredJobMapsEveryColumn) {
    JobDb t;
    auto j = JobDb::job("https://remotive.com/1", "Data Engineer", "Worldwide", "Data & AI");
    j.publishedAt = *DateUtil::parse("2026-02-27T08:00:00.250Z");
    j.tags = {"Full-time", "", "USD 100k"};
    int64_t id = t.db.upsertJob(j, JobDb::rating(85, "Quorvane Checked"));
    ASSERT_GT(id, 0);

    auto jobs = t.db.getJobs("All", "", 50, 0);
    ASSERT_EQ(jobs.size(), 1u);
    const auto& o = jobs[0];
    EXPECT_EQ(o.size(), 20u);
    EXPECT_EQ(o["id"], id);
    EXPECT_EQ(o["externalId"], "ext-https://remotive.com/1");
    EXPECT_EQ(o["source"], "Remotive");
    EXPECT_EQ(o["title"], "Data Engineer");
    EXPECT_EQ(o["company"], "Acme https://remotive.com/1");
    EXPECT_EQ(o["category"], "Data & AI");
    EXPECT_EQ(o["location"], "Worldwide");
    EXPECT_EQ(o["description"], "Build things.");
    EXPECT_EQ(o["publishedAt"], "2026-02-27T08:00:00.250Z");
    EXPECT_EQ(o["addedAt"], "2026-03-01T12:00:00.000Z");
    EXPECT_EQ(o["expiresAt"], "2026-05-30T12:00:00.000Z");
    EXPECT_EQ(o["securityScore"], 85);
    EXPECT_EQ(o["securityLabel"], "Quorvane Checked");
    EXPECT_EQ(o["tags"], "Full-time, USD 100k");

    // Values of unexpected kinds written by anything else still map to the documented fallbacks.
    t.sqlite->execute("UPDATE jobs SET published_at=NULL, security_label='', company=x'00', tags=x'4142';");
    auto again = t.db.getJobs("All", "", 50, 0)[0];
    EXPECT_TRUE(again["publishedAt"].is_null());
    EXPECT_EQ(again["securityLabel"], "Unchecked");
    EXPECT_EQ(again["company"], "");
    EXPECT_EQ(again["tags"], "");
}

TEST(JobQueries, LimitAndOffsetAreClamped) {
    JobDb t;
    for (int i = 0; i < 502; ++i) t.store(JobDb::job("https://example.com/" + std::to_string(i)));
    EXPECT_EQ(t.db.getJobs("All", "", 0, 0).size(), 1u);
    EXPECT_EQ(t.db.getJobs("All", "", -3, 0).size(), 1u);
    EXPECT_EQ(t.db.getJobs("All", "", 10000, 0).size(), 500u);
    EXPECT_EQ(t.db.getJobs("All", "", 7, -5), t.db.getJobs("All", "", 7, 0));
    EXPECT_EQ(t.db.getJobs("All", "", 10, 500).size(), 2u);
}

TEST(JobQueries, NewestPublicationFirstThenFirstStored) {
    JobDb t;
    auto old = JobDb::job("https://e.com/old");
    old.publishedAt = *DateUtil::parse("2026-01-01T00:00:00Z");
    auto recent = JobDb::job("https://e.com/recent");
    recent.publishedAt = *DateUtil::parse("2026-02-28T00:00:00Z");
    t.store(old);
    t.store(recent);
    t.store(JobDb::job("https://e.com/unpublished-a")); // sorts by added_at 2026-03-01
    t.advanceDays(1);
    t.store(JobDb::job("https://e.com/unpublished-b"));
    EXPECT_EQ(t.search(""), (Urls{"https://e.com/unpublished-b", "https://e.com/unpublished-a", "https://e.com/recent",
                                  "https://e.com/old"}));
    // Paging walks the same order.
    EXPECT_EQ(t.urls(t.db.getJobs("All", "", 2, 1)), (Urls{"https://e.com/unpublished-a", "https://e.com/recent"}));
}

TEST(JobQueries, CategoryFilterIsExactUnlessAll) {
    JobDb t;
    t.store(JobDb::job("https://e.com/a", "Engineer", "Worldwide", "Software & IT"));
    t.store(JobDb::job("https://e.com/b", "Nurse", "Worldwide", "Healthcare"));
    for (const char* all : {"All", "all", "ALL", "aLl", ""}) EXPECT_EQ(t.search("", all).size(), 2u) << all;
    EXPECT_EQ(t.search("", "Healthcare"), Urls{"https://e.com/b"});
    EXPECT_TRUE(t.search("", "healthcare").empty());
    EXPECT_TRUE(t.search("", "Software").empty());
}

TEST(JobQueries, QueryIsOneLikePhraseOverFiveColumns) {
    JobDb t;
    auto a = JobDb::job("https://e.com/a", "Senior Rust Developer");
    auto b = JobDb::job("https://e.com/b", "Designer", "Berlin, Germany");
    b.company = "Rustic Studio";
    auto c = JobDb::job("https://e.com/c", "Writer");
    c.description = "We need 100% remote help with my_file and O'Brien's \"quotes\" \\ back\\slash; DROP TABLE jobs;--";
    auto d = JobDb::job("https://e.com/d", "Support Agent");
    d.tags = {"Part-time", "Zendesk"};
    auto e = JobDb::job("https://e.com/e", "Caf\u00e9 Manager \u00c9COLE");
    for (const auto& j : {a, b, c, d, e}) t.store(j);

    // Equal times: the later stored comes first.
    EXPECT_EQ(t.search("  RUST \n"), (Urls{"https://e.com/b", "https://e.com/a"}));
    EXPECT_EQ(t.search("rust developer"), Urls{"https://e.com/a"});
    EXPECT_TRUE(t.search("developer rust").empty()); // a phrase, not a bag of words
    EXPECT_EQ(t.search("germany"), Urls{"https://e.com/b"});
    EXPECT_EQ(t.search("zendesk"), Urls{"https://e.com/d"});
    // Quotes, backslashes and SQL text are bound values, never part of the statement.
    EXPECT_EQ(t.search("O'Brien's \"quotes\""), Urls{"https://e.com/c"});
    EXPECT_EQ(t.search("back\\slash"), Urls{"https://e.com/c"});
    EXPECT_EQ(t.search("DROP TABLE jobs;--"), Urls{"https://e.com/c"});
    EXPECT_TRUE(t.search("' OR 1=1 --").empty());
    EXPECT_EQ(t.db.getJobs("All", "", 50, 0).size(), 5u);
    // % and _ keep their LIKE meaning.
    EXPECT_EQ(t.search("100%"), Urls{"https://e.com/c"});
    EXPECT_EQ(t.search("Rust%Developer"), Urls{"https://e.com/a"});
    EXPECT_EQ(t.search("my_file"), Urls{"https://e.com/c"});
    EXPECT_EQ(t.search("R_st"), (Urls{"https://e.com/b", "https://e.com/a"}));
    EXPECT_EQ(t.search("%").size(), 5u);
    // Case folding is ASCII-only.
    EXPECT_EQ(t.search("CAF\u00e9"), Urls{"https://e.com/e"});
    EXPECT_TRUE(t.search("caf\u00c9").empty());
    EXPECT_TRUE(t.search("\u00e9cole").empty());
}

TEST(JobQueries, ExpiredListingsAreHiddenEverywhereBeforeDeletion) {
    JobDb t;
    t.store(JobDb::job("https://e.com/old"), 80);
    t.advanceDays(30);
    t.store(JobDb::job("https://e.com/new"), 80);
    t.advanceDays(61); // the first listing is now 91 days old

    EXPECT_EQ(t.search(""), Urls{"https://e.com/new"});
    ASSERT_EQ(t.db.getCategories().size(), 1u);
    EXPECT_EQ(t.db.getCategories()[0]["count"], 1);
    auto counts = t.db.dashboardCounts();
    EXPECT_EQ(counts["totalJobs"], 1);
    EXPECT_EQ(counts["checkedJobs"], 1);

    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
    EXPECT_EQ(std::get<int64_t>(*t.sqlite->scalar("SELECT COUNT(*) FROM jobs;")), 1);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
}

TEST(JobQueries, SeenAgainExtendsLifetime) {
    JobDb t;
    t.store(JobDb::job("https://e.com/a"));
    t.advanceDays(80);
    t.store(JobDb::job("https://e.com/a"));
    t.advanceDays(80);
    EXPECT_EQ(t.search(""), Urls{"https://e.com/a"});
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
}

TEST(JobQueries, UpsertKeepsFirstStoreAndEarlierPublication) {
    JobDb t;
    auto first = JobDb::job("https://e.com/a", "Old Title");
    first.publishedAt = *DateUtil::parse("2026-02-01T00:00:00Z");
    int64_t id = t.store(first, 40);
    t.advanceDays(3);

    auto second = JobDb::job("https://e.com/a", "New Title", "USA");
    second.source = "Jobicy";
    EXPECT_EQ(t.db.upsertJob(second, JobDb::rating(85, "Quorvane Checked")), id);
    auto jobs = t.db.getJobs("All", "", 50, 0);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0]["title"], "New Title");
    EXPECT_EQ(jobs[0]["source"], "Jobicy");
    EXPECT_EQ(jobs[0]["location"], "USA");
    EXPECT_EQ(jobs[0]["securityScore"], 85);
    EXPECT_EQ(jobs[0]["securityLabel"], "Quorvane Checked");
    EXPECT_EQ(jobs[0]["addedAt"], "2026-03-01T12:00:00.000Z");
    EXPECT_EQ(jobs[0]["expiresAt"], "2026-06-02T12:00:00.000Z");
    EXPECT_EQ(jobs[0]["publishedAt"], "2026-02-01T00:00:00.000Z");

    auto third = second;
    third.publishedAt = *DateUtil::parse("2026-02-20T00:00:00Z");
    t.store(third);
    EXPECT_EQ(t.db.getJobs("All", "", 50, 0)[0]["publishedAt"], "2026-02-20T00:00:00.000Z");
    auto lastSeen = t.sqlite->scalar("SELECT last_seen_at FROM jobs;");
    EXPECT_EQ(std::get<std::string>(*lastSeen), "2026-03-04T12:00:00.000Z");
}

TEST(JobQueries, DashboardCountsThresholdsAndRecency) {
    JobDb t;
    t.store(JobDb::job("https://e.com/old"), 70);
    t.advanceDays(8);
    t.store(JobDb::job("https://e.com/new"), 69);
    auto c = t.db.dashboardCounts();
    EXPECT_EQ(c, (nlohmann::json{{"totalJobs", 2}, {"checkedJobs", 1}, {"added7d", 1}, {"applications", 0}}));
    t.db.recordOpenedApplication(std::nullopt, "Job", "Co", "https://e.com/x");
    EXPECT_EQ(t.db.dashboardCounts()["applications"], 1);

    // Each count keeps its own threshold inside a location mode, too.
    t.store(JobDb::job("https://e.com/us", "t", "Remote - USA"), 90);
    t.store(JobDb::job("https://e.com/de", "t", "Germany"), 95);
    t.db.setSetting("locationMode", "us");
    EXPECT_EQ(t.db.dashboardCounts(),
              (nlohmann::json{{"totalJobs", 3}, {"checkedJobs", 2}, {"added7d", 2}, {"applications", 1}}));
}

TEST(JobQueries, CategoriesLargestFirstThenByName) {
    JobDb t;
    t.store(JobDb::job("https://e.com/1", "t", "Worldwide", "Sales"));
    t.store(JobDb::job("https://e.com/2", "t", "Worldwide", "Marketing"));
    t.store(JobDb::job("https://e.com/3", "t", "Worldwide", "Legal"));
    t.store(JobDb::job("https://e.com/4", "t", "Worldwide", "Legal"));
    EXPECT_EQ(t.db.getCategories(), (nlohmann::json{{{"name", "Legal"}, {"count", 2}},
                                                    {{"name", "Marketing"}, {"count", 1}},
                                                    {{"name", "Sales"}, {"count", 1}}}));
}

TEST(JobQueries, LocationModesApplyToListsCategoriesAndCounts) {
    JobDb t;
    t.store(JobDb::job("https://e.com/remote", "t", "Remote", "Sales"));
    t.store(JobDb::job("https://e.com/usa", "t", "Remote - USA", "Sales"));
    t.store(JobDb::job("https://e.com/ww", "t", "Worldwide / Remote", "Legal"));
    t.store(JobDb::job("https://e.com/eu", "t", "Europe / Remote", "Legal"));
    t.store(JobDb::job("https://e.com/uk", "t", "UK", "Legal"));
    t.store(JobDb::job("https://e.com/london", "t", "London, u.k.", "Legal"));

    auto check = [&](const Urls& expected) {
        auto got = t.search("");
        std::sort(got.begin(), got.end());
        Urls want = expected;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want);
        int64_t categoryTotal = 0;
        for (const auto& c : t.db.getCategories()) categoryTotal += c["count"].get<int64_t>();
        EXPECT_EQ(categoryTotal, static_cast<int64_t>(expected.size()));
        EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], expected.size());
    };

    check({"https://e.com/remote", "https://e.com/usa", "https://e.com/ww", "https://e.com/eu", "https://e.com/uk",
           "https://e.com/london"});
    t.db.setSetting("locationMode", " US ");
    {
        SCOPED_TRACE("us");
        check({"https://e.com/usa", "https://e.com/ww"});
    }
    t.db.setSetting("locationMode", "home");
    {
        SCOPED_TRACE("home, nothing set");
        check({"https://e.com/ww"});
    }
    t.db.setSetting("homeCountryCode", "gb");
    t.db.setSetting("homeCountryName", "United Kingdom");
    {
        SCOPED_TRACE("home GB");
        check({"https://e.com/ww", "https://e.com/eu", "https://e.com/london"});
    }
    t.db.setSetting("homeCountryCode", "DE");
    t.db.setSetting("homeCountryName", "Germany");
    {
        SCOPED_TRACE("home DE");
        check({"https://e.com/ww", "https://e.com/eu"});
    }
    t.db.setSetting("locationMode", "mars");
    {
        SCOPED_TRACE("unknown mode is worldwide");
        check({"https://e.com/remote", "https://e.com/usa", "https://e.com/ww", "https://e.com/eu", "https://e.com/uk",
               "https://e.com/london"});
    }
}

TEST(JobQueries, LocationTermsAreBoundNotSpliced) {
    JobDb t;
    t.store(JobDb::job("https://e.com/a", "t", "O'Hare % Land_1"));
    t.store(JobDb::job("https://e.com/b", "t", "Somewhere"));
    t.store(JobDb::job("https://e.com/c", "t", "O'Hare Big Land91")); // what % and _ as wildcards would take
    t.db.setSetting("locationMode", "home");
    t.db.setSetting("homeCountryName", "O'Hare % Land_1");
    EXPECT_EQ(t.search(""), Urls{"https://e.com/a"});
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);
}

TEST(JobQueries, ReadsFallBackAndWritesReportFailure) {
    JobDb t;
    t.store(JobDb::job("https://e.com/a"));
    t.sqlite->execute("DROP TABLE applications;");
    t.sqlite->execute("DROP TABLE jobs;");
    EXPECT_EQ(t.db.getJobs("All", "x", 10, 0), nlohmann::json::array());
    EXPECT_EQ(t.db.getCategories(), nlohmann::json::array());
    EXPECT_EQ(t.db.getApplications(), nlohmann::json::array());
    EXPECT_EQ(t.db.dashboardCounts(),
              (nlohmann::json{{"totalJobs", 0}, {"checkedJobs", 0}, {"added7d", 0}, {"applications", 0}}));
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
    EXPECT_THROW(t.store(JobDb::job("https://e.com/b")), std::exception);
    EXPECT_THROW(t.db.updateApplication(1, "Applied", ""), std::exception);
}

TEST(JobQueries, SaveResumeKeepsNoTextAndSwallowsFailure) {
    JobDb t;
    t.db.saveResume("cv.pdf", "/home/me/cv.pdf", "{\"score\":80}");
    auto rows = t.sqlite->query("SELECT name,original_path,extracted_text,analysis_json,created_at FROM resumes;");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(*sqlite_row::text(rows[0], "name"), "cv.pdf");
    EXPECT_EQ(*sqlite_row::text(rows[0], "original_path"), "/home/me/cv.pdf");
    EXPECT_EQ(*sqlite_row::text(rows[0], "extracted_text"), "");
    EXPECT_EQ(*sqlite_row::text(rows[0], "analysis_json"), "{\"score\":80}");
    EXPECT_EQ(*sqlite_row::text(rows[0], "created_at"), "2026-03-01T12:00:00.000Z");
    t.sqlite->execute("DROP TABLE resumes;");
    EXPECT_NO_THROW(t.db.saveResume("cv.pdf", "/x", "{}"));
}

namespace {

DatabaseService::JobQuery listQuery(std::function<void(DatabaseService::JobQuery&)> change = {}) {
    DatabaseService::JobQuery q;
    q.limit = 500;
    if (change) change(q);
    return q;
}

Urls sorted(Urls u) {
    std::sort(u.begin(), u.end());
    return u;
}

} // namespace

TEST(JobQueries, MarksFollowTheLinkThroughResyncAndExpiry) {
    JobDb t;
    const int64_t a = t.store(JobDb::job("https://e.com/a"), 90);
    const int64_t b = t.store(JobDb::job("https://e.com/b"));
    t.db.setJobMark(a, "hidden");
    t.db.setJobMark(b, "saved");

    auto visible = t.db.getJobs(listQuery());
    ASSERT_EQ(t.urls(visible), Urls{"https://e.com/b"});
    EXPECT_EQ(visible[0]["mark"], "saved");
    auto all = t.db.getJobs(listQuery([](auto& q) { q.includeHidden = true; }));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]["mark"], "hidden");
    // Hidden listings leave every counter too.
    EXPECT_EQ(t.db.getCategories()[0]["count"], 1);
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);
    EXPECT_EQ(t.db.dashboardCounts()["checkedJobs"], 0);

    t.store(JobDb::job("https://e.com/a")); // seen again by a sync
    EXPECT_EQ(t.urls(t.db.getJobs(listQuery())), Urls{"https://e.com/b"});
    t.advanceDays(91);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 2);
    const int64_t again = t.store(JobDb::job("https://e.com/a")); // back as a new row
    EXPECT_NE(again, a);
    EXPECT_TRUE(t.db.getJobs(listQuery()).empty());
    t.db.setJobMark(again, "");
    EXPECT_EQ(t.db.getJobs(listQuery())[0]["mark"], "");

    EXPECT_THROW(t.db.setJobMark(a, "saved"), VelmoraError); // that row is gone
    EXPECT_THROW(t.db.setJobMark(again, "starred"), VelmoraError);
    EXPECT_THROW(t.db.setJobMark(again, "Hidden"), VelmoraError);
}

TEST(JobQueries, OnePostingOnSeveralBoardsIsOneRow) {
    JobDb t;
    auto first = JobDb::job("https://remotive.com/1", "Senior Engineer (Remote)", "Germany");
    first.company = "Acme, Inc.";
    auto second = JobDb::job("https://jobicy.com/9", "senior engineer remote", "USA");
    second.company = "ACME";
    second.source = "Jobicy";
    auto other = JobDb::job("https://e.com/other", "Senior Engineer (Remote)", "Germany");
    other.company = ""; // no company: never merged
    const int64_t a = t.store(first);
    const int64_t b = t.store(second);
    t.store(other);
    t.db.recordOpenedApplication(b, "Senior Engineer", "ACME", "https://jobicy.com/9");
    t.db.updateApplication(1, "Applied", "");

    auto jobs = t.db.getJobs(listQuery());
    ASSERT_EQ(t.urls(jobs), (Urls{"https://e.com/other", "https://remotive.com/1"}));
    EXPECT_EQ(jobs[1]["alsoOn"],
              (nlohmann::json{{{"id", b}, {"source", "Jobicy"}, {"url", "https://jobicy.com/9"}}}));
    EXPECT_EQ(jobs[0]["alsoOn"], nlohmann::json::array());
    EXPECT_EQ(jobs[1]["applicationStatus"], "");
    EXPECT_EQ(t.db.getCategories()[0]["count"], 2);
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 2);

    // A filter that leaves out the first link shows the posting through the next one.
    t.db.setSetting("locationMode", "us");
    jobs = t.db.getJobs(listQuery());
    ASSERT_EQ(t.urls(jobs), Urls{"https://jobicy.com/9"});
    EXPECT_EQ(jobs[0]["alsoOn"][0]["id"], a);
    EXPECT_EQ(jobs[0]["applicationStatus"], "Applied");
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);
    t.db.setSetting("locationMode", "worldwide");

    // Hiding the posting hides every link of it.
    t.db.setJobMark(a, "hidden");
    EXPECT_EQ(t.urls(t.db.getJobs(listQuery())), Urls{"https://e.com/other"});
    t.db.setSetting("locationMode", "us");
    EXPECT_TRUE(t.db.getJobs(listQuery()).empty());
}

TEST(JobQueries, FiltersBySourceAgeAndJobType) {
    JobDb t;
    auto job = [&](const std::string& url, const std::string& source, int ageDays, std::vector<std::string> tags) {
        auto j = JobDb::job(url);
        j.source = source;
        j.tags = std::move(tags);
        j.publishedAt = t.clock->now() - std::chrono::hours(24 * ageDays);
        t.store(j);
    };
    job("https://e.com/new-ft", "Remotive", 1, {"Full-time"});
    job("https://e.com/week-pt", "Jobicy", 6, {"PART_TIME", "Design"});
    job("https://e.com/month-ct", "Remotive", 25, {"Contractor"});
    job("https://e.com/old-ft", "Remote OK", 200, {"full time", "Senior"});
    job("https://e.com/ancient", "Remote OK", 400, {"Internship"});
    const Urls everything{"https://e.com/ancient", "https://e.com/month-ct", "https://e.com/new-ft",
                          "https://e.com/old-ft", "https://e.com/week-pt"};

    struct Case {
        const char* name;
        std::function<void(DatabaseService::JobQuery&)> change;
        Urls expected;
    };
    const Case cases[] = {
        {"no filter", {}, everything},
        {"source", [](auto& q) { q.source = "Remotive"; }, {"https://e.com/month-ct", "https://e.com/new-ft"}},
        {"unknown source", [](auto& q) { q.source = "remotive"; }, {}},
        {"a week", [](auto& q) { q.postedWithinDays = 7; }, {"https://e.com/new-ft", "https://e.com/week-pt"}},
        {"days clamped to a year", [](auto& q) { q.postedWithinDays = 1000000; },
         {"https://e.com/month-ct", "https://e.com/new-ft", "https://e.com/old-ft", "https://e.com/week-pt"}},
        {"negative days: any age", [](auto& q) { q.postedWithinDays = -3; }, everything},
        {"full-time in any spelling", [](auto& q) { q.jobType = "full-time"; },
         {"https://e.com/new-ft", "https://e.com/old-ft"}},
        {"part-time", [](auto& q) { q.jobType = "part-time"; }, {"https://e.com/week-pt"}},
        {"contract", [](auto& q) { q.jobType = "contract"; }, {"https://e.com/month-ct"}},
        {"internship", [](auto& q) { q.jobType = "internship"; }, {"https://e.com/ancient"}},
        {"unknown type", [](auto& q) { q.jobType = "gig"; }, {}},
        {"combined", [](auto& q) { q.source = "Remote OK"; q.jobType = "full-time"; q.postedWithinDays = 365; },
         {"https://e.com/old-ft"}},
    };
    for (const auto& c : cases) EXPECT_EQ(sorted(t.urls(t.db.getJobs(listQuery(c.change)))), c.expected) << c.name;
}

TEST(JobQueries, MatchSortUsesStoredScoresUntilTextOrBasisChanges) {
    JobDb t;
    const int64_t low = t.store(JobDb::job("https://e.com/low", "Cook"));
    const int64_t high = t.store(JobDb::job("https://e.com/high", "Rust Engineer"));
    const int64_t none = t.store(JobDb::job("https://e.com/none", "Nurse"));
    EXPECT_EQ(t.db.staleMatches(10).size(), 3u);
    t.db.storeMatches({{low, "cook kitchen", 20}, {high, "rust engineer", 90}, {none, "nurse", 0}});
    EXPECT_TRUE(t.db.staleMatches(10).empty());

    auto jobs = t.db.getJobs(listQuery([](auto& q) {
        q.sort = DatabaseService::JobSort::Match;
        q.skills = {"engineer", "rust", "kitchen", "go"};
    }));
    ASSERT_EQ(t.urls(jobs), (Urls{"https://e.com/high", "https://e.com/low", "https://e.com/none"}));
    EXPECT_EQ(jobs[0]["matchScore"], 90);
    EXPECT_EQ(jobs[0]["matchedSkills"], (nlohmann::json{"rust", "engineer"}));
    EXPECT_EQ(jobs[1]["matchedSkills"], (nlohmann::json{"kitchen"}));
    EXPECT_EQ(jobs[2]["matchedSkills"], nlohmann::json::array());
    // The default order is still newest first.
    EXPECT_EQ(t.urls(t.db.getJobs(listQuery())).front(), "https://e.com/none");

    // Seen again unchanged: the score stays; changed text: it must be computed again.
    t.store(JobDb::job("https://e.com/low", "Cook"));
    EXPECT_TRUE(t.db.staleMatches(10).empty());
    t.store(JobDb::job("https://e.com/low", "Head Cook"));
    auto stale = t.db.staleMatches(10);
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_EQ(stale[0].id, low);
    EXPECT_FALSE(stale[0].keywords.has_value());

    // A new basis (the user's skills changed) makes every score stale but keeps the keywords.
    EXPECT_TRUE(t.db.resetMatchesIfBasisChanged("v2"));
    EXPECT_FALSE(t.db.resetMatchesIfBasisChanged("v2"));
    stale = t.db.staleMatches(10);
    ASSERT_EQ(stale.size(), 3u);
    EXPECT_EQ(stale[1].keywords, "rust engineer");
}

TEST(JobQueries, SavedSearchCountsListingsStoredSinceItWasOpened) {
    JobDb t;
    t.store(JobDb::job("https://e.com/old", "Backend Engineer"));
    const int64_t id = t.db.saveSearch({{"name", " Backend "}, {"query", "engineer"}, {"postedWithinDays", 9999}});
    EXPECT_EQ(t.db.getSavedSearches()[0]["newCount"], 0);

    t.advanceDays(1);
    for (const char* url : {"https://e.com/n1", "https://e.com/n2", "https://e.com/n3"})
        t.store(JobDb::job(url, "Platform Engineer"));
    t.store(JobDb::job("https://e.com/n4", "Chef"));
    auto duplicate = JobDb::job("https://other.com/old", "Backend Engineer");
    duplicate.company = "Acme https://e.com/old"; // the old posting on another board
    t.store(duplicate);
    t.store(JobDb::job("https://e.com/old", "Backend Engineer")); // seen again

    auto searches = t.db.getSavedSearches();
    ASSERT_EQ(searches.size(), 1u);
    EXPECT_EQ(searches[0]["name"], "Backend");
    EXPECT_EQ(searches[0]["query"], "engineer");
    EXPECT_EQ(searches[0]["category"], "All");
    EXPECT_EQ(searches[0]["postedWithinDays"], 365);
    EXPECT_EQ(searches[0]["newCount"], 3);

    EXPECT_EQ(t.db.openSavedSearch(id)["id"], id);
    EXPECT_EQ(t.db.getSavedSearches()[0]["newCount"], 0);
    t.db.deleteSavedSearch(id);
    EXPECT_TRUE(t.db.getSavedSearches().empty());

    EXPECT_THROW(t.db.openSavedSearch(id), VelmoraError);
    EXPECT_THROW(t.db.deleteSavedSearch(id), VelmoraError);
    EXPECT_THROW(t.db.saveSearch({{"name", "  "}, {"query", "x"}}), VelmoraError);
    EXPECT_THROW(t.db.saveSearch({{"name", "big"}, {"query", std::string(10240, 'q')}}), VelmoraError);
    EXPECT_THROW(t.db.saveSearch({{"name", "t"}, {"jobType", "gig"}}), VelmoraError);
    EXPECT_TRUE(t.db.getSavedSearches().empty());
}

TEST(JobQueries, OlderDatabaseGainsTriageWithItsListingsIntact) {
    velmora::testing::TempDir dir;
    auto sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    // The shape the previous release wrote, with listings in it.
    sqlite->execute("CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, external_id TEXT NOT NULL, source TEXT "
                    "NOT NULL, title TEXT NOT NULL, company TEXT NOT NULL, category TEXT NOT NULL, location TEXT NOT "
                    "NULL, description TEXT NOT NULL, url TEXT NOT NULL UNIQUE, published_at TEXT NULL, added_at TEXT "
                    "NOT NULL, last_seen_at TEXT NOT NULL, expires_at TEXT NOT NULL, security_score INTEGER NOT NULL "
                    "DEFAULT 0, security_label TEXT NOT NULL DEFAULT 'Unchecked', tags TEXT NOT NULL DEFAULT '');");
    for (const char* url : {"https://a.com/1", "https://b.com/1"})
        sqlite->execute("INSERT INTO jobs(external_id,source,title,company,category,location,description,url,"
                        "added_at,last_seen_at,expires_at) VALUES('x','S','Go Developer','Acme','Software & IT',"
                        "'Worldwide','d',?,'2026-03-01T00:00:00.000Z','2026-03-01T00:00:00.000Z',"
                        "'2026-05-01T00:00:00.000Z');",
                        {SQLiteValue::text(url)});
    sqlite->execute("PRAGMA user_version=1;");

    auto clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-02T00:00:00Z"));
    DatabaseService db(sqlite, clock);
    db.initialize();
    EXPECT_GE(std::get<int64_t>(*sqlite->scalar("PRAGMA user_version;")), 3);
    auto jobs = db.getJobs(listQuery());
    ASSERT_EQ(jobs.size(), 1u); // one posting on two boards
    EXPECT_EQ(jobs[0]["alsoOn"].size(), 1u);
    EXPECT_EQ(db.staleMatches(10).size(), 2u);
    db.setJobMark(jobs[0]["id"], "saved");
    EXPECT_EQ(db.saveSearch({{"name", "Go"}}), 1);
    DatabaseService reopened(sqlite, clock);
    reopened.initialize();
    EXPECT_EQ(reopened.getJobs(listQuery())[0]["mark"], "saved");
    EXPECT_EQ(reopened.getSavedSearches().size(), 1u);
}
