#include "JobTestSupport.h"

#include "core/VelmoraError.h"

using namespace velmora;
using nlohmann::json;
using velmora::testing::expectFields;
using velmora::testing::JobDb;
using velmora::testing::Urls;
using Change = std::function<void(DatabaseService::JobQuery&)>;

// One small board for every filter and location mode. Every mode narrows the list, the categories
// and the dashboard alike; place names are bound values, so quotes, % and _ in a country name
// match only themselves.
TEST(JobQueries, FiltersAndLocationModesNarrowListsCategoriesAndCounts) {
    JobDb t;
    const auto today = t.clock->now() + std::chrono::hours(24 * 8);
    // url, source, days since publication, tags, location, category, security score
    const std::tuple<const char*, const char*, int, std::vector<std::string>, const char*, const char*, int> board[] = {
        {"ancient", "Remote OK", 400, {"Internship"}, "UK", "Healthcare", 95},
        {"old-ft", "Remote OK", 200, {"full time", "Senior"}, "London, u.k.", "Healthcare", 70},
        {"month-ct", "Remotive", 25, {"Contractor"}, "Europe / Remote", "Software & IT", 69},
        {"week-pt", "Jobicy", 6, {"PART_TIME", "Design"}, "Remote - USA", "Software & IT", 90},
        {"new-ft", "Remotive", 1, {"Full-time"}, "Worldwide / Remote", "Software & IT", 10},
        {"remote", "Jobicy", 2, {}, "Remote", "Software & IT", 10},
        {"ohare", "Jobicy", 2, {}, "O'Hare % Land_1", "Legal", 10},
        {"wild", "Jobicy", 2, {}, "O'Hare Big Land91", "Legal", 10}, // what wildcards would take
    };
    for (const auto& [url, source, age, tags, location, category, score] : board) {
        if (url == std::string("month-ct")) t.advanceDays(8); // the first two were stored more than a week ago
        auto j = JobDb::job(url, "Engineer", location, category);
        j.source = source;
        j.tags = tags;
        j.publishedAt = today - std::chrono::hours(24 * age);
        t.store(j, score);
    }
    const Urls all{"ancient", "month-ct", "new-ft", "ohare", "old-ft", "remote", "week-pt", "wild"};
    const char* ww = "worldwide";

    // clang-format off
    // location mode, home country code and name, other filters, listed
    const std::tuple<const char*, const char*, const char*, Change, Urls> rows[] = {
        {ww, "", "", {}, all},
        {ww, "", "", [](auto& q) { q.category = "aLl"; }, all},
        {ww, "", "", [](auto& q) { q.category = "Software & IT"; }, {"month-ct", "new-ft", "remote", "week-pt"}},
        {ww, "", "", [](auto& q) { q.category = "healthcare"; }, {}}, // exact case
        {ww, "", "", [](auto& q) { q.source = "Remotive"; }, {"month-ct", "new-ft"}},
        {ww, "", "", [](auto& q) { q.postedWithinDays = 7; }, {"new-ft", "ohare", "remote", "week-pt", "wild"}},
        {ww, "", "", [](auto& q) { q.postedWithinDays = 1000000; }, // clamped to a year
         {"month-ct", "new-ft", "ohare", "old-ft", "remote", "week-pt", "wild"}},
        {ww, "", "", [](auto& q) { q.postedWithinDays = -3; }, all},
        {ww, "", "", [](auto& q) { q.jobType = "full-time"; }, {"new-ft", "old-ft"}}, // in any spelling
        {ww, "", "", [](auto& q) { q.jobType = "part-time"; }, {"week-pt"}}, // PART_TIME
        {"home", "", "", {}, {"new-ft"}},
        {"home", "gb", "United Kingdom", {}, {"month-ct", "new-ft", "old-ft"}},
        {"home", "", "O'Hare % Land_1", {}, {"new-ft", "ohare"}},
        {"home", "DE", "Germany", [](auto& q) { q.category = "Software & IT"; }, {"month-ct", "new-ft"}},
    };
    // clang-format on
    for (const auto& [mode, code, name, change, expected] : rows) {
        t.db.setSetting("locationMode", mode);
        t.db.setSetting("homeCountryCode", code);
        t.db.setSetting("homeCountryName", name);
        Urls listed = t.list(change);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, expected) << mode << " " << code << " " << name;
    }

    // Categories largest first, then by name; each count keeps its own threshold in every mode.
    t.db.setSetting("locationMode", "worldwide");
    EXPECT_EQ(json({t.db.getCategories(), t.db.dashboardCounts()}), json::parse(R"([[{"name": "Software & IT",
        "count": 4}, {"name": "Healthcare", "count": 2}, {"name": "Legal", "count": 2}], {"totalJobs": 8,
        "checkedJobs": 3, "added7d": 6, "applications": 0}])"));
    t.db.recordOpenedApplication(std::nullopt, "Job", "Co", "https://e.com/x");
    t.db.setSetting("locationMode", "us");
    EXPECT_EQ(json({t.db.getCategories(), t.db.dashboardCounts()}), json::parse(R"([[{"name": "Software & IT",
        "count": 2}], {"totalJobs": 2, "checkedJobs": 1, "added7d": 2, "applications": 1}])"));

    // Newest publication first (the later stored first on a tie), paged, with limits clamped to
    // 1..500 and offsets to 0 and up.
    t.db.setSetting("locationMode", "worldwide");
    const Urls newest{"new-ft", "wild", "ohare", "remote", "week-pt", "month-ct", "old-ft", "ancient"};
    EXPECT_EQ(t.list(), newest);
    EXPECT_EQ(JobDb::urls(t.db.getJobs("All", "", 2, 1)), (Urls{"wild", "ohare"}));
    std::vector<std::pair<IncomingJob, SecurityAssessment>> many;
    for (int i = 0; i < 494; ++i)
        many.emplace_back(JobDb::job(std::to_string(i)), JobDb::rating(65));
    t.db.upsertJobs(many); // stored now, so newer than the board: 502 listings
    for (auto [limit, offset, rows] : {std::tuple{0, 0, 1}, {10000, 0, 500}, {10, 497, 5}})
        EXPECT_EQ(t.db.getJobs("All", "", limit, offset).size(), size_t(rows)) << limit << " " << offset;
    EXPECT_EQ(t.db.getJobs("All", "", 7, -5), t.db.getJobs("All", "", 7, 0));
}

TEST(JobQueries, AListingMapsEveryColumnAndLivesNinetyDaysFromItsLastSighting) {
    JobDb t;
    auto j = JobDb::job("https://remotive.com/1", "Data Engineer", "Worldwide", "Data & AI");
    j.publishedAt = *DateUtil::parse("2026-02-27T08:00:00.250Z");
    j.tags = {"Full-time", "", "USD 100k"};
    const int64_t id = t.db.upsertJob(j, JobDb::rating(40, "Review"));
    t.store(JobDb::job("gone"), 80);
    json expected = json::parse(R"({"externalId": "ext-https://remotive.com/1", "source": "Remotive",
        "title": "Data Engineer", "company": "Acme https://remotive.com/1", "category": "Data & AI",
        "location": "Worldwide", "description": "Build things.", "url": "https://remotive.com/1",
        "publishedAt": "2026-02-27T08:00:00.250Z", "addedAt": "2026-03-01T12:00:00.000Z",
        "expiresAt": "2026-05-30T12:00:00.000Z", "securityScore": 40, "securityLabel": "Review",
        "tags": "Full-time, USD 100k", "mark": "", "alsoOn": [], "applicationStatus": "", "matchScore": 0,
        "matchedSkills": []})");
    expected["id"] = id;
    EXPECT_EQ(t.db.getJobs("All", "Data Engineer", 50, 0), json::array({expected}));

    // Seen again: the new text and rating, the first store time, the earlier publication.
    t.advanceDays(3);
    auto second = JobDb::job("https://remotive.com/1", "New Title", "USA");
    second.source = "Jobicy";
    EXPECT_EQ(t.db.upsertJob(second, JobDb::rating(85, "Quorvane Checked")), id);
    expectFields(t.db.getJobs("All", "New Title", 50, 0)[0], json::parse(R"({"title": "New Title", "source": "Jobicy",
        "location": "USA", "securityScore": 85, "securityLabel": "Quorvane Checked", "addedAt":
        "2026-03-01T12:00:00.000Z", "expiresAt": "2026-06-02T12:00:00.000Z", "publishedAt": "2026-02-27T08:00:00.250Z"})"));
    second.publishedAt = *DateUtil::parse("2026-02-28T00:00:00Z");
    t.store(second, 80);
    EXPECT_EQ(t.db.getJobs("All", "New Title", 50, 0)[0]["publishedAt"], "2026-02-28T00:00:00.000Z");

    // 88 days later the unseen listing is past its 90 days: hidden everywhere before deletion.
    t.advanceDays(88);
    EXPECT_EQ(t.list(), Urls{"https://remotive.com/1"});
    EXPECT_EQ(t.db.getCategories(), (json{{{"name", "Software & IT"}, {"count", 1}}}));
    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);

    // Values of unexpected kinds written by anything else still map to the documented fallbacks.
    t.sqlite->execute("UPDATE jobs SET published_at=NULL, security_label='', company=x'00', tags=x'4142';");
    expectFields(t.db.getJobs("All", "", 50, 0)[0],
                 {{"publishedAt", nullptr}, {"securityLabel", "Unchecked"}, {"company", ""}, {"tags", ""}});
}

TEST(JobQueries, OnePostingOnSeveralBoardsIsOneRowAndMarksFollowTheLink) {
    JobDb t;
    auto first = JobDb::job("https://remotive.com/1", "Senior Engineer (Remote)", "Germany");
    first.company = "Acme, Inc.";
    auto second = JobDb::job("https://jobicy.com/9", "senior engineer remote", "USA");
    second.company = "ACME";
    second.source = "Jobicy";
    auto other = JobDb::job("other", "Senior Engineer (Remote)", "Germany");
    other.company = ""; // no company: never merged
    const int64_t a = t.store(first, 90);
    const int64_t b = t.store(second, 90);
    t.store(other);
    t.db.recordOpenedApplication(b, "Senior Engineer", "ACME", "https://jobicy.com/9");
    t.db.updateApplication(1, "Applied", "");

    auto jobs = t.db.getJobs(JobDb::query());
    ASSERT_EQ(JobDb::urls(jobs), (Urls{"other", "https://remotive.com/1"}));
    expectFields(jobs[1],
                 {{"alsoOn", {{{"id", b}, {"source", "Jobicy"}, {"url", "https://jobicy.com/9"}}}}, {"mark", ""}});
    expectFields(t.db.dashboardCounts(), {{"totalJobs", 2}, {"checkedJobs", 1}});

    // A filter that leaves out the first link shows the posting through the next one.
    t.db.setSetting("locationMode", "us");
    jobs = t.db.getJobs(JobDb::query());
    ASSERT_EQ(JobDb::urls(jobs), Urls{"https://jobicy.com/9"});
    expectFields(jobs[0], {{"alsoOn", {{{"id", a}, {"source", "Remotive"}, {"url", "https://remotive.com/1"}}}},
                           {"applicationStatus", "Applied"}});
    EXPECT_EQ(t.db.dashboardCounts()["totalJobs"], 1);
    t.db.setSetting("locationMode", "worldwide");

    // Hiding one link hides the posting in the list and every counter, even after it expired
    // and came back as a new row.
    t.db.setJobMark(b, "hidden");
    EXPECT_EQ(t.list(), Urls{"other"});
    expectFields(t.db.dashboardCounts(), {{"totalJobs", 1}, {"checkedJobs", 0}});
    t.advanceDays(91);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 3);
    const int64_t again = t.store(first);
    EXPECT_TRUE(t.list().empty());
    t.db.setJobMark(again, "");
    EXPECT_EQ(t.list(), Urls{"https://remotive.com/1"});
    EXPECT_THROW(t.db.setJobMark(again, "Hidden"), VelmoraError); // marks are exact
}

TEST(JobQueries, MatchScoresStayUntilTheTextOrTheBasisChanges) {
    JobDb t;
    using Stale = std::vector<std::pair<int64_t, std::string>>; // id, kept keywords ("-": none)
    const auto stale = [&] {
        Stale out;
        for (const auto& m : t.db.staleMatches(10))
            out.emplace_back(m.id, m.keywords.value_or("-"));
        return out;
    };
    const int64_t low = t.store(JobDb::job("low", "Cook"));
    const int64_t high = t.store(JobDb::job("high", "Rust Engineer"));
    const int64_t none = t.store(JobDb::job("none", "Nurse"));
    EXPECT_EQ(stale(), (Stale{{low, "-"}, {high, "-"}, {none, "-"}}));
    t.db.storeMatches({{low, "cook kitchen", 20}, {high, "rust engineer", 90}, {none, "nurse", 0}});
    // Seen again unchanged: the score stays; changed text: it must be computed again.
    t.store(JobDb::job("low", "Cook"));
    EXPECT_EQ(stale(), Stale{});
    t.store(JobDb::job("low", "Head Cook"));
    EXPECT_EQ(stale(), (Stale{{low, "-"}}));
    // A new basis (the user's skills changed) makes every score stale but keeps the keywords.
    EXPECT_TRUE(t.db.resetMatchesIfBasisChanged("v2"));
    EXPECT_FALSE(t.db.resetMatchesIfBasisChanged("v2"));
    EXPECT_EQ(stale(), (Stale{{low, "-"}, {high, "rust engineer"}, {none, "nurse"}}));
}

TEST(JobQueries, SavedSearchCountsVisibleListingsStoredSinceItWasOpened) {
    JobDb t;
    t.store(JobDb::job("old", "Backend Engineer")); // stored the moment the search is: not new
    const int64_t id = t.db.saveSearch({{"name", " Backend "}, {"query", "engineer"}, {"postedWithinDays", 9999}});
    t.advanceDays(1);
    for (const char* url : {"n1", "n2", "n3"})
        t.store(JobDb::job(url, "Platform Engineer"));
    t.db.setJobMark(t.store(JobDb::job("hidden", "Platform Engineer")), "hidden");
    t.store(JobDb::job("n4", "Chef"));

    expectFields(t.db.getSavedSearches().at(0), json::parse(R"({"name": "Backend", "query": "engineer", "category": "All",
        "postedWithinDays": 365, "newCount": 3})"));

    t.db.deleteSavedSearch(id);
    EXPECT_THROW(t.db.saveSearch({{"name", "t"}, {"jobType", "gig"}}), VelmoraError);
    EXPECT_TRUE(t.db.getSavedSearches().empty());
}
