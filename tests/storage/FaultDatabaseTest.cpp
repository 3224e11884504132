// The database file in trouble: held by another process, or its writer killed mid-transaction.

#include "core/Clock.h"
#include "core/VelmoraError.h"
#include "storage/DatabaseService.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>

#include <sqlite3.h>

#include <csignal>
#include <thread>

using namespace velmora;
using namespace velmora::testing;
using ::testing::HasSubstr;

namespace {

// Another process with its own connection runs `sql` inside BEGIN EXCLUSIVE, writes its pid
// beside the file once it holds the lock, and commits after `holdFor` unless killed first.
class OtherProcess {
public:
    OtherProcess(const std::string& path, const std::string& sql, std::chrono::milliseconds holdFor)
        : mark_(path + ".held"), thread_([=, this] {
              end_ = inChild([&](int) {
                  sqlite3* db = nullptr;
                  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
                      sqlite3_exec(db, ("BEGIN EXCLUSIVE; " + sql).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
                      _exit(2);
                  writeFile(mark_, std::to_string(getpid()));
                  std::this_thread::sleep_for(holdFor);
                  _exit(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : 1);
              });
          }) {
        for (int i = 0; i < 6000 && pid() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_t pid() const { return std::atoi(readFile(mark_).c_str()); }
    ChildEnd end() {
        thread_.join();
        return end_;
    }

private:
    std::string mark_;
    ChildEnd end_ = ChildEnd::Crashed;
    std::jthread thread_;
};

} // namespace

TEST(FaultDatabase, AFileHeldByAnotherProcessFailsWritesClearlyWaitsForAQuickOneAndLosesNothing) {
    TempDir dir;
    const std::string path = (dir / "velmora.db").string();
    auto clock = std::make_shared<FixedClock>(std::chrono::system_clock::now());
    auto db = std::make_unique<DatabaseService>(std::make_shared<SQLiteDatabase>(path), clock);
    db->initialize();
    db->setSetting("language", "de");
    {
        // Thousands of rows written, and the writer dies before committing them.
        OtherProcess other(path,
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<5000) "
                           "INSERT INTO settings(key, value) SELECT 'junk' || i, randomblob(200) FROM n; "
                           "UPDATE settings SET value='fr' WHERE key='language';",
                           std::chrono::minutes(1));
        ASSERT_GT(other.pid(), 0);
        // Reads still see the last committed state; a write waits out the busy timeout, then
        // fails with SQLite's own words rather than hanging or pretending to succeed.
        EXPECT_EQ(db->getSetting("language", ""), "de");
        EXPECT_THAT([&] { db->setSetting("language", "es"); },
                    ::testing::ThrowsMessage<VelmoraError>(HasSubstr("database is locked")));
        ::kill(other.pid(), SIGKILL);
        EXPECT_EQ(other.end(), ChildEnd::Killed);
    }
    db->setSetting("language", "es"); // the lock went with the process
    {
        // A writer that lets go within the busy timeout is waited for.
        OtherProcess other(path, "INSERT INTO settings(key, value) VALUES('theme', 'dark');",
                           std::chrono::milliseconds(300));
        ASSERT_GT(other.pid(), 0);
        db->setSetting("language", "it");
        EXPECT_EQ(other.end(), ChildEnd::Succeeded);
    }
    db = std::make_unique<DatabaseService>(std::make_shared<SQLiteDatabase>(path), clock);
    db->initialize();
    EXPECT_EQ(std::get<std::string>(*db->db().scalar("PRAGMA integrity_check;")), "ok");
    EXPECT_EQ(db->getSetting("language", ""), "it");
    EXPECT_FALSE(db->db().scalar("SELECT 1 FROM settings WHERE key LIKE 'junk%';"));
}
