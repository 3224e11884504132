#include "app/AppContext.h"
#include "app/DamagedDatabase.h"
#include "core/DateUtil.h"
#include "storage/SQLiteDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::TempDir;
namespace fs = std::filesystem;

TEST(DamagedDatabase, StartUpNamesItAndMovingItAsideKeepsEveryByteAndStartsFresh) {
    TempDir dir;
    const AppPaths paths(dir.path());
    const std::string garbage(8192, 'x');
    velmora::testing::writeFile(paths.database(), garbage);
    EXPECT_THROW(AppContext::create(paths), DatabaseDamagedError);
    EXPECT_EQ(velmora::testing::readFile(paths.database()), garbage); // the failed start changed nothing
    // A log left by the run that damaged it travels with it.
    velmora::testing::writeFile(paths.database().string() + "-wal", "log");

    const TimePoint now = *DateUtil::parse("2026-12-07T05:10:00Z");
    const fs::path moved = damaged_database::moveAside(paths.database(), now);
    EXPECT_EQ(moved.filename(), "velmora.db.damaged-20261207-051000");
    EXPECT_EQ(velmora::testing::readFile(moved), garbage);
    EXPECT_EQ(velmora::testing::readFile(moved.string() + "-wal"), "log");
    EXPECT_FALSE(fs::exists(paths.database().string() + "-wal"));

    auto ctx = AppContext::create(paths); // a new, empty database
    EXPECT_EQ(ctx->db->getSetting("noSuchKey", "none"), "none");
    ctx->db->setSetting("jobTitle", "fresh");
    ctx.reset();

    // Damaged again within the same second: the first copy is kept, the second gets its own name.
    velmora::testing::writeFile(paths.database(), "second");
    fs::remove(paths.database().string() + "-wal");
    fs::remove(paths.database().string() + "-shm");
    const fs::path again = damaged_database::moveAside(paths.database(), now);
    EXPECT_EQ(again.filename(), "velmora.db.damaged-20261207-051000-2");
    EXPECT_EQ(velmora::testing::readFile(again), "second");
    EXPECT_EQ(velmora::testing::readFile(moved), garbage);
}
