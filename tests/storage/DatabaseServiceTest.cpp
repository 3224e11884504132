#include "JobTestSupport.h"

using namespace velmora;
using nlohmann::json;
using velmora::testing::expectFields;
using velmora::testing::JobDb;
using velmora::testing::TempDir;

// A file written before ratings, tags, the tracker's dates and triage existed, with rows in
// every table: each step adds its columns, the rows stay and work with every newer feature.
TEST(DatabaseService, AFileOfTheOldestShapeKeepsItsRowsAndGainsEveryFeature) {
    TempDir dir;
    const std::string path = (dir / "velmora.db").string();
    {
        SQLiteDatabase old(path);
        for (const char* sql : {
                 "CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, external_id TEXT NOT NULL, source TEXT NOT "
                 "NULL, title TEXT NOT NULL, company TEXT NOT NULL, category TEXT NOT NULL, location TEXT NOT NULL, "
                 "description TEXT NOT NULL, url TEXT NOT NULL UNIQUE, published_at TEXT NULL, added_at TEXT NOT NULL, "
                 "last_seen_at TEXT NOT NULL, expires_at TEXT NOT NULL);",
                 "CREATE TABLE applications (id INTEGER PRIMARY KEY AUTOINCREMENT, job_id INTEGER NULL, title TEXT NOT "
                 "NULL, company TEXT NOT NULL, url TEXT NOT NULL UNIQUE, first_opened_at TEXT NOT NULL, last_opened_at "
                 "TEXT NOT NULL, status TEXT NOT NULL DEFAULT 'Opened', notes TEXT NOT NULL DEFAULT '', FOREIGN "
                 "KEY(job_id) REFERENCES jobs(id) ON DELETE SET NULL);",
                 "CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);",
                 "CREATE TABLE passwords (id INTEGER PRIMARY KEY, secret TEXT);",
                 // One posting on two boards.
                 "INSERT INTO jobs(external_id,source,title,company,category,location,description,url,added_at,"
                 "last_seen_at,expires_at) VALUES('x','S','Old Analyst','Initech','Data','Worldwide','d',"
                 "'https://a.com/1','2026-02-27T08:00:00.000Z','2026-02-27T08:00:00.000Z','2026-05-28T08:00:00.000Z'),"
                 "('x','S','Old Analyst','Initech','Data','Worldwide','d','https://b.com/1','2026-02-27T08:00:00.000Z',"
                 "'2026-02-27T08:00:00.000Z','2026-05-28T08:00:00.000Z');",
                 "INSERT INTO applications(job_id,title,company,url,first_opened_at,last_opened_at,status,notes) "
                 "VALUES(1,'Writer','Ink','https://e.com/w','2025-05-01T08:00:00.000Z','2025-05-02T08:00:00.000Z',"
                 "'Applied','Sent portfolio');",
                 "INSERT INTO applications(title,company,url,first_opened_at,last_opened_at) VALUES"
                 "('Editor','Ink','https://e.com/e','2025-05-03T08:00:00.000Z','2025-05-03T08:00:00.000Z');",
                 "INSERT INTO settings VALUES('searchIntervalHours','3'),('locationMode','europe'),('language','ja'),"
                 "('jobTitle','Nurse'),('autoSearchEnabled','1'),('customKey','kept');",
             })
            old.execute(sql);
    }
    auto clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-01T12:00:00Z"));
    auto sqlite = std::make_shared<SQLiteDatabase>(path);
    DatabaseService db(sqlite, clock);
    db.initialize();

    // Settings from before are repaired or dropped; the user's own stay.
    // clang-format off
    for (const auto& [key, value] : std::map<std::string, std::string>{
             {"searchIntervalHours", "24"}, {"locationMode", "worldwide"}, {"language", "en"}, {"jobTitle", "Nurse"},
             {"customKey", "kept"}, {"autoSearchEnabled", "(none)"}, {"ollamaUrl", "http://127.0.0.1:11434"}})
        EXPECT_EQ(db.getSetting(key, "(none)"), value) << key;
    // clang-format on
    EXPECT_FALSE(sqlite->scalar("SELECT 1 FROM sqlite_master WHERE name='passwords';"));

    // The old listings: one posting, unrated, searchable, waiting for a match score.
    auto jobs = db.getJobs(JobDb::query([](auto& q) { q.query = "old analyst"; }));
    ASSERT_EQ(jobs.size(), 1u);
    expectFields(jobs[0], {{"securityLabel", "Unchecked"}, {"tags", ""}});
    EXPECT_EQ(jobs[0]["alsoOn"].size(), 1u);
    EXPECT_EQ(db.staleMatches(10).size(), 2u);

    // The old applications, latest opened first, with their notes and no dates yet.
    auto apps = db.getApplications();
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0]["title"], "Editor");
    expectFields(apps[1], {{"jobId", 1}, {"status", "Applied"}, {"notes", "Sent portfolio"}});
    for (const auto& app : apps)
        expectFields(app,
                     json{{"appliedAt", ""}, {"statusChangedAt", ""}, {"followUpAt", ""}, {"history", json::array()}});
    auto moved = db.updateApplication(apps[0]["id"].get<int64_t>(), {"Applied", std::nullopt, std::nullopt});
    EXPECT_EQ(moved["appliedAt"], "2026-03-01T12:00:00.000Z");

    // Triage works on the old rows, and the next start changes nothing at all.
    db.setJobMark(jobs[0]["id"], "saved");
    EXPECT_EQ(db.saveSearch({{"name", "Go"}}), 1);
    // Row writes and schema changes since the connection opened.
    const auto writes = [&] {
        return *sqlite->scalar("SELECT total_changes() || '/' || schema_version FROM pragma_schema_version;");
    };
    const auto before = writes();
    DatabaseService reopened(sqlite, clock);
    reopened.initialize();
    EXPECT_EQ(writes(), before);
}

// Reads for display fall back when their tables are gone; writes report the failure.
TEST(DatabaseService, ReadsFallBackAndWritesReportFailure) {
    JobDb t;
    EXPECT_EQ(t.db.getSetting("jobTitle", "fb"), ""); // stored empty text is not replaced
    t.sqlite->execute("INSERT INTO settings VALUES('number', X'0102');");
    EXPECT_EQ(t.db.getSetting("number", "fb"), "fb"); // not text
    t.store(JobDb::job("a"));
    for (const char* table : {"applications", "jobs", "resumes", "settings"})
        t.sqlite->execute(std::string("DROP TABLE ") + table + ";");
    EXPECT_EQ(t.db.getSetting("jobTitle", "fb"), "fb");
    EXPECT_EQ(json({t.db.getJobs("All", "x", 10, 0), t.db.getCategories(), t.db.getApplications(),
                    t.db.trackerCounts(), t.db.dashboardCounts(), t.db.deleteExpiredJobs()}),
              json::parse(R"([[], [], [], {"applied": 0, "interviewing": 0, "followUpsDue": 0, "followUps": []},
                  {"totalJobs": 0, "checkedJobs": 0, "added7d": 0, "applications": 0}, 0])"));
    EXPECT_NO_THROW(t.db.saveResume("cv.pdf", "/x", "{}"));
    EXPECT_ANY_THROW(t.store(JobDb::job("b")));
    EXPECT_ANY_THROW(t.db.setSetting("jobTitle", "x"));
}
