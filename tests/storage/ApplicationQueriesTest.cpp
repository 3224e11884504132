#include "JobTestSupport.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using nlohmann::json;
using velmora::testing::expectFields;
using velmora::testing::JobDb;

namespace {

int64_t idOf(const json& app) {
    return app["id"].get<int64_t>();
}

DatabaseService::NewApplication entry(const std::string& url, const std::string& status = "Saved") {
    DatabaseService::NewApplication e;
    e.title = "Engineer";
    e.company = "Acme";
    e.url = url;
    e.status = status;
    return e;
}

} // namespace

TEST(ApplicationQueries, OpeningTwiceKeepsFirstTimeStatusAndNotes) {
    JobDb t;
    const int64_t jobId = t.store(JobDb::job("https://e.com/a"));
    t.db.recordOpenedApplication(jobId, "Engineer", "Acme", "https://e.com/a");
    auto apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    json expected = json::parse(R"({"jobId": 0, "title": "Engineer", "company": "Acme", "url": "https://e.com/a",
        "firstOpenedAt": "2026-03-01T12:00:00.000Z", "lastOpenedAt": "2026-03-01T12:00:00.000Z", "status": "Opened",
        "notes": "", "appliedAt": "", "statusChangedAt": "2026-03-01T12:00:00.000Z", "followUpAt": "",
        "history": [{"status": "Opened", "at": "2026-03-01T12:00:00.000Z"}]})");
    expected["id"] = apps[0]["id"];
    expected["jobId"] = jobId;
    EXPECT_EQ(apps[0], expected);
    const int64_t id = idOf(apps[0]);
    t.db.updateApplication(id, "Interviewing", "Call on Friday");

    t.advanceDays(2);
    t.db.recordOpenedApplication(std::nullopt, "Senior Engineer", "Acme Inc", "https://e.com/a");
    apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    // A missing job id keeps the earlier link.
    expectFields(apps[0], {{"id", id}, {"jobId", jobId}, {"title", "Senior Engineer"}, {"company", "Acme Inc"}});
    expectFields(apps[0], json::parse(R"({"firstOpenedAt": "2026-03-01T12:00:00.000Z", "status": "Interviewing",
        "lastOpenedAt": "2026-03-03T12:00:00.000Z", "notes": "Call on Friday"})"));
    EXPECT_EQ(apps[0]["history"].size(), 2u);
}

// Foreign keys are on: storing 0 or a vanished id as given would fail the insert, and a
// listing's expiry must null the link rather than leave it pointing nowhere.
TEST(ApplicationQueries, JobIdsThatNameNoListingAreRecordedAsNone) {
    JobDb t;
    EXPECT_NO_THROW(t.db.recordOpenedApplication(0, "A", "Co", "https://e.com/a"));
    EXPECT_NO_THROW(t.db.recordOpenedApplication(424242, "B", "Co", "https://e.com/b"));
    auto unknown = entry("https://e.com/c");
    unknown.jobId = 424242;
    EXPECT_TRUE(t.db.addApplication(unknown)["jobId"].is_null());
    for (const auto& app : t.db.getApplications())
        EXPECT_TRUE(app["jobId"].is_null()) << app.dump();

    // A later open with a real listing links it, and a missing id afterwards keeps the link.
    t.advanceDays(1);
    const int64_t jobId = t.store(JobDb::job("https://e.com/a"));
    t.db.recordOpenedApplication(jobId, "A", "Co", "https://e.com/a");
    t.db.recordOpenedApplication(0, "A", "Co", "https://e.com/a");
    EXPECT_EQ(t.db.getApplications()[0]["jobId"], jobId);

    t.advanceDays(91);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
    EXPECT_TRUE(t.db.getApplications()[0]["jobId"].is_null());
    EXPECT_EQ(t.db.getApplications()[0]["title"], "A");
}

TEST(ApplicationQueries, SavingAListingTwiceGivesTheOneEntry) {
    JobDb t;
    DatabaseService::NewApplication fromListing;
    fromListing.jobId = t.store(JobDb::job("https://e.com/a", "Data Engineer")); // title and link from the listing
    auto saved = t.db.addApplication(fromListing);
    EXPECT_EQ(saved["title"], "Data Engineer");
    EXPECT_EQ(saved["url"], "https://e.com/a");
    EXPECT_EQ(saved["status"], "Saved");
    EXPECT_EQ(saved["appliedAt"], "");

    t.db.updateApplication(idOf(saved), {"Applied", "sent", std::nullopt});
    auto again = t.db.addApplication(entry(" https://e.com/a "));
    EXPECT_EQ(idOf(again), idOf(saved));
    EXPECT_EQ(again["status"], "Applied");
    EXPECT_EQ(again["notes"], "sent");
    EXPECT_EQ(t.db.getApplications().size(), 1u);

    // Opening a saved listing moves it on; opening an applied one does not move it back.
    auto other = t.db.addApplication(entry("https://e.com/b"));
    t.advanceDays(1);
    t.db.recordOpenedApplication(std::nullopt, "Engineer", "Acme", "https://e.com/b");
    t.db.recordOpenedApplication(std::nullopt, "Data Engineer", "Acme", "https://e.com/a");
    EXPECT_EQ(t.db.getApplication(idOf(other))["status"], "Opened");
    EXPECT_EQ(t.db.getApplication(idOf(other))["history"].size(), 2u);
    EXPECT_EQ(t.db.getApplication(idOf(saved))["status"], "Applied");
}

TEST(ApplicationQueries, StagesStampAppliedOnceAndExtendABoundedHistory) {
    JobDb t;
    const int64_t id = idOf(t.db.addApplication(entry("https://e.com/a")));
    t.advanceDays(1);
    auto app = t.db.updateApplication(id, {"Applied", std::nullopt, std::nullopt});
    EXPECT_EQ(app["appliedAt"], "2026-03-02T12:00:00.000Z");
    EXPECT_EQ(app["followUpAt"], "2026-03-09"); // a week after applying
    t.advanceDays(3);
    app = t.db.updateApplication(id, {"Interviewing", std::nullopt, "2026-03-20"});
    EXPECT_EQ(app["followUpAt"], "2026-03-20");
    t.advanceDays(1);
    app = t.db.updateApplication(id, {"Applied", std::nullopt, std::nullopt});
    EXPECT_EQ(app["appliedAt"], "2026-03-02T12:00:00.000Z"); // only the first time counts
    EXPECT_EQ(app["followUpAt"], "2026-03-20");              // the user's date stays
    EXPECT_EQ(app["statusChangedAt"], "2026-03-06T12:00:00.000Z");
    std::vector<std::string> stages;
    for (const auto& step : app["history"])
        stages.push_back(step["status"]);
    EXPECT_EQ(stages, (std::vector<std::string>{"Saved", "Applied", "Interviewing", "Applied"}));

    // The same stage again is no change; the history is bounded.
    EXPECT_EQ(t.db.updateApplication(id, {"Applied", std::nullopt, std::nullopt})["history"].size(), 4u);
    for (size_t i = 0; i < DatabaseService::kMaxHistoryEntries; ++i)
        t.db.updateApplication(id, {i % 2 ? "Offer" : "Interviewing", std::nullopt, std::nullopt});
    app = t.db.getApplication(id);
    EXPECT_EQ(app["history"].size(), DatabaseService::kMaxHistoryEntries);
    EXPECT_EQ(app["history"].back()["status"], "Offer");
}

TEST(ApplicationQueries, UpdatesChangeOnlyTheFieldsGiven) {
    JobDb t;
    auto e = entry("https://e.com/a", "Applied");
    e.notes = "Referred by Ana";
    const int64_t id = idOf(t.db.addApplication(e));
    auto app = t.db.updateApplication(id, {"Interviewing", std::nullopt, std::nullopt});
    EXPECT_EQ(app["notes"], "Referred by Ana");
    app = t.db.updateApplication(id, {std::nullopt, "línea 1\n\"quoted\" ✓", std::nullopt});
    EXPECT_EQ(app["status"], "Interviewing");
    EXPECT_EQ(app["notes"], "línea 1\n\"quoted\" ✓");
    app = t.db.updateApplication(id, {std::nullopt, std::nullopt, "2026-04-01T09:30:00Z"});
    EXPECT_EQ(app["followUpAt"], "2026-04-01");
    app = t.db.updateApplication(id, {std::nullopt, std::nullopt, ""});
    EXPECT_EQ(app["followUpAt"], "");
    // An overlong note is cut to the documented maximum, whole characters kept.
    std::string huge;
    while (huge.size() < 100'000)
        huge += "né ";
    app = t.db.updateApplication(id, {std::nullopt, huge, std::nullopt});
    EXPECT_EQ(text::characterCount(app["notes"].get<std::string>()), DatabaseService::kMaxNotesCharacters);
    EXPECT_TRUE(text::isValidUtf8(app["notes"].get<std::string>()));
}

TEST(ApplicationQueries, BadInputIsRefusedAndChangesNothing) {
    JobDb t;
    auto e = entry("https://e.com/a", "Applied");
    e.notes = "keep me";
    const int64_t id = idOf(t.db.addApplication(e));
    // A stage of its own from an earlier version stays until the user moves the entry.
    t.sqlite->execute("INSERT INTO applications(title,company,url,first_opened_at,last_opened_at,status) "
                      "VALUES('Old','Co','https://e.com/old','2025-01-01T00:00:00.000Z','2025-01-01T00:00:00.000Z',"
                      "'Phone screen');");
    const int64_t legacy = idOf(t.db.addApplication(entry("https://e.com/old")));
    EXPECT_EQ(t.db.updateApplication(legacy, {"Phone screen", "still mine", std::nullopt})["status"], "Phone screen");
    const json before = t.db.getApplications();

    auto untitled = entry("https://e.com/new");
    untitled.title = "  ";
    // clang-format off
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"update of an unknown id", [&] { t.db.updateApplication(9999, {"Applied", "x", std::nullopt}); }},
        {"delete of an unknown id", [&] { t.db.deleteApplication(9999); }},
        {"unknown stage", [&] { t.db.updateApplication(id, {"Hired!", "x", std::nullopt}); }},
        {"stage in the wrong case", [&] { t.db.updateApplication(id, {"applied ", "x", std::nullopt}); }},
        {"impossible day", [&] { t.db.updateApplication(id, {std::nullopt, "x", "2026-02-30"}); }},
        {"not a date", [&] { t.db.updateApplication(id, {"Offer", "x", "next week"}); }},
        {"add with a mail link", [&] { t.db.addApplication(entry("mailto:jobs@e.com")); }},
        {"add with a script link", [&] { t.db.addApplication(entry("javascript:alert(1)")); }},
        {"add without a link", [&] { t.db.addApplication(entry("")); }},
        {"add with an unknown stage", [&] { t.db.addApplication(entry("https://e.com/new", "Ghosted")); }},
        {"add without a title", [&] { t.db.addApplication(untitled); }},
    };
    // clang-format on
    for (const auto& [name, run] : cases) {
        EXPECT_THROW(run(), VelmoraError) << name;
        EXPECT_EQ(t.db.getApplications(), before) << name;
    }
}

TEST(ApplicationQueries, TrackerCountsMeanWhatTheySay) {
    JobDb t;
    t.db.recordOpenedApplication(std::nullopt, "Opened only", "Co", "https://e.com/opened");
    t.db.addApplication(entry("https://e.com/saved"));
    const int64_t applied = idOf(t.db.addApplication(entry("https://e.com/applied", "Applied")));
    const int64_t interviewing = idOf(t.db.addApplication(entry("https://e.com/interview", "Interviewing")));
    const int64_t rejected = idOf(t.db.addApplication(entry("https://e.com/rejected", "Rejected")));
    t.db.updateApplication(interviewing, {std::nullopt, std::nullopt, "2026-03-05"});
    EXPECT_EQ(t.db.trackerCounts(),
              (json{{"applied", 3}, {"interviewing", 1}, {"followUpsDue", 0}, {"followUps", json::array()}}));

    t.advanceDays(7); // 2026-03-08: the defaults of 2026-03-08 are due today, the 5th is overdue
    auto counts = t.db.trackerCounts();
    EXPECT_EQ(counts["followUpsDue"], 2); // the rejected one is closed
    ASSERT_EQ(counts["followUps"].size(), 2u);
    EXPECT_EQ(idOf(counts["followUps"][0]), interviewing);
    EXPECT_EQ(idOf(counts["followUps"][1]), applied);
    t.db.updateApplication(rejected, {"Applied", std::nullopt, std::nullopt}); // reopened: due again
    EXPECT_EQ(t.db.trackerCounts()["followUpsDue"], 3);

    t.sqlite->execute("DROP TABLE applications;");
    EXPECT_EQ(t.db.trackerCounts(),
              (json{{"applied", 0}, {"interviewing", 0}, {"followUpsDue", 0}, {"followUps", json::array()}}));
}
