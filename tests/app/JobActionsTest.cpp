#include "BridgeTestBed.h"
#include "core/IncomingJob.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

class JobActionsTest : public velmora::testing::BridgeTestBed {
protected:
    void storeJobs(int n) {
        for (int i = 0; i < n; ++i) {
            IncomingJob j;
            j.title = "Engineer " + std::to_string(i);
            j.company = "Acme";
            j.category = i % 2 ? "Sales" : "Software & IT";
            j.location = "Worldwide";
            j.url = "https://remotive.com/" + std::to_string(i);
            ctx->db->upsertJob(j, ctx->security->assess(j.url, "Remotive"));
        }
    }
};

} // namespace

TEST_F(JobActionsTest, GetJobsReadsItsPayloadLeniently) {
    storeJobs(260);
    EXPECT_EQ(call("getJobs").size(), 200u); // defaults: All, no query, 200, 0
    EXPECT_EQ(call("getJobs", {{"limit", "50"}}).size(), 50u);
    EXPECT_EQ(call("getJobs", {{"limit", "5x"}}).size(), 200u);
    EXPECT_EQ(call("getJobs", {{"limit", " 50"}}).size(), 200u);
    EXPECT_EQ(call("getJobs", {{"limit", 12.9}}).size(), 12u);
    EXPECT_EQ(call("getJobs", {{"limit", 100000}}).size(), 260u);
    EXPECT_EQ(call("getJobs", {{"offset", 250}}).size(), 10u);
    EXPECT_EQ(call("getJobs", {{"category", "Sales"}, {"limit", 500}}).size(), 130u);
    EXPECT_EQ(call("getJobs", {{"query", "engineer 25"}, {"limit", 500}}).size(), 11u); // 25, 250..259

    auto job = call("getJobs", {{"query", "Engineer 7"}, {"limit", 1}})[0];
    EXPECT_EQ(job["securityScore"], 85);
    EXPECT_EQ(job["securityLabel"], "Quorvane Checked");
    EXPECT_TRUE(job["publishedAt"].is_null());
}

TEST_F(JobActionsTest, CategoriesAndDashboard) {
    storeJobs(3);
    EXPECT_EQ(call("getCategories"), (json{{{"name", "Software & IT"}, {"count", 2}}, {{"name", "Sales"}, {"count", 1}}}));
    ctx->db->setSetting("lastJobSync", "2026-03-01T11:00:00.000Z");
    EXPECT_EQ(call("getDashboard"), (json{{"totalJobs", 3},
                                          {"checkedJobs", 3},
                                          {"added7d", 3},
                                          {"applications", 0},
                                          {"lastSync", "2026-03-01T11:00:00.000Z"},
                                          {"savedSearches", json::array()},
                                          {"applied", 0},
                                          {"interviewing", 0},
                                          {"followUpsDue", 0},
                                          {"followUps", json::array()}}));
}

TEST_F(JobActionsTest, AssessUrl) {
    auto a = call("assessUrl", {{"url", "https://bit.ly/x"}, {"source", "Jobicy"}});
    EXPECT_EQ(a, (json{{"score", 30},
                       {"label", "High Risk"},
                       {"isHttps", true},
                       {"host", "bit.ly"},
                       {"summary", "The link has warning signs and should be treated cautiously."},
                       {"checks",
                        {"HTTPS encryption detected.", "Destination is an external employer or ATS domain.",
                         "URL shortener detected; destination is obscured.", "Listing source: Jobicy."}}}));
    EXPECT_EQ(call("assessUrl")["label"], "Blocked");
}

TEST_F(JobActionsTest, DatabaseFailuresReachThePage) {
    ctx->sqlite->execute("DROP TABLE applications;");
    delivered.clear();
    bridge.receive({{"action", "updateApplication"}, {"id", "9"}, {"payload", {{"id", 1}}}});
    ASSERT_TRUE(loop.runUntil([&] { return bridge.inFlight() == 0; }, std::chrono::seconds(10)));
    loop.drain();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0]["ok"], false);
    EXPECT_EQ(delivered[0]["error"], "SQLite prepare failed: no such table: applications");
}

TEST_F(JobActionsTest, MatchSortFollowsTheProfileSkills) {
    auto store = [&](const std::string& url, const std::string& title, const std::string& description) {
        IncomingJob j;
        j.title = title;
        j.company = "Co " + url;
        j.category = "Software & IT";
        j.location = "Worldwide";
        j.description = description;
        j.url = url;
        ctx->db->upsertJob(j, ctx->security->assess(j.url, "Remotive"));
    };
    store("https://e.com/rust", "Rust Engineer", "Rust services on Kubernetes with PostgreSQL.");
    store("https://e.com/half", "Backend Engineer", "Java services with PostgreSQL and Kafka.");
    store("https://e.com/chef", "Pastry Chef", "Bake bread and cakes.");
    auto urls = [](const json& jobs) {
        std::vector<std::string> out;
        for (const auto& j : jobs) out.push_back(j["url"]);
        return out;
    };

    // No skills yet: every score is 0 and the order is the newest one.
    auto jobs = call("getJobs", {{"sort", "match"}});
    EXPECT_EQ(urls(jobs), (std::vector<std::string>{"https://e.com/chef", "https://e.com/half", "https://e.com/rust"}));
    EXPECT_EQ(jobs[0]["matchScore"], 0);

    ctx->profiles->save({{"fullName", "Ana"}, {"skills", "Rust, Kubernetes, PostgreSQL, Go"}});
    jobs = call("getJobs", {{"sort", "match"}});
    ASSERT_EQ(urls(jobs), (std::vector<std::string>{"https://e.com/rust", "https://e.com/half", "https://e.com/chef"}));
    EXPECT_GT(jobs[0]["matchScore"].get<int>(), jobs[1]["matchScore"].get<int>());
    EXPECT_GT(jobs[1]["matchScore"].get<int>(), 0);
    EXPECT_EQ(jobs[2]["matchScore"], 0);
    EXPECT_EQ(jobs[0]["matchedSkills"], (json{"rust", "kubernetes", "postgresql"}));
    EXPECT_EQ(jobs[1]["matchedSkills"], (json{"postgresql"}));

    // The resume's keywords count too, and a change of skills rescores what was stored.
    ctx->profiles->save({{"fullName", "Ana"}, {"skills", ""}});
    ctx->db->saveResume("cv.pdf", "/x/cv.pdf", json{{"keywords", {"bread", "cakes"}}}.dump());
    jobs = call("getJobs", {{"sort", "match"}});
    EXPECT_EQ(urls(jobs).front(), "https://e.com/chef");
    EXPECT_EQ(jobs[0]["matchedSkills"], (json{"bread", "cakes"}));
}

TEST_F(JobActionsTest, TriageActionsAndTheirBadInput) {
    storeJobs(3);
    const int64_t id = call("getJobs", {{"limit", 1}})[0]["id"];
    EXPECT_EQ(call("setJobMark", {{"id", id}, {"mark", "hidden"}})["mark"], "hidden");
    EXPECT_EQ(call("getJobs").size(), 2u);
    EXPECT_EQ(call("getJobs", {{"includeHidden", true}}).size(), 3u);
    EXPECT_EQ(call("getJobs", {{"postedWithinDays", 99999}, {"source", "All"}, {"jobType", "All"}}).size(), 2u);

    // The list's last filters are kept by the core, clamped like the list's own.
    EXPECT_EQ(call("setJobFilters", {{"sort", "match"}, {"jobType", "contract"}, {"postedWithinDays", 5000}}),
              (json{{"category", "All"}, {"source", ""}, {"jobType", "contract"}, {"postedWithinDays", 365},
                    {"sort", "match"}, {"includeHidden", false}}));
    EXPECT_EQ(call("getJobFilters")["last"]["postedWithinDays"], 365);

    const int64_t search = call("saveSearch", {{"name", "Sales"}, {"category", "Sales"}})["id"];
    clock->advance(std::chrono::hours(1));
    storeJobs(6); // three new listings (3, 4, 5), two of them in Sales
    EXPECT_EQ(call("getDashboard")["savedSearches"], (json{{{"id", search}, {"name", "Sales"}, {"newCount", 2}}}));
    EXPECT_EQ(call("openSavedSearch", {{"id", search}})["category"], "Sales");
    EXPECT_EQ(call("getSavedSearches")[0]["newCount"], 0);
    EXPECT_EQ(call("deleteSavedSearch", {{"id", search}}), (json{{"ok", true}}));

    const struct {
        const char* action;
        json payload;
        const char* error;
    } bad[] = {
        {"getJobs", {{"sort", "best"}}, "Unknown sort \"best\". Use \"newest\" or \"match\"."},
        {"getJobs", {{"jobType", "gig"}}, "Unknown job type \"gig\"."},
        {"setJobFilters", {{"sort", "oldest"}}, "Unknown sort \"oldest\". Use \"newest\" or \"match\"."},
        {"setJobMark", {{"id", 999}, {"mark", "saved"}}, "This job is no longer stored. Refresh the list and try again."},
        {"setJobMark", {{"id", id}, {"mark", "starred"}}, "Unknown mark \"starred\". Use \"saved\", \"hidden\" or \"\"."},
        {"openSavedSearch", {{"id", search}}, "This saved search no longer exists."},
        {"deleteSavedSearch", {{"id", "x"}}, "This saved search no longer exists."},
        {"saveSearch", {{"name", ""}}, "Enter a name for the search."},
        {"saveSearch",
         {{"name", "long"}, {"query", std::string(10240, 'x')}},
         "The search text is too long to save; use at most 500 characters."},
    };
    for (const auto& b : bad) EXPECT_EQ(error(b.action, b.payload), b.error) << b.action << " " << b.payload.dump();
}
