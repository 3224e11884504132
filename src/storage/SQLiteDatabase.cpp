#include "storage/SQLiteDatabase.h"

#include "core/VelmoraError.h"

#include <memory>
#include <sqlite3.h>

namespace velmora {

namespace sqlite_row {
std::optional<std::string> text(const SQLiteRow& row, const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return std::nullopt;
    if (const auto* s = std::get_if<std::string>(&it->second)) return *s;
    return std::nullopt;
}
std::optional<int64_t> integer(const SQLiteRow& row, const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return std::nullopt;
    if (const auto* v = std::get_if<int64_t>(&it->second)) return *v;
    return std::nullopt;
}
std::optional<double> real(const SQLiteRow& row, const std::string& column) {
    auto it = row.find(column);
    if (it == row.end()) return std::nullopt;
    if (const auto* v = std::get_if<double>(&it->second)) return *v;
    if (const auto* v = std::get_if<int64_t>(&it->second)) return static_cast<double>(*v);
    return std::nullopt;
}
bool isNull(const SQLiteRow& row, const std::string& column) {
    auto it = row.find(column);
    return it == row.end() || std::holds_alternative<SQLiteNull>(it->second);
}
} // namespace sqlite_row

namespace {

struct StatementCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

SQLiteField readColumn(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return static_cast<int64_t>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, i);
    case SQLITE_TEXT: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        if (!p) return SQLiteNull{};
        return std::string(p);
    }
    case SQLITE_BLOB: {
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, i));
        int n = sqlite3_column_bytes(stmt, i);
        if (!p || n <= 0) return Bytes{};
        return Bytes(p, p + n);
    }
    default:
        return SQLiteNull{};
    }
}

} // namespace

SQLiteDatabase::SQLiteDatabase(std::string path) : path_(std::move(path)) {
    sqlite3* db = nullptr;
    // Every use of the connection holds queue_, so SQLite's own mutex would only be taken a
    // second time on every call: about a tenth of the cost of storing a sync's listings.
    int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string message = "unknown SQLite error";
        if (db) {
            message = sqlite3_errmsg(db);
            sqlite3_close(db);
        }
        throw VelmoraError("Could not open Velmora local database: " + message);
    }
    handle_ = db;
    sqlite3_busy_timeout(handle_, 5000);
}

SQLiteDatabase::~SQLiteDatabase() {
    for (auto& [sql, stmt] : prepared_) sqlite3_finalize(stmt);
    if (handle_) sqlite3_close_v2(handle_);
}

namespace {
// Search builds its statement text from the filters, so the kept set is bounded.
constexpr size_t kMaxPreparedStatements = 64;
} // namespace

void SQLiteDatabase::failWith(const std::string& message) const {
    const int code = sqlite3_errcode(handle_) & 0xff;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) throw DatabaseDamagedError(message);
    throw VelmoraError(message);
}

sqlite3_stmt* SQLiteDatabase::takeStatement(const std::string& sql) {
    // Taken out while it runs, so a nested use of the same text can never share its state.
    if (auto it = prepared_.find(sql); it != prepared_.end()) {
        sqlite3_stmt* stmt = it->second;
        prepared_.erase(it);
        return stmt;
    }
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(handle_, sql.c_str(), -1, &raw, nullptr);
    if (rc != SQLITE_OK || !raw) {
        if (raw) sqlite3_finalize(raw);
        failWith(std::string("SQLite prepare failed: ") + sqlite3_errmsg(handle_));
    }
    return raw;
}

void SQLiteDatabase::keepStatement(const std::string& sql, sqlite3_stmt* stmt) {
    // Reset releases the statement's read transaction; clearing drops copies of bound values.
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (prepared_.size() >= kMaxPreparedStatements) {
        auto victim = prepared_.begin();
        sqlite3_finalize(victim->second);
        prepared_.erase(victim);
    }
    if (!prepared_.emplace(sql, stmt).second) sqlite3_finalize(stmt);
}

void SQLiteDatabase::execute(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    std::lock_guard lock(queue_);
    executeUnlocked(sql, bindings, false);
}

std::vector<SQLiteRow> SQLiteDatabase::query(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    std::lock_guard lock(queue_);
    return executeUnlocked(sql, bindings, true);
}

std::optional<SQLiteField> SQLiteDatabase::scalar(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    auto rows = query(sql, bindings);
    if (rows.empty() || rows.front().empty()) return std::nullopt;
    return rows.front().begin()->second;
}

int64_t SQLiteDatabase::executeReturningChanges(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    std::lock_guard lock(queue_);
    executeUnlocked(sql, bindings, false);
    return sqlite3_changes64(handle_);
}

int64_t SQLiteDatabase::insertReturningRowId(const std::string& sql, const std::vector<SQLiteValue>& bindings) {
    std::lock_guard lock(queue_);
    executeUnlocked(sql, bindings, false);
    return sqlite3_last_insert_rowid(handle_);
}

void SQLiteDatabase::transaction(const std::function<void(const StatementRunner& run)>& body) {
    atomically({"BEGIN IMMEDIATE;"}, {"COMMIT;"}, {"ROLLBACK;"}, body);
}

void SQLiteDatabase::savepoint(const std::function<void(const StatementRunner& run)>& body) {
    atomically({"SAVEPOINT velmora_step;"}, {"RELEASE velmora_step;"},
               {"ROLLBACK TO velmora_step;", "RELEASE velmora_step;"}, body);
}

void SQLiteDatabase::atomically(const std::vector<std::string>& begin, const std::vector<std::string>& commit,
                                const std::vector<std::string>& rollback,
                                const std::function<void(const StatementRunner& run)>& body) {
    std::lock_guard lock(queue_);
    for (const auto& sql : begin) executeUnlocked(sql, {}, false);
    try {
        body([this](const std::string& sql, const std::vector<SQLiteValue>& bindings) {
            executeUnlocked(sql, bindings, false);
        });
        for (const auto& sql : commit) executeUnlocked(sql, {}, false);
    } catch (...) {
        try {
            for (const auto& sql : rollback) executeUnlocked(sql, {}, false);
        } catch (const std::exception&) {
            // SQLite may have rolled back already (for example after a full disk).
        }
        throw;
    }
}

int SQLiteDatabase::bind(const SQLiteValue& value, sqlite3_stmt* stmt, int index) {
    return std::visit(
        [&](const auto& v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int64_t>) {
                return sqlite3_bind_int64(stmt, index, v);
            } else if constexpr (std::is_same_v<T, double>) {
                return sqlite3_bind_double(stmt, index, v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                // Length -1: SQLite reads up to the first NUL, as text always has been bound here.
                return sqlite3_bind_text(stmt, index, v.c_str(), -1, SQLITE_TRANSIENT);
            } else if constexpr (std::is_same_v<T, Bytes>) {
                if (v.empty()) return sqlite3_bind_zeroblob(stmt, index, 0);
                return sqlite3_bind_blob64(stmt, index, v.data(), v.size(), SQLITE_TRANSIENT);
            } else {
                return sqlite3_bind_null(stmt, index);
            }
        },
        value.storage());
}

std::vector<SQLiteRow> SQLiteDatabase::executeUnlocked(const std::string& sql,
                                                       const std::vector<SQLiteValue>& bindings, bool collect) {
    if (!handle_) throw VelmoraError("Database is not open.");
    // A statement that fails is finalized, not kept: whatever went wrong stays with it.
    Statement stmt(takeStatement(sql));
    int rc = SQLITE_OK;
    int index = 1;
    for (const auto& value : bindings) {
        int brc = bind(value, stmt.get(), index++);
        if (brc != SQLITE_OK) throw VelmoraError("SQLite parameter binding failed (" + std::to_string(brc) + ").");
    }
    std::vector<SQLiteRow> rows;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        if (!collect) continue;
        SQLiteRow row;
        const int n = sqlite3_column_count(stmt.get());
        for (int i = 0; i < n; ++i) {
            const char* name = sqlite3_column_name(stmt.get(), i);
            row[name ? name : ""] = readColumn(stmt.get(), i);
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) failWith(std::string("SQLite operation failed: ") + sqlite3_errmsg(handle_));
    keepStatement(sql, stmt.release());
    return rows;
}

} // namespace velmora
