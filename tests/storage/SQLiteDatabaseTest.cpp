#include "storage/SQLiteDatabase.h"
#include "core/VelmoraError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <thread>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

class SQLiteDatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    SQLiteDatabase db{(dir / "t.db").string()};

    void SetUp() override { db.execute("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, data BLOB);"); }

    int64_t count(const std::string& where = "1=1") {
        return std::get<int64_t>(*db.scalar("SELECT COUNT(*) FROM t WHERE " + where + ";"));
    }

    static std::string errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const VelmoraError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

} // namespace

TEST_F(SQLiteDatabaseTest, NullEmptyTextAndEmptyBlobStayDistinct) {
    db.execute("INSERT INTO t(name, data) VALUES(?, ?);", {SQLiteValue::null(), SQLiteValue::blob({})});
    db.execute("INSERT INTO t(name, data) VALUES(?, ?);", {"", SQLiteValue::blob({1, 0, 2})});
    auto rows = db.query("SELECT name, data FROM t ORDER BY id;");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<SQLiteNull>(rows[0].at("name")));
    EXPECT_EQ(std::get<Bytes>(rows[0].at("data")), Bytes{});
    EXPECT_EQ(std::get<std::string>(rows[1].at("name")), "");
    EXPECT_EQ(std::get<Bytes>(rows[1].at("data")), (Bytes{1, 0, 2}));
    EXPECT_EQ(*db.scalar("SELECT typeof(data) FROM t WHERE id=1;"), SQLiteField(std::string("blob")));
    EXPECT_FALSE(db.scalar("SELECT name FROM t WHERE id=42;").has_value());
    EXPECT_EQ(db.insertReturningRowId("INSERT INTO t(name) VALUES('r');"), 3);
    EXPECT_EQ(db.executeReturningChanges("UPDATE t SET name='s';"), 3);
    // Only the first statement of a text runs.
    db.execute("INSERT INTO t(name) VALUES('one'); INSERT INTO t(name) VALUES('two');");
    EXPECT_EQ(count(), 4);
}

TEST_F(SQLiteDatabaseTest, BindingFailuresAndBadSqlCarryTheirMessages) {
    EXPECT_EQ(errorOf([&] {
                  db.execute("INSERT INTO t(name) VALUES(?);", {"a", "b"});
              }),
              "SQLite parameter binding failed (25).");
    EXPECT_EQ(errorOf([&] { db.execute("SELEKT 1;"); }).rfind("SQLite prepare failed: ", 0), 0u);
    db.execute("CREATE TABLE u (v TEXT UNIQUE);");
    db.execute("INSERT INTO u VALUES(?);", {"x"});
    EXPECT_EQ(errorOf([&] { db.execute("INSERT INTO u VALUES(?);", {"x"}); }),
              "SQLite operation failed: UNIQUE constraint failed: u.v");
    // A failed statement was reset: the connection and the statement's text keep working.
    db.execute("INSERT INTO u VALUES(?);", {"y"});
    db.execute("INSERT INTO t(name) VALUES(?);", {"ok"});
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(std::get<int64_t>(*db.scalar("SELECT COUNT(*) FROM u;")), 2);

    try {
        SQLiteDatabase missing((dir / "missing" / "x.db").string());
        ADD_FAILURE() << "opened a file in a missing folder";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Could not open Velmora local database: ", 0), 0u) << e.what();
    }
}

TEST_F(SQLiteDatabaseTest, StatementsFromManyThreadsNeverInterleave) {
    constexpr int kThreads = 4, kEach = 60;
    db.execute("PRAGMA synchronous=OFF;"); // interleaving is the point here, not the disk's speed
    std::vector<std::thread> threads;
    std::atomic<int> wrongCounts{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string name = "t" + std::to_string(t);
            for (int i = 0; i < kEach; ++i) {
                db.execute("INSERT INTO t(name) VALUES(?);", {name});
                auto rows = db.query("SELECT COUNT(*) AS n FROM t WHERE name=?;", {name});
                if (rows.size() != 1 || std::get<int64_t>(rows[0].at("n")) != i + 1) ++wrongCounts;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrongCounts.load(), 0);
    EXPECT_EQ(count(), kThreads * kEach);
}

TEST_F(SQLiteDatabaseTest, ATransactionIsAllOrNothingAndKeepsOtherThreadsOut) {
    db.transaction([](const SQLiteDatabase::StatementRunner& run) {
        run("INSERT INTO t(name) VALUES(?);", {"a"});
        run("INSERT INTO t(name) VALUES(?);", {"b"});
    });
    EXPECT_EQ(count(), 2);
    EXPECT_THROW(db.transaction([](const SQLiteDatabase::StatementRunner& run) {
        run("INSERT INTO t(name) VALUES(?);", {"c"});
        run("INSERT INTO t(nope) VALUES(1);", {});
    }),
                 VelmoraError);
    EXPECT_EQ(count(), 2); // "c" rolled back

    // A statement from another thread waits for the transaction instead of joining it,
    // so a rollback can never take someone else's write with it.
    std::thread other;
    EXPECT_THROW(db.transaction([&](const SQLiteDatabase::StatementRunner& run) {
        run("INSERT INTO t(name) VALUES(?);", {"mine"});
        other = std::thread([&] { db.execute("INSERT INTO t(name) VALUES(?);", {"theirs"}); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        throw VelmoraError("rolled back");
    }),
                 VelmoraError);
    other.join();
    EXPECT_EQ(count("name='mine'"), 0);
    EXPECT_EQ(count("name='theirs'"), 1);
}

// Statements are prepared once per text and reused, which must be invisible to callers.
TEST_F(SQLiteDatabaseTest, AReusedStatementForgetsItsValuesAndFollowsTheSchema) {
    const std::string insert = "INSERT INTO t(name, data) VALUES(?, ?);";
    db.execute(insert, {"first", SQLiteValue::blob({7})});
    db.execute(insert, {"second"}); // the missing value is NULL, never the previous call's
    EXPECT_TRUE(sqlite_row::isNull(db.query("SELECT data FROM t WHERE name='second';").at(0), "data"));

    const std::string select = "SELECT * FROM t WHERE id=1;";
    EXPECT_EQ(db.query(select).at(0).size(), 3u);
    db.execute("ALTER TABLE t ADD COLUMN extra TEXT DEFAULT 'x';");
    EXPECT_EQ(sqlite_row::text(db.query(select).at(0), "extra"), "x");

    // A kept statement holds no read snapshot: another connection's write shows at once.
    db.execute("PRAGMA journal_mode=WAL;");
    EXPECT_EQ(count(), 2);
    SQLiteDatabase other{(dir / "t.db").string()};
    other.execute("INSERT INTO t(name) VALUES('third');");
    other.execute("PRAGMA wal_checkpoint(TRUNCATE);");
    EXPECT_EQ(count(), 3);
}
