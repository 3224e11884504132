#include "storage/SchemaMigrations.h"

#include "core/VelmoraError.h"
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
