#include "storage/DatabaseService.h"
#include "storage/SchemaMigrations.h"
#include "JobTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::TempDir;
using nlohmann::json;

namespace {

int64_t count(SQLiteDatabase& db, const std::string& sql) { return std::get<int64_t>(*db.scalar(sql)); }

std::map<std::string, std::string> settings(SQLiteDatabase& db) {
    std::map<std::string, std::string> out;
    for (auto& row : db.query("SELECT key, value FROM settings;"))
        out[*sqlite_row::text(row, "key")] = *sqlite_row::text(row, "value");
    return out;
}

} // namespace

TEST(DatabaseService, InitializeCreatesSchemaAndDefaultsOnAnEmptyFile) {
    TempDir dir;
    auto sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    DatabaseService db(sqlite);
    db.initialize();

    EXPECT_EQ(count(*sqlite, "SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name IN "
                             "('jobs','applications','settings','resumes','application_profile');"),
              5);
    EXPECT_EQ(count(*sqlite, "SELECT COUNT(*) FROM sqlite_master WHERE type='index' AND name LIKE 'idx_%';"), 7);
    auto s = settings(*sqlite);
    EXPECT_EQ(s.size(), 11u);
    EXPECT_EQ(s["searchIntervalHours"], "24");
    EXPECT_EQ(s["location"], "Remote");
    EXPECT_EQ(s["ollamaModel"], "llama3.2:3b");
    EXPECT_EQ(s["ollamaUrl"], "http://127.0.0.1:11434");
    EXPECT_EQ(*sqlite->scalar("PRAGMA journal_mode;"), SQLiteField(std::string("wal")));
    EXPECT_EQ(count(*sqlite, "PRAGMA foreign_keys;"), 1);

    db.initialize(); // idempotent
    EXPECT_EQ(settings(*sqlite), s);
}

TEST(DatabaseService, InitializeRepairsADatabaseFromAnOlderVersion) {
    TempDir dir;
    auto path = (dir / "velmora.db").string();
    {
        SQLiteDatabase old(path);
        old.execute("CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);");
        old.execute("CREATE TABLE passwords (id INTEGER PRIMARY KEY, secret TEXT);");
        for (auto [k, v] : std::vector<std::pair<std::string, std::string>>{{"searchIntervalHours", "3"},
                                                                           {"locationMode", "europe"},
                                                                           {"language", "ja"},
                                                                           {"jobTitle", "Nurse"},
                                                                           {"autoSearchEnabled", "1"},
                                                                           {"customKey", "kept"}})
            old.execute("INSERT INTO settings VALUES(?,?);", {k, v});
    }
    auto sqlite = std::make_shared<SQLiteDatabase>(path);
    DatabaseService db(sqlite);
    db.initialize();
    auto s = settings(*sqlite);
    EXPECT_EQ(s["searchIntervalHours"], "24");
    EXPECT_EQ(s["locationMode"], "worldwide");
    EXPECT_EQ(s["language"], "en");
    EXPECT_EQ(s["jobTitle"], "Nurse");
    EXPECT_EQ(s["customKey"], "kept");
    EXPECT_EQ(s.count("autoSearchEnabled"), 0u);
    EXPECT_EQ(count(*sqlite, "SELECT COUNT(*) FROM sqlite_master WHERE name='passwords';"), 0);
}

TEST(DatabaseService, AJobsTableFromBeforeRatingsAndTagsIsMigratedOnceAndKeepsItsRows) {
    TempDir dir;
    auto path = (dir / "velmora.db").string();
    {
        SQLiteDatabase old(path);
        old.execute("CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, external_id TEXT NOT NULL, source TEXT "
                    "NOT NULL, title TEXT NOT NULL, company TEXT NOT NULL, category TEXT NOT NULL, location TEXT NOT "
                    "NULL, description TEXT NOT NULL, url TEXT NOT NULL UNIQUE, published_at TEXT NULL, added_at TEXT "
                    "NOT NULL, last_seen_at TEXT NOT NULL, expires_at TEXT NOT NULL);");
        old.execute("CREATE TABLE applications (id INTEGER PRIMARY KEY AUTOINCREMENT, job_id INTEGER NULL, title TEXT "
                    "NOT NULL, company TEXT NOT NULL, url TEXT NOT NULL UNIQUE, first_opened_at TEXT NOT NULL, "
                    "last_opened_at TEXT NOT NULL, status TEXT NOT NULL DEFAULT 'Opened', notes TEXT NOT NULL DEFAULT "
                    "'', FOREIGN KEY(job_id) REFERENCES jobs(id) ON DELETE SET NULL);");
        for (int i = 1; i <= 2; ++i)
            old.execute("INSERT INTO jobs(external_id,source,title,company,category,location,description,url,"
                        "published_at,added_at,last_seen_at,expires_at) VALUES(?,?,?,?,?,?,?,?,NULL,?,?,?);",
                        {"old-" + std::to_string(i), "Remotive", "Old Analyst " + std::to_string(i), "Initech",
                         "Data", "Worldwide", "From before ratings.", "https://example.com/old/" + std::to_string(i),
                         "2026-02-27T08:00:00.000Z", "2026-02-27T08:00:00.000Z", "2026-05-28T08:00:00.000Z"});
        old.execute("INSERT INTO applications(job_id,title,company,url,first_opened_at,last_opened_at) "
                    "VALUES(1,'Old Analyst 1','Initech','https://example.com/old/1','2026-02-28T08:00:00.000Z',"
                    "'2026-02-28T08:00:00.000Z');");
    }
    auto clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-01T12:00:00Z"));
    auto sqlite = std::make_shared<SQLiteDatabase>(path);
    DatabaseService db(sqlite, clock);
    db.initialize();
    EXPECT_EQ(SchemaMigrations::currentVersion(*sqlite), SchemaMigrations::latestVersion());

    // A sync stores into the migrated table, and the old rows are listed beside the new one.
    IncomingJob fresh = velmora::testing::JobDb::job("https://example.com/new", "Data Engineer", "Worldwide", "Data");
    fresh.tags = {"sql", "python"};
    db.upsertJobs({{fresh, velmora::testing::JobDb::rating(72, "Trusted")}});
    json listed = db.getJobs("All", "", 50, 0);
    ASSERT_EQ(listed.size(), 3u) << listed.dump();
    std::map<std::string, json> byUrl;
    for (const auto& job : listed) byUrl[job["url"].get<std::string>()] = job;
    EXPECT_EQ(byUrl["https://example.com/new"]["securityScore"], 72);
    EXPECT_EQ(byUrl["https://example.com/old/1"]["securityLabel"], "Unchecked");
    EXPECT_EQ(db.getJobs("All", "Old Analyst", 50, 0).size(), 2u); // the search index has the old rows
    EXPECT_EQ(db.getApplications().size(), 1u);

    // A second start changes nothing.
    auto dump = [&] {
        std::string out;
        for (const char* sql : {"SELECT * FROM jobs ORDER BY id;", "SELECT sql FROM sqlite_master ORDER BY name;",
                                "PRAGMA user_version;"})
            for (const auto& row : sqlite->query(sql))
                for (const auto& [column, value] : row)
                    out += column + "=" + (std::holds_alternative<std::string>(value) ? std::get<std::string>(value)
                                           : std::holds_alternative<int64_t>(value)
                                               ? std::to_string(std::get<int64_t>(value))
                                               : std::string("null")) +
                           ";";
        return out;
    };
    const std::string before = dump();
    DatabaseService(sqlite, clock).initialize();
    EXPECT_EQ(dump(), before);
}

TEST(DatabaseService, SettingsReadWithFallbacks) {
    TempDir dir;
    auto sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    DatabaseService db(sqlite);
    db.initialize();
    EXPECT_EQ(db.getSetting("nope", "fb"), "fb");
    EXPECT_EQ(db.getSetting("jobTitle", "fb"), ""); // stored empty text is not replaced
    db.setSetting("jobTitle", "Data engineer");
    EXPECT_EQ(db.getSetting("jobTitle", ""), "Data engineer");
    sqlite->execute("INSERT INTO settings VALUES('number', X'0102');");
    EXPECT_EQ(db.getSetting("number", "fb"), "fb"); // not text
    sqlite->execute("DROP TABLE settings;");
    EXPECT_EQ(db.getSetting("jobTitle", "fb"), "fb"); // a failing read falls back
    EXPECT_ANY_THROW(db.setSetting("jobTitle", "x"));  // a failing write is reported
}

TEST(DatabaseService, AFileThatIsNotADatabaseFailsAtInitialize) {
    TempDir dir;
    velmora::testing::writeFile(dir / "velmora.db", std::string(4096, 'x'));
    try {
        auto sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
        DatabaseService db(sqlite);
        db.initialize();
        FAIL() << "a garbage file was accepted";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("file is not a database"), std::string::npos) << e.what();
    }
}
