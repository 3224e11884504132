#include "JobTestSupport.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::JobDb;

TEST(ApplicationQueries, OpeningTwiceKeepsFirstTimeStatusAndNotes) {
    JobDb t;
    int64_t jobId = t.store(JobDb::job("https://e.com/a"));
    t.db.recordOpenedApplication(jobId, "Engineer", "Acme", "https://e.com/a");
    auto apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0], (nlohmann::json{{"id", apps[0]["id"]},
                                       {"jobId", jobId},
                                       {"title", "Engineer"},
                                       {"company", "Acme"},
                                       {"url", "https://e.com/a"},
                                       {"firstOpenedAt", "2026-03-01T12:00:00.000Z"},
                                       {"lastOpenedAt", "2026-03-01T12:00:00.000Z"},
                                       {"status", "Opened"},
                                       {"notes", ""}}));
    const int64_t id = apps[0]["id"];
    t.db.updateApplication(id, "Interviewing", "Call on Friday");

    t.advanceDays(2);
    t.db.recordOpenedApplication(std::nullopt, "Senior Engineer", "Acme Inc", "https://e.com/a");
    apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0]["id"], id);
    EXPECT_EQ(apps[0]["jobId"], jobId); // a missing job id keeps the earlier link
    EXPECT_EQ(apps[0]["title"], "Senior Engineer");
    EXPECT_EQ(apps[0]["company"], "Acme Inc");
    EXPECT_EQ(apps[0]["firstOpenedAt"], "2026-03-01T12:00:00.000Z");
    EXPECT_EQ(apps[0]["lastOpenedAt"], "2026-03-03T12:00:00.000Z");
    EXPECT_EQ(apps[0]["status"], "Interviewing");
    EXPECT_EQ(apps[0]["notes"], "Call on Friday");
}

TEST(ApplicationQueries, JobIdsThatNameNoListingAreRecordedAsNone) {
    JobDb t;
    // Foreign keys are on: storing 0 or a vanished id as given would fail the insert.
    EXPECT_NO_THROW(t.db.recordOpenedApplication(0, "A", "Co", "https://e.com/a"));
    EXPECT_NO_THROW(t.db.recordOpenedApplication(424242, "B", "Co", "https://e.com/b"));
    for (const auto& app : t.db.getApplications()) EXPECT_TRUE(app["jobId"].is_null()) << app.dump();
    // ...and a later open with a real listing links it.
    int64_t jobId = t.store(JobDb::job("https://e.com/a"));
    t.db.recordOpenedApplication(jobId, "A", "Co", "https://e.com/a");
    t.db.recordOpenedApplication(0, "A", "Co", "https://e.com/a");
    bool linked = false;
    for (const auto& app : t.db.getApplications()) linked = linked || app["jobId"] == jobId;
    EXPECT_TRUE(linked);
}

TEST(ApplicationQueries, MostRecentlyOpenedFirst) {
    JobDb t;
    t.db.recordOpenedApplication(std::nullopt, "A", "Co", "https://e.com/a");
    t.advanceDays(1);
    t.db.recordOpenedApplication(std::nullopt, "B", "Co", "https://e.com/b");
    t.advanceDays(1);
    t.db.recordOpenedApplication(std::nullopt, "A", "Co", "https://e.com/a");
    auto apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0]["title"], "A");
    EXPECT_EQ(apps[1]["title"], "B");
    EXPECT_TRUE(apps[1]["jobId"].is_null());
}

TEST(ApplicationQueries, DeletingTheJobNullsTheLink) {
    JobDb t;
    int64_t jobId = t.store(JobDb::job("https://e.com/a"));
    t.db.recordOpenedApplication(jobId, "Engineer", "Acme", "https://e.com/a");
    t.advanceDays(91);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
    auto apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_TRUE(apps[0]["jobId"].is_null());
    EXPECT_EQ(apps[0]["title"], "Engineer");
}

TEST(ApplicationQueries, UpdateAndDeleteByIdOnly) {
    JobDb t;
    t.db.recordOpenedApplication(std::nullopt, "A", "Co", "https://e.com/a");
    auto apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    const int64_t a = apps[0]["id"];
    t.advanceDays(1);
    t.db.recordOpenedApplication(std::nullopt, "B", "Co", "https://e.com/b");
    apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 2u);
    const int64_t b = apps[0]["id"];

    EXPECT_NO_THROW(t.db.updateApplication(9999, "Applied", "nothing here"));
    EXPECT_NO_THROW(t.db.deleteApplication(9999));
    t.db.updateApplication(a, "Custom \"status\" ✓", "line1\nline2");
    t.db.deleteApplication(b);
    apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0]["status"], "Custom \"status\" ✓");
    EXPECT_EQ(apps[0]["notes"], "line1\nline2");
    // An empty status reads as the default.
    t.db.updateApplication(a, "", "");
    EXPECT_EQ(t.db.getApplications()[0]["status"], "Opened");
}
