#pragma once

#include <string>

namespace velmora {

class SQLiteDatabase;

// Brings a database file of any older shape up to the one this program writes. The file's
// `PRAGMA user_version` says how many steps it has had; each step runs once, in order, inside
// one transaction with the new version mark, and is written so that running it on a file that
// already has its columns changes nothing.
//
// New columns and their indexes belong in a step here, never in the CREATE TABLE text of the
// base schema: an index on a column that an old file lacks would stop that file from opening.
class SchemaMigrations {
public:
    // The version a fully migrated file carries.
    static int latestVersion();
    static int currentVersion(SQLiteDatabase& db);
    // Runs every step above the file's version. Throws when a step fails; the file then keeps
    // its older version and the step runs again on the next start.
    static void migrate(SQLiteDatabase& db);
    static bool hasColumn(SQLiteDatabase& db, const std::string& table, const std::string& column);
};

} // namespace velmora
