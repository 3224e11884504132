#include "JobTestSupport.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

using namespace velmora;
using nlohmann::json;
using velmora::testing::expectFields;
using velmora::testing::JobDb;

namespace {

using App = DatabaseService::NewApplication;
const auto idOf = [](const json& app) { return app["id"].get<int64_t>(); };
const auto entry = [](std::string url, std::string status = "Saved", std::string notes = "") {
    return App{{}, "Engineer", "Acme", url, status, notes};
};
const auto stage = [](std::string s) { return DatabaseService::ApplicationChange{s, std::nullopt, std::nullopt}; };

} // namespace

TEST(ApplicationQueries, OneEntryPerLinkKeepsItsFirstTimeStatusNotesAndListing) {
    JobDb t;
    const int64_t jobId = t.store(JobDb::job("a"));
    t.db.recordOpenedApplication(jobId, "Engineer", "Acme", "https://e.com/a");
    json expected = json::parse(R"({"title": "Engineer", "company": "Acme", "url": "https://e.com/a",
        "firstOpenedAt": "2026-03-01T12:00:00.000Z", "lastOpenedAt": "2026-03-01T12:00:00.000Z", "status": "Opened",
        "notes": "", "appliedAt": "", "statusChangedAt": "2026-03-01T12:00:00.000Z", "followUpAt": "",
        "history": [{"status": "Opened", "at": "2026-03-01T12:00:00.000Z"}]})");
    expected["id"] = 1;
    expected["jobId"] = jobId;
    EXPECT_EQ(t.db.getApplications(), json::array({expected}));
    t.db.updateApplication(1, "Interviewing", "Call on Friday");

    // Opened again, without a listing (the earlier link stays) or saved again by its link.
    t.advanceDays(2);
    t.db.recordOpenedApplication(std::nullopt, "Senior Engineer", "Acme Inc", "https://e.com/a");
    t.db.recordOpenedApplication(0, "Senior Engineer", "Acme Inc", "https://e.com/a");
    EXPECT_EQ(idOf(t.db.addApplication(entry(" https://e.com/a "))), 1);
    auto apps = t.db.getApplications();
    ASSERT_EQ(apps.size(), 1u);
    expectFields(apps[0], json::parse(R"({"id": 1, "title": "Senior Engineer", "company": "Acme Inc",
        "firstOpenedAt": "2026-03-01T12:00:00.000Z", "lastOpenedAt": "2026-03-03T12:00:00.000Z",
        "status": "Interviewing", "notes": "Call on Friday"})"));
    EXPECT_EQ(apps[0]["jobId"], jobId);
    EXPECT_EQ(apps[0]["history"].size(), 2u);

    // Saved by hand, then opened: the entry moves on, and the latest opened comes first.
    t.db.addApplication(entry("https://e.com/b"));
    t.advanceDays(1);
    t.db.recordOpenedApplication(std::nullopt, "Data Engineer", "Acme", "https://e.com/b");
    EXPECT_EQ(t.db.getApplications()[0]["status"], "Opened");

    // Foreign keys are on: an id that names no listing is recorded as none (as given, it would
    // fail the insert), and a listing's expiry nulls the link rather than leaving it dangling.
    t.db.recordOpenedApplication(424242, "B", "Co", "https://e.com/gone");
    t.advanceDays(91);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
    for (const auto& app : t.db.getApplications())
        EXPECT_TRUE(app["jobId"].is_null()) << app["url"];
}

TEST(ApplicationQueries, StagesStampAppliedOnceAndUpdatesChangeOnlyTheFieldsGiven) {
    JobDb t;
    const int64_t id = idOf(t.db.addApplication(entry("https://e.com/a", "Saved", "Referred by Ana")));
    // A day passes before each change; the fields it must leave build on the steps before.
    // clang-format off
    const std::pair<DatabaseService::ApplicationChange, json> steps[] = {
        {stage("Applied"), {{"appliedAt", "2026-03-02T12:00:00.000Z"}, {"followUpAt", "2026-03-09"}}}, // a week on
        {{"Interviewing", std::nullopt, "2026-03-20"}, {{"followUpAt", "2026-03-20"}, {"notes", "Referred by Ana"}}},
        {stage("Applied"), // only the first time counts, and the user's date stays
         {{"appliedAt", "2026-03-02T12:00:00.000Z"}, {"followUpAt", "2026-03-20"}, {"status", "Applied"}}},
        {{std::nullopt, "línea 1\n\"quoted\" ✓", std::nullopt}, {{"status", "Applied"}, {"notes", "línea 1\n\"quoted\" ✓"}}},
        {{std::nullopt, std::nullopt, "2026-04-01T09:30:00Z"}, {{"followUpAt", "2026-04-01"}}},
        {{std::nullopt, std::nullopt, ""}, {{"followUpAt", ""}, {"statusChangedAt", "2026-03-04T12:00:00.000Z"}}},
    };
    // clang-format on
    for (const auto& [change, fields] : steps) {
        t.advanceDays(1);
        expectFields(t.db.updateApplication(id, change), fields);
    }
    EXPECT_EQ(t.db.getApplication(id)["history"], json::parse(R"([{"status": "Saved", "at": "2026-03-01T12:00:00.000Z"},
        {"status": "Applied", "at": "2026-03-02T12:00:00.000Z"}, {"status": "Interviewing",
        "at": "2026-03-03T12:00:00.000Z"}, {"status": "Applied", "at": "2026-03-04T12:00:00.000Z"}])"));

    // The same stage again is no change; the history is bounded.
    EXPECT_EQ(t.db.updateApplication(id, stage("Applied"))["history"].size(), 4u);
    for (size_t i = 0; i < DatabaseService::kMaxHistoryEntries; ++i)
        t.db.updateApplication(id, stage(i % 2 ? "Offer" : "Interviewing"));
    const json app = t.db.getApplication(id);
    EXPECT_EQ(app["history"].size(), DatabaseService::kMaxHistoryEntries);
    EXPECT_EQ(app["history"].back()["status"], "Offer");

    // An overlong note is cut to the documented maximum, whole characters kept.
    std::string huge;
    for (int i = 0; i < 40'000; ++i) huge += "né ";
    const std::string notes = t.db.updateApplication(id, {std::nullopt, huge, std::nullopt})["notes"];
    EXPECT_EQ(text::characterCount(notes), DatabaseService::kMaxNotesCharacters);
    EXPECT_TRUE(text::isValidUtf8(notes));
}

TEST(ApplicationQueries, BadInputIsRefusedAndChangesNothing) {
    JobDb t;
    const int64_t id = idOf(t.db.addApplication(entry("https://e.com/a", "Applied", "keep me")));
    // A stage of its own from an earlier version stays until the user moves the entry.
    t.sqlite->execute("INSERT INTO applications(title,company,url,first_opened_at,last_opened_at,status) "
                      "VALUES('Old','Co','https://e.com/old','2025-01-01T00:00:00.000Z','2025-01-01T00:00:00.000Z',"
                      "'Phone screen');");
    const int64_t legacy = idOf(t.db.addApplication(entry("https://e.com/old")));
    EXPECT_EQ(t.db.updateApplication(legacy, {"Phone screen", "still mine", std::nullopt})["status"], "Phone screen");
    const json before = t.db.getApplications();

    // clang-format off
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"stage in the wrong case", [&] { t.db.updateApplication(id, {"applied ", "x", std::nullopt}); }},
        {"impossible day", [&] { t.db.updateApplication(id, {std::nullopt, "x", "2026-02-30"}); }},
        {"add without a link", [&] { t.db.addApplication(entry("")); }},
        {"add with an unknown stage", [&] { t.db.addApplication(entry("https://e.com/new", "Ghosted")); }},
        {"add without a title", [&] { t.db.addApplication(App{{}, " ", "Co", "https://e.com/n", "Saved", ""}); }},
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
    const json counts = t.db.trackerCounts(); // the rejected one is closed; the longest overdue comes first
    EXPECT_EQ(json({counts["followUpsDue"], counts["followUps"].size(), idOf(counts["followUps"].at(0)),
                    idOf(counts["followUps"].at(1))}),
              json({2, 2, interviewing, applied}));
    t.db.updateApplication(rejected, stage("Applied")); // reopened: due again
    EXPECT_EQ(t.db.trackerCounts()["followUpsDue"], 3);
}
