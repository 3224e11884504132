#include "JobTestSupport.h"

#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using nlohmann::json;
using velmora::testing::expectFields;
using velmora::testing::JobDb;
using velmora::testing::sorted;
using velmora::testing::Urls;
using Change = std::function<void(DatabaseService::JobQuery&)>;

TEST(JobQueries, StoredJobMapsEveryColumn) {
    JobDb t;
    auto j = JobDb::job("https://remotive.com/1", "Data Engineer", "Worldwide", "Data & AI");
    j.publishedAt = *DateUtil::parse("2026-02-27T08:00:00.250Z");
    j.tags = {"Full-time", "", "USD 100k"};
    const int64_t id = t.db.upsertJob(j, JobDb::rating(85, "Quorvane Checked"));
    json expected = json::parse(R"({"externalId": "ext-https://remotive.com/1", "source": "Remotive",
        "title": "Data Engineer", "company": "Acme https://remotive.com/1", "category": "Data & AI",
        "location": "Worldwide", "description": "Build things.", "url": "https://remotive.com/1",
        "publishedAt": "2026-02-27T08:00:00.250Z", "addedAt": "2026-03-01T12:00:00.000Z",
        "expiresAt": "2026-05-30T12:00:00.000Z", "securityScore": 85, "securityLabel": "Quorvane Checked",
        "tags": "Full-time, USD 100k", "mark": "", "alsoOn": [], "applicationStatus": "", "matchScore": 0,
        "matchedSkills": []})");
    expected["id"] = id;
    EXPECT_EQ(t.db.getJobs("All", "", 50, 0), json::array({expected}));

    // Values of unexpected kinds written by anything else still map to the documented fallbacks.
    t.sqlite->execute("UPDATE jobs SET published_at=NULL, security_label='', company=x'00', tags=x'4142';");
    auto again = t.db.getJobs("All", "", 50, 0)[0];
    EXPECT_TRUE(again["publishedAt"].is_null());
    EXPECT_EQ(again["securityLabel"], "Unchecked");
    EXPECT_EQ(again["company"], "");
    EXPECT_EQ(again["tags"], "");
}

TEST(JobQueries, NewestPublicationFirstPagedWithClampedLimits) {
    JobDb t;
    auto old = JobDb::job("old");
    old.publishedAt = *DateUtil::parse("2026-01-01T00:00:00Z");
    auto recent = JobDb::job("recent");
    recent.publishedAt = *DateUtil::parse("2026-02-28T00:00:00Z");
    t.store(old);
    t.store(recent);
    t.store(JobDb::job("unpublished-a")); // sorts by added_at 2026-03-01
    t.advanceDays(1);
    t.store(JobDb::job("unpublished-b"));
    EXPECT_EQ(t.search(""), (Urls{"unpublished-b", "unpublished-a", "recent", "old"}));
    EXPECT_EQ(JobDb::urls(t.db.getJobs("All", "", 2, 1)), (Urls{"unpublished-a", "recent"}));

    std::vector<std::pair<IncomingJob, SecurityAssessment>> many;
    for (int i = 0; i < 498; ++i)
        many.emplace_back(JobDb::job("" + std::to_string(i)), JobDb::rating(65));
    t.db.upsertJobs(many);
    EXPECT_EQ(t.db.getJobs("All", "", 0, 0).size(), 1u);
    EXPECT_EQ(t.db.getJobs("All", "", -3, 0).size(), 1u);
    EXPECT_EQ(t.db.getJobs("All", "", 10000, 0).size(), 500u);
    EXPECT_EQ(t.db.getJobs("All", "", 7, -5), t.db.getJobs("All", "", 7, 0));
    EXPECT_EQ(t.db.getJobs("All", "", 10, 500).size(), 2u);
}

TEST(JobQueries, QueryIsOneLikePhraseOverFiveColumns) {
    JobDb t;
    auto a = JobDb::job("a", "Senior Rust Developer");
    auto b = JobDb::job("b", "Designer", "Berlin, Germany");
    b.company = "Rustic Studio";
    auto c = JobDb::job("c", "Writer");
    c.description = "We need 100% remote help with my_file and O'Brien's \"quotes\" \\ back\\slash; DROP TABLE jobs;--";
    auto d = JobDb::job("d", "Support Agent");
    d.tags = {"Part-time", "Zendesk"};
    auto e = JobDb::job("e", "Caf\u00e9 Manager \u00c9COLE");
    for (const auto& j : {a, b, c, d, e})
        t.store(j);

    const Urls all{"e", "d", "c", "b", "a"};
    const std::pair<std::string, Urls> rows[] = {
        {"  RUST \n", {"b", "a"}}, // equal times: the later stored first
        {"rust developer", {"a"}},
        {"developer rust", {}}, // a phrase, not a bag of words
        {"germany", {"b"}},
        {"zendesk", {"d"}},
        // Quotes, backslashes and SQL text are bound values, never part of the statement.
        {"O'Brien's \"quotes\"", {"c"}},
        {"back\\slash", {"c"}},
        {"DROP TABLE jobs;--", {"c"}},
        {"' OR 1=1 --", {}},
        // % and _ keep their LIKE meaning.
        {"100%", {"c"}},
        {"Rust%Developer", {"a"}},
        {"my_file", {"c"}},
        {"R_st", {"b", "a"}},
        {"%", all},
        // Case folding is ASCII-only.
        {"CAF\u00e9", {"e"}},
        {"caf\u00c9", {}},
        {"\u00e9cole", {}},
    };
    for (const auto& [query, expected] : rows)
        EXPECT_EQ(t.search(query), expected) << query;
    EXPECT_EQ(t.search(""), all);
}

TEST(JobQueries, FiltersByCategorySourceAgeAndJobType) {
    JobDb t;
    auto job = [&](const std::string& url, const std::string& source, int ageDays, std::vector<std::string> tags) {
        auto j = JobDb::job(url, "Engineer", "Worldwide", ageDays > 100 ? "Healthcare" : "Software & IT");
        j.source = source;
        j.tags = std::move(tags);
        j.publishedAt = t.clock->now() - std::chrono::hours(24 * ageDays);
        t.store(j);
    };
    job("new-ft", "Remotive", 1, {"Full-time"});
    job("week-pt", "Jobicy", 6, {"PART_TIME", "Design"});
    job("month-ct", "Remotive", 25, {"Contractor"});
    job("old-ft", "Remote OK", 200, {"full time", "Senior"});
    job("ancient", "Remote OK", 400, {"Internship"});
    const Urls everything{"ancient", "month-ct", "new-ft", "old-ft", "week-pt"};

    // clang-format off
    const std::tuple<const char*, Change, Urls> rows[] = {
        {"no filter", {}, everything},
        {"all", [](auto& q) { q.category = "aLl"; }, everything},
        {"empty category", [](auto& q) { q.category = ""; }, everything},
        {"category", [](auto& q) { q.category = "Software & IT"; }, {"month-ct", "new-ft", "week-pt"}},
        {"category in another case", [](auto& q) { q.category = "healthcare"; }, {}},
        {"part of a category", [](auto& q) { q.category = "Software"; }, {}},
        {"source", [](auto& q) { q.source = "Remotive"; }, {"month-ct", "new-ft"}},
        {"unknown source", [](auto& q) { q.source = "remotive"; }, {}},
        {"a week", [](auto& q) { q.postedWithinDays = 7; }, {"new-ft", "week-pt"}},
        {"days clamped to a year", [](auto& q) { q.postedWithinDays = 1000000; },
         {"month-ct", "new-ft", "old-ft", "week-pt"}},
        {"negative days: any age", [](auto& q) { q.postedWithinDays = -3; }, everything},
        {"full-time in any spelling", [](auto& q) { q.jobType = "full-time"; }, {"new-ft", "old-ft"}},
        {"part-time", [](auto& q) { q.jobType = "part-time"; }, {"week-pt"}},
        {"contract", [](auto& q) { q.jobType = "contract"; }, {"month-ct"}},
        {"internship", [](auto& q) { q.jobType = "internship"; }, {"ancient"}},
        {"unknown type", [](auto& q) { q.jobType = "gig"; }, {}},
        {"combined", [](auto& q) { q.source = "Remote OK"; q.jobType = "full-time"; q.postedWithinDays = 365; },
         {"old-ft"}},
    };
    // clang-format on
    for (const auto& [name, change, expected] : rows)
        EXPECT_EQ(sorted(t.list(change)), expected) << name;
}

// Every mode narrows the list, the categories and the dashboard alike; place names are bound
// values, so quotes, % and _ in a country name match only themselves.
TEST(JobQueries, LocationModesApplyToListsCategoriesAndCounts) {
    JobDb t;
    const Urls everything{"eu", "london", "ohare", "remote", "uk", "usa", "wild", "ww"};
    t.store(JobDb::job("remote", "t", "Remote", "Sales"));
    t.store(JobDb::job("usa", "t", "Remote - USA", "Sales"));
    t.store(JobDb::job("ww", "t", "Worldwide / Remote", "Legal"));
    t.store(JobDb::job("eu", "t", "Europe / Remote", "Legal"));
    t.store(JobDb::job("uk", "t", "UK", "Legal"));
    t.store(JobDb::job("london", "t", "London, u.k.", "Legal"));
    t.store(JobDb::job("ohare", "t", "O'Hare % Land_1", "Legal"));
    t.store(JobDb::job("wild", "t", "O'Hare Big Land91", "Legal")); // what wildcards would take

    struct Row {
        const char* mode;
        const char* code;
        const char* name;
        Urls expected;
    };
    const Row rows[] = {
        {"worldwide", "", "", everything},
        {" US ", "", "", {"usa", "ww"}},
        {"home", "", "", {"ww"}},
        {"home", "gb", "United Kingdom", {"eu", "london", "ww"}},
        {"home", "DE", "Germany", {"eu", "ww"}},
        {"home", "", "O'Hare % Land_1", {"ohare", "ww"}},
        {"mars", "DE", "Germany", everything}, // an unknown mode is worldwide
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.mode) + " " + row.code + " " + row.name);
        t.db.setSetting("locationMode", row.mode);
        t.db.setSetting("homeCountryCode", row.code);
        t.db.setSetting("homeCountryName", row.name);
        EXPECT_EQ(sorted(t.search("")), row.expected);
        int64_t categoryTotal = 0;
        for (const auto& c : t.db.getCategories())
            categoryTotal += c["count"].get<int64_t>();
        EXPECT_EQ(categoryTotal, static_cast<int64_t>(row.expected.size()));
        EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], row.expected.size());
    }
}

TEST(JobQueries, ListingsLiveNinetyDaysFromTheirLastSightingAndKeepTheirFirstStore) {
    JobDb t;
    auto first = JobDb::job("a", "Old Title");
    first.publishedAt = *DateUtil::parse("2026-02-01T00:00:00Z");
    const int64_t id = t.store(first, 40);
    t.store(JobDb::job("gone"), 80);
    t.advanceDays(3);

    // Seen again: the new text and rating, the first store time, the earlier publication.
    auto second = JobDb::job("a", "New Title", "USA");
    second.source = "Jobicy";
    EXPECT_EQ(t.db.upsertJob(second, JobDb::rating(85, "Quorvane Checked")), id);
    auto stored = t.db.getJobs("All", "New Title", 50, 0);
    ASSERT_EQ(stored.size(), 1u);
    expectFields(stored[0], json::parse(R"({"title": "New Title", "source": "Jobicy", "location": "USA",
        "securityScore": 85, "securityLabel": "Quorvane Checked", "addedAt": "2026-03-01T12:00:00.000Z",
        "expiresAt": "2026-06-02T12:00:00.000Z", "publishedAt": "2026-02-01T00:00:00.000Z"})"));
    second.publishedAt = *DateUtil::parse("2026-02-20T00:00:00Z");
    t.store(second, 80);
    EXPECT_EQ(t.search("New Title"), Urls{"a"});
    EXPECT_EQ(t.db.getJobs("All", "New Title", 50, 0)[0]["publishedAt"], "2026-02-20T00:00:00.000Z");

    // 88 days later the unseen listing is past its 90 days: hidden everywhere before deletion.
    t.advanceDays(88);
    EXPECT_EQ(t.search(""), Urls{"a"});
    EXPECT_EQ(t.db.getCategories(), (json{{{"name", "Software & IT"}, {"count", 1}}}));
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);
    EXPECT_EQ(t.db.dashboardCounts()["checkedJobs"], 1);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
    EXPECT_EQ(t.count("SELECT COUNT(*) FROM jobs;"), 1);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
}

TEST(JobQueries, CountsKeepTheirThresholdsAndCategoriesSortLargestFirst) {
    JobDb t;
    t.store(JobDb::job("old", "t", "Worldwide", "Sales"), 70);
    t.advanceDays(8);
    t.store(JobDb::job("new", "t", "Worldwide", "Marketing"), 69);
    EXPECT_EQ(t.db.dashboardCounts(),
              (json{{"totalJobs", 2}, {"checkedJobs", 1}, {"added7d", 1}, {"applications", 0}}));
    t.db.recordOpenedApplication(std::nullopt, "Job", "Co", "https://e.com/x");
    t.store(JobDb::job("us", "t", "Remote - USA", "Legal"), 90);
    t.store(JobDb::job("us2", "t", "USA", "Legal"), 95);
    t.store(JobDb::job("de", "t", "Germany", "Legal"), 95);
    EXPECT_EQ(t.db.getCategories(), (json{{{"name", "Legal"}, {"count", 3}},
                                          {{"name", "Marketing"}, {"count", 1}},
                                          {{"name", "Sales"}, {"count", 1}}}));
    // Each count keeps its own threshold inside a location mode, too.
    t.db.setSetting("locationMode", "us");
    EXPECT_EQ(t.db.dashboardCounts(),
              (json{{"totalJobs", 4}, {"checkedJobs", 3}, {"added7d", 3}, {"applications", 1}}));
}

TEST(JobQueries, ReadsFallBackAndWritesReportFailure) {
    JobDb t;
    t.db.saveResume("cv.pdf", "/home/me/cv.pdf", "{\"score\":80}");
    // The resume's text is never kept.
    EXPECT_EQ(
        t.count("SELECT COUNT(*) FROM resumes WHERE name='cv.pdf' AND original_path='/home/me/cv.pdf' AND "
                "extracted_text='' AND analysis_json='{\"score\":80}' AND created_at='2026-03-01T12:00:00.000Z';"),
        1);
    t.store(JobDb::job("a"));
    for (const char* table : {"applications", "jobs", "resumes"})
        t.sqlite->execute(std::string("DROP TABLE ") + table + ";");
    EXPECT_EQ(t.db.getJobs("All", "x", 10, 0), json::array());
    EXPECT_EQ(t.db.getCategories(), json::array());
    EXPECT_EQ(t.db.getApplications(), json::array());
    EXPECT_EQ(t.db.dashboardCounts(),
              (json{{"totalJobs", 0}, {"checkedJobs", 0}, {"added7d", 0}, {"applications", 0}}));
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
    EXPECT_NO_THROW(t.db.saveResume("cv.pdf", "/x", "{}"));
    EXPECT_THROW(t.store(JobDb::job("b")), std::exception);
    EXPECT_THROW(t.db.updateApplication(1, "Applied", ""), std::exception);
}

TEST(JobQueries, MarksFollowTheLinkThroughResyncAndExpiry) {
    JobDb t;
    const int64_t a = t.store(JobDb::job("a"), 90);
    const int64_t b = t.store(JobDb::job("b"));
    t.db.setJobMark(a, "hidden");
    t.db.setJobMark(b, "saved");

    auto visible = t.db.getJobs(JobDb::query());
    ASSERT_EQ(JobDb::urls(visible), Urls{"b"});
    EXPECT_EQ(visible[0]["mark"], "saved");
    auto all = t.db.getJobs(JobDb::query([](auto& q) { q.includeHidden = true; }));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]["mark"], "hidden");
    // Hidden listings leave every counter too.
    EXPECT_EQ(t.db.getCategories()[0]["count"], 1);
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);
    EXPECT_EQ(t.db.dashboardCounts()["checkedJobs"], 0);

    t.store(JobDb::job("a")); // seen again by a sync
    EXPECT_EQ(t.list(), Urls{"b"});
    t.advanceDays(91);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 2);
    const int64_t again = t.store(JobDb::job("a")); // back as a new row
    EXPECT_NE(again, a);
    EXPECT_TRUE(t.list().empty());
    t.db.setJobMark(again, "");
    EXPECT_EQ(t.db.getJobs(JobDb::query())[0]["mark"], "");

    EXPECT_THROW(t.db.setJobMark(a, "saved"), VelmoraError); // that row is gone
    for (const char* bad : {"starred", "Hidden"})
        EXPECT_THROW(t.db.setJobMark(again, bad), VelmoraError) << bad;
}

TEST(JobQueries, OnePostingOnSeveralBoardsIsOneRow) {
    JobDb t;
    auto first = JobDb::job("https://remotive.com/1", "Senior Engineer (Remote)", "Germany");
    first.company = "Acme, Inc.";
    auto second = JobDb::job("https://jobicy.com/9", "senior engineer remote", "USA");
    second.company = "ACME";
    second.source = "Jobicy";
    auto other = JobDb::job("other", "Senior Engineer (Remote)", "Germany");
    other.company = ""; // no company: never merged
    const int64_t a = t.store(first);
    const int64_t b = t.store(second);
    t.store(other);
    t.db.recordOpenedApplication(b, "Senior Engineer", "ACME", "https://jobicy.com/9");
    t.db.updateApplication(1, "Applied", "");

    auto jobs = t.db.getJobs(JobDb::query());
    ASSERT_EQ(JobDb::urls(jobs), (Urls{"other", "https://remotive.com/1"}));
    EXPECT_EQ(jobs[1]["alsoOn"], (json{{{"id", b}, {"source", "Jobicy"}, {"url", "https://jobicy.com/9"}}}));
    EXPECT_EQ(jobs[0]["alsoOn"], json::array());
    EXPECT_EQ(t.db.getCategories()[0]["count"], 2);
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 2);

    // A filter that leaves out the first link shows the posting through the next one.
    t.db.setSetting("locationMode", "us");
    jobs = t.db.getJobs(JobDb::query());
    ASSERT_EQ(JobDb::urls(jobs), Urls{"https://jobicy.com/9"});
    EXPECT_EQ(jobs[0]["alsoOn"][0]["id"], a);
    EXPECT_EQ(jobs[0]["applicationStatus"], "Applied");
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);

    // Hiding the posting hides every link of it.
    t.db.setJobMark(a, "hidden");
    EXPECT_TRUE(t.list().empty());
    t.db.setSetting("locationMode", "worldwide");
    EXPECT_EQ(t.list(), Urls{"other"});
}

TEST(JobQueries, MatchSortUsesStoredScoresUntilTextOrBasisChanges) {
    JobDb t;
    const int64_t low = t.store(JobDb::job("low", "Cook"));
    const int64_t high = t.store(JobDb::job("high", "Rust Engineer"));
    const int64_t none = t.store(JobDb::job("none", "Nurse"));
    EXPECT_EQ(t.db.staleMatches(10).size(), 3u);
    t.db.storeMatches({{low, "cook kitchen", 20}, {high, "rust engineer", 90}, {none, "nurse", 0}});
    EXPECT_TRUE(t.db.staleMatches(10).empty());

    auto jobs = t.db.getJobs(JobDb::query([](auto& q) {
        q.sort = DatabaseService::JobSort::Match;
        q.skills = {"engineer", "rust", "kitchen", "go"};
    }));
    ASSERT_EQ(JobDb::urls(jobs), (Urls{"high", "low", "none"}));
    EXPECT_EQ(jobs[0]["matchScore"], 90);
    EXPECT_EQ(jobs[0]["matchedSkills"], (json{"rust", "engineer"}));
    EXPECT_EQ(jobs[1]["matchedSkills"], (json{"kitchen"}));
    EXPECT_EQ(t.list().front(), "none"); // the default order is still newest first

    // Seen again unchanged: the score stays; changed text: it must be computed again.
    t.store(JobDb::job("low", "Cook"));
    EXPECT_TRUE(t.db.staleMatches(10).empty());
    t.store(JobDb::job("low", "Head Cook"));
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
    t.store(JobDb::job("old", "Backend Engineer"));
    const int64_t id = t.db.saveSearch({{"name", " Backend "}, {"query", "engineer"}, {"postedWithinDays", 9999}});
    EXPECT_EQ(t.db.getSavedSearches()[0]["newCount"], 0);

    t.advanceDays(1);
    for (const char* url : {"n1", "n2", "n3"})
        t.store(JobDb::job(url, "Platform Engineer"));
    t.db.setJobMark(t.store(JobDb::job("hidden", "Platform Engineer")), "hidden");
    t.store(JobDb::job("n4", "Chef"));
    auto duplicate = JobDb::job("https://other.com/old", "Backend Engineer");
    duplicate.company = "Acme https://e.com/old"; // the old posting on another board
    t.store(duplicate);
    t.store(JobDb::job("old", "Backend Engineer")); // seen again

    auto searches = t.db.getSavedSearches();
    ASSERT_EQ(searches.size(), 1u);
    expectFields(searches[0], json::parse(R"({"name": "Backend", "query": "engineer", "category": "All",
        "postedWithinDays": 365, "newCount": 3})"));

    EXPECT_EQ(t.db.openSavedSearch(id)["id"], id);
    EXPECT_EQ(t.db.getSavedSearches()[0]["newCount"], 0);
    t.db.deleteSavedSearch(id);
    EXPECT_TRUE(t.db.getSavedSearches().empty());

    EXPECT_THROW(t.db.openSavedSearch(id), VelmoraError);
    EXPECT_THROW(t.db.saveSearch({{"name", "t"}, {"jobType", "gig"}}), VelmoraError);
    EXPECT_TRUE(t.db.getSavedSearches().empty());
}
