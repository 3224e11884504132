#include "storage/SQLiteDatabase.h"
#include "core/VelmoraError.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>

#include <thread>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

class SQLiteDatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    SQLiteDatabase db{(dir / "t.db").string()};

    void SetUp() override { db.execute("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT UNIQUE, data BLOB);"); }

    int64_t count(const std::string& where = "1=1") {
        return std::get<int64_t>(*db.scalar("SELECT COUNT(*) FROM t WHERE " + where + ";"));
    }
};

} // namespace

// Statements are prepared once per text and reused, which must be invisible to callers.
TEST_F(SQLiteDatabaseTest, ValuesStayDistinctAndAReusedStatementForgetsThemAndFollowsTheSchema) {
    const std::string insert = "INSERT INTO t(name, data) VALUES(?, ?);";
    db.execute(insert, {SQLiteValue::null(), SQLiteValue::blob({})});
    db.execute(insert, {"", SQLiteValue::blob({1, 0, 2})});
    db.execute(insert, {"third"}); // the missing value is NULL, never the previous call's
    auto rows = db.query("SELECT name, data FROM t ORDER BY id;");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(sqlite_row::isNull(rows[0], "name"));
    EXPECT_EQ(std::get<Bytes>(rows[0].at("data")), Bytes{});
    EXPECT_EQ(sqlite_row::text(rows[1], "name"), "");
    EXPECT_EQ(std::get<Bytes>(rows[1].at("data")), (Bytes{1, 0, 2}));
    EXPECT_TRUE(sqlite_row::isNull(rows[2], "data"));
    // Only the first statement of a text runs.
    db.execute("INSERT INTO t(name) VALUES('one'); INSERT INTO t(name) VALUES('two');");
    EXPECT_EQ(count(), 4);

    const std::string select = "SELECT * FROM t WHERE id=1;";
    EXPECT_EQ(db.query(select).at(0).size(), 3u);
    db.execute("ALTER TABLE t ADD COLUMN extra TEXT DEFAULT 'x';");
    EXPECT_EQ(sqlite_row::text(db.query(select).at(0), "extra"), "x");
    // A kept statement holds no read snapshot: another connection's write shows at once.
    db.execute("PRAGMA journal_mode=WAL;");
    SQLiteDatabase other{(dir / "t.db").string()};
    other.execute("INSERT INTO t(name) VALUES('other');");
    other.execute("PRAGMA wal_checkpoint(TRUNCATE);");
    EXPECT_EQ(count(), 5);
}

TEST_F(SQLiteDatabaseTest, FailuresCarryTheirMessagesAndLeaveTheConnectionWorking) {
    db.execute("INSERT INTO t(name) VALUES(?);", {"x"});
    // clang-format off
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { db.execute("INSERT INTO t(name) VALUES(?);", {"a", "b"}); }, "SQLite parameter binding failed (25)."},
        {[&] { db.execute("SELEKT 1;"); }, "SQLite prepare failed: "},
        {[&] { db.execute("INSERT INTO t(name) VALUES(?);", {"x"}); },
         "SQLite operation failed: UNIQUE constraint failed: t.name"},
        {[&] { SQLiteDatabase missing((dir / "missing" / "x.db").string()); }, "Could not open Velmora local database: "},
    };
    // clang-format on
    for (const auto& [run, message] : cases)
        EXPECT_THAT(run, ::testing::ThrowsMessage<VelmoraError>(::testing::StartsWith(message)));
    // A failed statement was reset: the connection and the statement's text keep working.
    db.execute("INSERT INTO t(name) VALUES(?);", {"y"});
    EXPECT_EQ(count(), 2);
}

TEST_F(SQLiteDatabaseTest, StatementsAndTransactionsFromManyThreadsNeverInterleave) {
    constexpr int kThreads = 4, kEach = 60;
    db.execute("PRAGMA synchronous=OFF;"); // interleaving is the point here, not the disk's speed
    std::vector<std::thread> threads;
    std::atomic<int> wrongCounts{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                db.execute("INSERT INTO t(name) VALUES(?);", {"t" + std::to_string(t) + "-" + std::to_string(i)});
                if (std::get<int64_t>(*db.scalar("SELECT COUNT(*) FROM t WHERE name LIKE ?;",
                                                 {"t" + std::to_string(t) + "-%"})) != i + 1)
                    ++wrongCounts;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrongCounts.load(), 0);
    EXPECT_EQ(count(), kThreads * kEach);

    // A statement from another thread waits for the transaction instead of joining it, so a
    // rollback (here from a failing statement) can never take someone else's write with it.
    std::thread other;
    EXPECT_THROW(db.transaction([&](const SQLiteDatabase::StatementRunner& run) {
        run("INSERT INTO t(name) VALUES(?);", {"mine"});
        other = std::thread([&] { db.execute("INSERT INTO t(name) VALUES(?);", {"theirs"}); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        run("INSERT INTO t(nope) VALUES(1);", {});
    }),
                 VelmoraError);
    other.join();
    EXPECT_EQ(count("name='mine'"), 0);
    EXPECT_EQ(count("name='theirs'"), 1);
}
