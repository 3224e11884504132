#include "app/AppContext.h"
#include "app/DamagedDatabase.h"
#include "core/DateUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

TEST(DamagedDatabase, StartUpNamesItAndMovingItAsideKeepsEveryByteAndStartsFresh) {
    TempDir dir;
    const AppPaths paths(dir.path());
    const std::string db = paths.database().string(), garbage(8192, 'x');
    writeFile(db, garbage);
    EXPECT_THROW(AppContext::create(paths), DatabaseDamagedError);
    EXPECT_EQ(readFile(db), garbage); // the failed start changed nothing
    writeFile(db + "-wal", "log");   // a log left by the run that damaged it travels with it

    const TimePoint now = *DateUtil::parse("2026-12-07T05:10:00Z");
    const fs::path moved = damaged_database::moveAside(db, now);
    EXPECT_EQ(moved.filename(), "velmora.db.damaged-20261207-051000");
    EXPECT_EQ(readFile(moved), garbage);
    EXPECT_EQ(readFile(moved.string() + "-wal"), "log");
    EXPECT_FALSE(fs::exists(db + "-wal"));
    AppContext::create(paths)->db->setSetting("jobTitle", "fresh"); // a new, empty database

    // Damaged again within the same second: the first copy is kept, the second gets its own name.
    for (const char* journal : {"-wal", "-shm"}) fs::remove(db + journal);
    writeFile(db, "second");
    const fs::path again = damaged_database::moveAside(db, now);
    EXPECT_EQ(again.filename(), "velmora.db.damaged-20261207-051000-2");
    EXPECT_EQ(readFile(again), "second");
    EXPECT_EQ(readFile(moved), garbage);
}
