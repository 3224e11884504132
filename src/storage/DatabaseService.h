#pragma once

#include "storage/SQLiteDatabase.h"

#include <memory>
#include <string>

namespace velmora {

// The domain layer over the one shared connection: schema set-up, settings, and the job,
// application and resume queries. Reads for display swallow failures and fall back;
// writes report them.
class DatabaseService {
public:
    explicit DatabaseService(std::shared_ptr<SQLiteDatabase> db);

    SQLiteDatabase& db() const { return *db_; }
    std::shared_ptr<SQLiteDatabase> sharedDb() const { return db_; }

    // Brings any database file (new, or from an earlier version) to the current schema and
    // settings. Idempotent.
    void initialize();

    // Never fails: a missing key, a non-text value or a failing query gives the fallback.
    std::string getSetting(const std::string& key, const std::string& fallback) const;
    void setSetting(const std::string& key, const std::string& value);

    static const char* const kDefaultOllamaUrl;

private:
    std::shared_ptr<SQLiteDatabase> db_;
};

} // namespace velmora
