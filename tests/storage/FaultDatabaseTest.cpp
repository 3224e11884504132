// The database file in trouble: held by another process, or its writer killed mid-transaction.

#include "core/Clock.h"
#include "core/VelmoraError.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

// Another process with its own connection to the file. It runs `sql` inside BEGIN EXCLUSIVE,
// tells the parent it holds the lock, then waits: on release() it commits and exits, on
// kill() it dies with the transaction open.
class OtherProcess {
public:
    OtherProcess(const std::string& path, const std::string& sql) {
        int ready[2], go[2];
        if (pipe(ready) != 0 || pipe(go) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(go[1]);
            sqlite3* db = nullptr;
            char ok = 'x';
            if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db, ("BEGIN EXCLUSIVE; " + sql).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
                ok = '1';
            if (write(ready[1], &ok, 1) != 1) _exit(2);
            char byte;
            (void)!read(go[0], &byte, 1);
            int rc = sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            _exit(rc == SQLITE_OK ? 0 : 1);
        }
        close(ready[1]);
        close(go[0]);
        go_ = go[1];
        char ok = 0;
        if (read(ready[0], &ok, 1) != 1) ok = 0;
        close(ready[0]);
        holding_ = ok == '1';
    }
    ~OtherProcess() {
        if (pid_ > 0) kill();
    }
    bool holding() const { return holding_; }
    // Commits and waits for the exit; answers whether the commit succeeded.
    bool release() {
        char byte = 'g';
        bool sent = write(go_, &byte, 1) == 1;
        return sent && wait() == 0;
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

private:
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        close(go_);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid_ = -1;
    int go_ = -1;
    bool holding_ = false;
};

class FaultDatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = (dir / "velmora.db").string();
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(std::chrono::system_clock::now());

    std::unique_ptr<DatabaseService> open(std::shared_ptr<SQLiteDatabase>& sqlite) {
        sqlite = std::make_shared<SQLiteDatabase>(path);
        auto db = std::make_unique<DatabaseService>(sqlite, clock);
        db->initialize();
        return db;
    }
};

} // namespace

// The other process writes thousands of rows and dies before committing them.
TEST_F(FaultDatabaseTest, AFileLockedByAnotherProcessFailsWritesClearlyAndLosesNothing) {
    std::shared_ptr<SQLiteDatabase> sqlite;
    auto db = open(sqlite);
    db->setSetting("language", "de");
    {
        OtherProcess other(path, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<5000) "
                                 "INSERT INTO settings(key, value) SELECT 'junk' || i, randomblob(200) FROM n; "
                                 "UPDATE settings SET value='fr' WHERE key='language';");
        ASSERT_TRUE(other.holding());
        // Reads still see the last committed state; a write waits out the busy timeout, then
        // fails with SQLite's own words rather than hanging or pretending to succeed.
        EXPECT_EQ(db->getSetting("language", ""), "de");
        try {
            db->setSetting("language", "es");
            ADD_FAILURE() << "a write went through while another process held the file";
        } catch (const VelmoraError& e) {
            EXPECT_NE(std::string(e.what()).find("database is locked"), std::string::npos) << e.what();
        }
        other.kill();
    }
    db->setSetting("language", "es"); // the lock went with the process
    db.reset();
    sqlite.reset();
    db = open(sqlite);
    EXPECT_EQ(std::get<std::string>(*sqlite->scalar("PRAGMA integrity_check;")), "ok");
    EXPECT_EQ(db->getSetting("language", ""), "es");
    EXPECT_EQ(std::get<int64_t>(*sqlite->scalar("SELECT COUNT(*) FROM settings WHERE key LIKE 'junk%';")), 0);
}

TEST_F(FaultDatabaseTest, AWriterThatLetsGoWithinTheBusyTimeoutIsWaitedFor) {
    std::shared_ptr<SQLiteDatabase> sqlite;
    auto db = open(sqlite);
    OtherProcess other(path, "INSERT INTO settings(key, value) VALUES('theme', 'dark');");
    ASSERT_TRUE(other.holding());
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(other.release());
    });
    db->setSetting("language", "it"); // blocks until the other commit, then succeeds
    releaser.join();
    EXPECT_EQ(db->getSetting("language", ""), "it");
    EXPECT_EQ(db->getSetting("theme", ""), "dark");
}
