#include "storage/SchemaMigrations.h"

#include "core/VelmoraError.h"
#include "storage/JobSearchIndex.h"
#include "storage/SQLiteDatabase.h"

#include <functional>
#include <vector>

namespace velmora {

namespace {

using Runner = SQLiteDatabase::StatementRunner;

struct Step {
    int version;
    // Reads what it needs first (outside the transaction), then returns the statements to run.
    std::function<std::vector<std::string>(SQLiteDatabase&)> plan;
};

std::vector<std::string> addMissingColumns(SQLiteDatabase& db, const std::string& table,
                                           const std::vector<std::pair<std::string, std::string>>& columns) {
    std::vector<std::string> statements;
    for (const auto& [column, definition] : columns) {
        if (!SchemaMigrations::hasColumn(db, table, column)) {
            statements.push_back("ALTER TABLE " + table + " ADD COLUMN " + column + " " + definition + ";");
        }
    }
    return statements;
}

const std::vector<Step>& steps() {
    static const std::vector<Step> all = {
        // 1: listings stored before links were rated and tagged.
        {1,
         [](SQLiteDatabase& db) {
             return addMissingColumns(db, "jobs",
                                      {{"security_score", "INTEGER NOT NULL DEFAULT 0"},
                                       {"security_label", "TEXT NOT NULL DEFAULT 'Unchecked'"},
                                       {"tags", "TEXT NOT NULL DEFAULT ''"}});
         }},
        // 2: the tracker's dates and stage history; older rows read as "not known".
        {2,
         [](SQLiteDatabase& db) {
             return addMissingColumns(db, "applications",
                                      {{"applied_at", "TEXT NOT NULL DEFAULT ''"},
                                       {"status_changed_at", "TEXT NOT NULL DEFAULT ''"},
                                       {"follow_up_at", "TEXT NOT NULL DEFAULT ''"},
                                       {"history", "TEXT NOT NULL DEFAULT '[]'"}});
         }},
        // 3: triage. Marks and saved searches live in tables of their own, keyed by link and
        // id, so a re-sync or the expiry of a listing never touches them. Listings gain the
        // key that finds one posting on several boards, and their stored match to the user.
        {3,
         [](SQLiteDatabase& db) {
             auto statements = addMissingColumns(db, "jobs",
                                                 {{"dedupe_key", "TEXT NULL"},
                                                  {"match_keywords", "TEXT NULL"},
                                                  {"match_score", "INTEGER NOT NULL DEFAULT 0"},
                                                  {"match_stale", "INTEGER NOT NULL DEFAULT 1"}});
             for (const char* sql : {
                      "CREATE TABLE IF NOT EXISTS job_marks (url TEXT PRIMARY KEY, mark TEXT NOT NULL "
                      "CHECK (mark IN ('saved','hidden')), marked_at TEXT NOT NULL);",
                      "CREATE TABLE IF NOT EXISTS saved_searches (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                      "name TEXT NOT NULL, query TEXT NOT NULL DEFAULT '', category TEXT NOT NULL DEFAULT 'All', "
                      "source TEXT NOT NULL DEFAULT '', posted_within_days INTEGER NOT NULL DEFAULT 0, "
                      "job_type TEXT NOT NULL DEFAULT '', created_at TEXT NOT NULL, last_opened_at TEXT NOT NULL);",
                      "CREATE INDEX IF NOT EXISTS jobs_posting ON jobs(dedupe_key,id);",
                      "CREATE INDEX IF NOT EXISTS jobs_match_order ON jobs(match_score DESC,"
                      "COALESCE(published_at,added_at) DESC,id DESC,expires_at,category,location);",
                      "CREATE INDEX IF NOT EXISTS jobs_match_stale ON jobs(id) WHERE match_stale=1;",
                  })
                 statements.push_back(sql);
             return statements;
         }},
        // 4: the search index holds one document per stored batch instead of one per listing,
        // which made it most of the cost of a sync. Built from the stored rows.
        {4,
         [](SQLiteDatabase& db) {
             // Without FTS5 no earlier index can exist either; searches then scan.
             if (!JobSearchIndex::supported(db)) return std::vector<std::string>{};
             return JobSearchIndex::createStatements();
         }},
    };
    return all;
}

} // namespace

int SchemaMigrations::latestVersion() {
    return steps().empty() ? 0 : steps().back().version;
}

int SchemaMigrations::currentVersion(SQLiteDatabase& db) {
    auto v = db.scalar("PRAGMA user_version;");
    if (v && std::holds_alternative<int64_t>(*v)) return static_cast<int>(std::get<int64_t>(*v));
    return 0;
}

bool SchemaMigrations::hasColumn(SQLiteDatabase& db, const std::string& table, const std::string& column) {
    for (const auto& row : db.query("SELECT name FROM pragma_table_info(?);", {SQLiteValue::text(table)})) {
        if (sqlite_row::text(row, "name") == column) return true;
    }
    return false;
}

void SchemaMigrations::migrate(SQLiteDatabase& db) {
    const int from = currentVersion(db);
    for (const auto& step : steps()) {
        if (step.version <= from) continue;
        auto statements = step.plan(db);
        statements.push_back("PRAGMA user_version=" + std::to_string(step.version) + ";");
        db.transaction([&](const Runner& run) {
            for (const auto& sql : statements) run(sql, {});
        });
    }
}

} // namespace velmora
