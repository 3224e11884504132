#pragma once

#include "core/VelmoraError.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {

using Bytes = std::vector<uint8_t>;

// A bound parameter. The order of the alternatives is the tag order int, double, text, blob, null.
struct SQLiteNull {
    bool operator==(const SQLiteNull&) const = default;
};

class SQLiteValue {
public:
    using Storage = std::variant<int64_t, double, std::string, Bytes, SQLiteNull>;

    SQLiteValue() : v_(SQLiteNull{}) {}
    static SQLiteValue integer(int64_t v) { return SQLiteValue(Storage(std::in_place_index<0>, v)); }
    static SQLiteValue real(double v) { return SQLiteValue(Storage(std::in_place_index<1>, v)); }
    static SQLiteValue text(std::string v) { return SQLiteValue(Storage(std::in_place_index<2>, std::move(v))); }
    static SQLiteValue blob(Bytes v) { return SQLiteValue(Storage(std::in_place_index<3>, std::move(v))); }
    static SQLiteValue null() { return SQLiteValue(); }

    // Conveniences so call sites read like the SQL they bind.
    SQLiteValue(int64_t v) : v_(std::in_place_index<0>, v) {}
    SQLiteValue(int v) : v_(std::in_place_index<0>, static_cast<int64_t>(v)) {}
    SQLiteValue(double v) : v_(std::in_place_index<1>, v) {}
    SQLiteValue(std::string v) : v_(std::in_place_index<2>, std::move(v)) {}
    SQLiteValue(const char* v) : v_(std::in_place_index<2>, std::string(v)) {}

    const Storage& storage() const { return v_; }

private:
    explicit SQLiteValue(Storage s) : v_(std::move(s)) {}
    Storage v_;
};

// A column value in a result row. SQLiteNull is the distinct "no value" marker:
// an empty text stays an empty text.
using SQLiteField = std::variant<int64_t, double, std::string, Bytes, SQLiteNull>;
using SQLiteRow = std::map<std::string, SQLiteField>;

// Typed readers for row fields; each answers nullopt when the field is missing or of another kind.
namespace sqlite_row {
std::optional<std::string> text(const SQLiteRow& row, const std::string& column);
std::optional<int64_t> integer(const SQLiteRow& row, const std::string& column);
std::optional<double> real(const SQLiteRow& row, const std::string& column);
bool isNull(const SQLiteRow& row, const std::string& column);
} // namespace sqlite_row

// The program's only door to its database file: one serialized connection, and every
// statement runs start to finish (prepare or reuse, bind, step, reset) under one lock, so
// statements from the UI thread and background work never interleave. Outside transaction(),
// each call is one autocommit statement. Calls must not nest.
// The file is not a database or its pages are corrupt (SQLite's NOTADB and CORRUPT results):
// no retry helps, so start-up offers to move the file aside instead of failing each time.
class DatabaseDamagedError : public VelmoraError {
public:
    using VelmoraError::VelmoraError;
};

class SQLiteDatabase {
public:
    explicit SQLiteDatabase(std::string path); // throws VelmoraError "Could not open Velmora local database: ..."
    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase&) = delete;
    SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

    const std::string& path() const { return path_; }

    // Only the first statement of the text runs; anything after its ';' is ignored.
    void execute(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});
    std::vector<SQLiteRow> query(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});
    // First entry of the first row; nullopt when there is no row.
    std::optional<SQLiteField> scalar(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});

    // Rows changed by the last statement on this connection; read it in the same job as the
    // statement through executeReturningChanges, since another thread may run in between.
    int64_t executeReturningChanges(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});
    // Runs an INSERT and returns its rowid, both under the one lock.
    int64_t insertReturningRowId(const std::string& sql, const std::vector<SQLiteValue>& bindings = {});

    // Runs several statements as one transaction while holding the lock, so no other
    // thread's statement can slip into it: all of them take effect or none. The body gets
    // a runner for its statements; an exception from it rolls everything back.
    using StatementRunner = std::function<void(const std::string& sql, const std::vector<SQLiteValue>& bindings)>;
    void transaction(const std::function<void(const StatementRunner& run)>& body);
    // The same all-or-nothing for a few statements, as a savepoint: it nests inside a
    // transaction the caller opened with execute("BEGIN;"), and is its own one outside.
    void savepoint(const std::function<void(const StatementRunner& run)>& body);

private:
    [[noreturn]] void failWith(const std::string& message) const;
    // Holds the lock while the begin statements, the body and the commit ones run; on any
    // failure runs the rollback ones and passes the failure on.
    void atomically(const std::vector<std::string>& begin, const std::vector<std::string>& commit,
                    const std::vector<std::string>& rollback, const std::function<void(const StatementRunner& run)>& body);
    std::vector<SQLiteRow> executeUnlocked(const std::string& sql, const std::vector<SQLiteValue>& bindings,
                                           bool collect);
    int bind(const SQLiteValue& value, sqlite3_stmt* stmt, int index);
    sqlite3_stmt* takeStatement(const std::string& sql);
    void keepStatement(const std::string& sql, sqlite3_stmt* stmt);

    sqlite3* handle_ = nullptr;
    // Prepared statements by text, reset and ready. A sync runs the same upsert thousands of
    // times, and preparing it (with the search-index triggers it fires) costs more than running it.
    std::unordered_map<std::string, sqlite3_stmt*> prepared_;
    std::string path_;
    std::mutex queue_; // stands for the connection's private serial queue
};

} // namespace velmora
