#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"
#include "core/DateUtil.h"
#include "core/IncomingJob.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

class JobActionsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-01T12:00:00Z"));
    std::shared_ptr<AppContext> ctx = AppContext::create(AppPaths(dir / "data"), clock);
    QueueUiLoop loop;
    BackgroundRunner background{1};
    std::vector<json> delivered;
    Bridge bridge{loop, background, [this](const std::string& text) { delivered.push_back(json::parse(text)); }};

    void SetUp() override { registerActions(bridge, *ctx); }

    json call(const std::string& action, const json& payload = json::object()) {
        delivered.clear();
        bridge.receive({{"action", action}, {"id", "1"}, {"payload", payload}});
        EXPECT_TRUE(loop.runUntil([&] { return bridge.inFlight() == 0; }, std::chrono::seconds(10)));
        loop.drain();
        EXPECT_EQ(delivered.size(), 1u);
        if (delivered.empty()) return nullptr;
        EXPECT_EQ(delivered[0]["ok"], true) << delivered[0].dump();
        return delivered[0]["data"];
    }

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
