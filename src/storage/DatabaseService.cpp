#include "storage/DatabaseService.h"

#include "core/Text.h"
#include "storage/SchemaMigrations.h"

#include <utility>

namespace velmora {

const char* const DatabaseService::kDefaultOllamaUrl = "http://127.0.0.1:11434";

namespace {

const char* const kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS jobs (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    external_id TEXT NOT NULL,
    source TEXT NOT NULL,
    title TEXT NOT NULL,
    company TEXT NOT NULL,
    category TEXT NOT NULL,
    location TEXT NOT NULL,
    description TEXT NOT NULL,
    url TEXT NOT NULL UNIQUE,
    published_at TEXT NULL,
    added_at TEXT NOT NULL,
    last_seen_at TEXT NOT NULL,
    expires_at TEXT NOT NULL,
    security_score INTEGER NOT NULL DEFAULT 0,
    security_label TEXT NOT NULL DEFAULT 'Unchecked',
    tags TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS idx_jobs_category ON jobs(category);
CREATE INDEX IF NOT EXISTS idx_jobs_added ON jobs(added_at DESC);
CREATE INDEX IF NOT EXISTS idx_jobs_expires ON jobs(expires_at);
CREATE INDEX IF NOT EXISTS idx_jobs_title ON jobs(title);
CREATE INDEX IF NOT EXISTS idx_jobs_company ON jobs(company);
CREATE TABLE IF NOT EXISTS applications (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    job_id INTEGER NULL,
    title TEXT NOT NULL,
    company TEXT NOT NULL,
    url TEXT NOT NULL UNIQUE,
    first_opened_at TEXT NOT NULL,
    last_opened_at TEXT NOT NULL,
    status TEXT NOT NULL DEFAULT 'Opened',
    notes TEXT NOT NULL DEFAULT '',
    FOREIGN KEY(job_id) REFERENCES jobs(id) ON DELETE SET NULL
);
CREATE INDEX IF NOT EXISTS idx_apps_status ON applications(status);
CREATE INDEX IF NOT EXISTS idx_apps_last_opened ON applications(last_opened_at DESC);
CREATE TABLE IF NOT EXISTS settings (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS resumes (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL,
    original_path TEXT NOT NULL,
    extracted_text TEXT NOT NULL,
    analysis_json TEXT NOT NULL DEFAULT '',
    created_at TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS application_profile (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    profile_cipher TEXT NOT NULL,
    updated_at TEXT NOT NULL
);
)SQL";

} // namespace

DatabaseService::DatabaseService(std::shared_ptr<SQLiteDatabase> db, std::shared_ptr<const Clock> clock)
    : db_(std::move(db)), clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()) {}

void DatabaseService::initialize() {
    db_->execute("PRAGMA journal_mode=WAL;");
    db_->execute("PRAGMA foreign_keys=ON;");
    db_->execute("PRAGMA synchronous=NORMAL;");
    db_->execute("PRAGMA temp_store=MEMORY;");

    // The access layer runs only the first statement of a text, so the schema goes piece by piece.
    for (const auto& piece : text::split(kSchema, ';')) {
        if (text::trim(piece).empty()) continue;
        db_->execute(piece + ";");
    }
    SchemaMigrations::migrate(*db_);

    const std::pair<const char*, const char*> defaults[] = {
        {"searchIntervalHours", "24"}, {"jobTitle", ""},          {"keywords", ""},
        {"location", "Remote"},        {"locationMode", "worldwide"}, {"homeCountryCode", ""},
        {"homeCountryName", ""},       {"language", "en"},        {"ollamaUrl", kDefaultOllamaUrl},
        {"ollamaModel", "llama3.2:3b"}, {"lastJobSync", ""},
    };
    for (const auto& [key, value] : defaults) {
        db_->execute("INSERT OR IGNORE INTO settings(key,value) VALUES(?,?);",
                     {SQLiteValue::text(key), SQLiteValue::text(value)});
    }

    const char* const cleanups[] = {
        "UPDATE settings SET value='24' WHERE key='searchIntervalHours' AND value NOT IN ('1','6','12','24');",
        "DELETE FROM settings WHERE key='autoSearchEnabled';",
        "UPDATE settings SET value='worldwide' WHERE key='locationMode' AND value NOT IN ('worldwide','us','home');",
        "UPDATE settings SET value='en' WHERE key='language' AND value NOT IN ('en','es','fr','de','it','pt');",
        "DROP TABLE IF EXISTS passwords;",
    };
    for (const char* sql : cleanups) {
        try {
            db_->execute(sql);
        } catch (const std::exception&) {
            // A failed clean-up leaves an older value in place; the readers validate again.
        }
    }

    initializeJobSearch();
    try {
        fillDedupeKeys();
    } catch (const std::exception&) {
        // Listings without a key are simply never merged; the next start tries again.
    }
}

std::string DatabaseService::getSetting(const std::string& key, const std::string& fallback) const {
    try {
        auto rows = db_->query("SELECT value FROM settings WHERE key=? LIMIT 1;", {SQLiteValue::text(key)});
        if (rows.empty()) return fallback;
        if (auto v = sqlite_row::text(rows.front(), "value")) return *v;
        return fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

void DatabaseService::setSetting(const std::string& key, const std::string& value) {
    db_->execute(kSetSettingSql, {SQLiteValue::text(key), SQLiteValue::text(value)});
}

} // namespace velmora
