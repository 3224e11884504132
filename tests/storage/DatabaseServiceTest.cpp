#include "storage/DatabaseService.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::TempDir;

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
