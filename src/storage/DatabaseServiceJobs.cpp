// The job and resume operations of DatabaseService.
#include "storage/DatabaseService.h"

#include "core/DateUtil.h"
#include "core/Log.h"
#include "core/Text.h"
#include "core/CountryLocationService.h"
#include "core/IncomingJob.h"
#include "core/SecurityAssessment.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <set>

namespace velmora {

namespace {

using nlohmann::json;

constexpr std::chrono::seconds kListingLifetime{90LL * 24 * 60 * 60};
constexpr std::chrono::seconds kRecentWindow{604800};
constexpr int64_t kMaxPageSize = 500;

// A text column that holds anything but text reads as the empty text.
std::string textOf(const SQLiteRow& row, const std::string& column) {
    return sqlite_row::text(row, column).value_or("");
}

int64_t integerOf(const SQLiteRow& row, const std::string& column) {
    return sqlite_row::integer(row, column).value_or(0);
}

json textOrNull(const SQLiteRow& row, const std::string& column) {
    if (sqlite_row::isNull(row, column)) return nullptr;
    return textOf(row, column);
}

std::string textOr(const SQLiteRow& row, const std::string& column, const char* fallback) {
    auto value = sqlite_row::text(row, column);
    if (!value || value->empty()) return fallback;
    return *value;
}

json jobObject(const SQLiteRow& row) {
    return json{
        {"id", integerOf(row, "id")},
        {"externalId", textOf(row, "external_id")},
        {"source", textOf(row, "source")},
        {"title", textOf(row, "title")},
        {"company", textOf(row, "company")},
        {"category", textOf(row, "category")},
        {"location", textOf(row, "location")},
        {"description", textOf(row, "description")},
        {"url", textOf(row, "url")},
        {"publishedAt", textOrNull(row, "published_at")},
        {"addedAt", textOf(row, "added_at")},
        {"expiresAt", textOf(row, "expires_at")},
        {"securityScore", integerOf(row, "security_score")},
        {"securityLabel", textOr(row, "security_label", "Unchecked")},
        {"tags", textOf(row, "tags")},
    };
}

std::string joinTags(const std::vector<std::string>& tags) {
    std::vector<std::string> kept;
    for (const auto& tag : tags)
        if (!tag.empty()) kept.push_back(tag);
    return text::join(kept, ", ");
}

void append(std::vector<SQLiteValue>& to, const std::vector<SQLiteValue>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// Search-as-you-type must stay fast with tens of thousands of stored listings, while giving
// exactly the rows and order of the plain LIKE scan over five text columns. Three things do it:
//  - indexes whose columns answer the filters (expiry, category, location) and the ordering
//    without reading the row, whose long description sits before those columns on disk;
//  - an FTS5 trigram index over the five searched columns, used only as a pre-filter: a row
//    can match `LIKE '%phrase%'` only if it holds every three-character piece of the phrase's
//    literal runs, so the index yields a superset of candidates and the exact LIKE condition
//    still decides. The trigram tokenizer folds case more widely than LIKE does (beyond ASCII),
//    which only widens the superset.
//  - triggers that keep the trigram index in step with every writer of `jobs`.
// Listings with the same time are ordered newest-stored first (id DESC), so that paging and the
// two query forms can never disagree about rows that tie.
// detail=none keeps the index small (rowids only); it cannot answer phrases, so the filter is
// an AND of single trigrams.
const char* const kSearchSchema[] = {
    "CREATE INDEX IF NOT EXISTS search_jobs_recency ON jobs(COALESCE(published_at,added_at) DESC,id DESC,"
    "expires_at,category,location);",
    "CREATE INDEX IF NOT EXISTS search_jobs_category_recency ON jobs(category,COALESCE(published_at,added_at) DESC,"
    "id DESC,expires_at,location);",
    "CREATE INDEX IF NOT EXISTS search_jobs_counts ON jobs(expires_at,location,security_score,added_at);",
};

const char* const kTrigramSchema[] = {
    "CREATE VIRTUAL TABLE jobs_search USING fts5(title,company,description,tags,location,content='jobs',"
    "content_rowid='id',tokenize='trigram',detail='none');",
    "CREATE TRIGGER jobs_search_insert AFTER INSERT ON jobs BEGIN "
    "INSERT INTO jobs_search(rowid,title,company,description,tags,location) "
    "VALUES(new.id,new.title,new.company,new.description,new.tags,new.location); END;",
    "CREATE TRIGGER jobs_search_delete AFTER DELETE ON jobs BEGIN "
    "INSERT INTO jobs_search(jobs_search,rowid,title,company,description,tags,location) "
    "VALUES('delete',old.id,old.title,old.company,old.description,old.tags,old.location); END;",
    // A sync stores every listing it sees again; unchanged texts need no re-indexing.
    "CREATE TRIGGER jobs_search_update AFTER UPDATE ON jobs WHEN old.id IS NOT new.id OR "
    "old.title IS NOT new.title OR old.company IS NOT new.company OR old.description IS NOT new.description OR "
    "old.tags IS NOT new.tags OR old.location IS NOT new.location BEGIN "
    "INSERT INTO jobs_search(jobs_search,rowid,title,company,description,tags,location) "
    "VALUES('delete',old.id,old.title,old.company,old.description,old.tags,old.location); "
    "INSERT INTO jobs_search(rowid,title,company,description,tags,location) "
    "VALUES(new.id,new.title,new.company,new.description,new.tags,new.location); END;",
    // Databases written before the index existed (or restored without it) get it from their rows.
    "INSERT INTO jobs_search(jobs_search) VALUES('rebuild');",
};

// Enough trigrams to narrow a search to a handful of rows; more only cost time.
constexpr size_t kMaxTrigrams = 12;

// The FTS5 expression for a LIKE phrase, or nullopt when no literal run is long enough to
// narrow anything (the plain scan then runs alone).
std::optional<std::string> trigramFilter(std::string phrase) {
    // A bound text ends at its first NUL, so the LIKE pattern does too.
    if (auto nul = phrase.find('\0'); nul != std::string::npos) phrase.resize(nul);
    if (!text::isValidUtf8(phrase)) return std::nullopt;
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(phrase);

    std::vector<std::string> terms;
    std::set<std::string> seen;
    std::vector<UChar32> run;
    auto flush = [&] {
        // Trigrams that tile the run (plus the last one) narrow as well as all overlapping
        // ones do, at a third of the index reads.
        std::vector<size_t> starts;
        for (size_t i = 0; i + 3 <= run.size(); i += 3) starts.push_back(i);
        if (run.size() >= 3 && run.size() % 3 != 0) starts.push_back(run.size() - 3);
        for (size_t i : starts) {
            if (terms.size() >= kMaxTrigrams) break;
            icu::UnicodeString tri;
            for (size_t k = 0; k < 3; ++k) tri.append(run[i + k]);
            std::string utf8;
            tri.toUTF8String(utf8);
            if (!seen.insert(utf8).second) continue;
            terms.push_back("\"" + text::replaceAll(utf8, "\"", "\"\"") + "\"");
        }
        run.clear();
    };
    for (int32_t i = 0; i < u.length(); i = u.moveIndex32(i, 1)) {
        const UChar32 c = u.char32At(i);
        if (c == '%' || c == '_') {
            flush();
        } else {
            run.push_back(c);
        }
    }
    flush();
    if (terms.empty()) return std::nullopt;
    return text::join(terms, " AND ");
}

} // namespace

std::string DatabaseService::nowText() const { return DateUtil::withFractional(clock_->now()); }

void DatabaseService::initializeJobSearch() {
    for (const char* sql : kSearchSchema) {
        try {
            db_->execute(sql);
        } catch (const std::exception& e) {
            logLine("Velmora job search index error: " + std::string(e.what()));
        }
    }

    searchIndexReady_ = false;
    try {
        auto present = db_->scalar("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('jobs_search',"
                                   "'jobs_search_insert','jobs_search_delete','jobs_search_update');");
        if (present && std::get_if<int64_t>(&*present) && std::get<int64_t>(*present) == 4) {
            searchIndexReady_ = true;
            return;
        }
    } catch (const std::exception&) {
        return;
    }

    // Built in one transaction, so an interrupted start leaves no half-filled index behind
    // (the next start builds it again). Start-up runs this before anything else uses the
    // connection.
    try {
        db_->execute("BEGIN IMMEDIATE;");
        try {
            for (const char* drop : {"DROP TRIGGER IF EXISTS jobs_search_insert;",
                                     "DROP TRIGGER IF EXISTS jobs_search_delete;",
                                     "DROP TRIGGER IF EXISTS jobs_search_update;", "DROP TABLE IF EXISTS jobs_search;"})
                db_->execute(drop);
            for (const char* sql : kTrigramSchema) db_->execute(sql);
            db_->execute("COMMIT;");
            searchIndexReady_ = true;
        } catch (const std::exception&) {
            db_->execute("ROLLBACK;");
            throw;
        }
    } catch (const std::exception& e) {
        // Without the index every search is the plain scan: slower, never different.
        logLine("Velmora job search index error: " + std::string(e.what()));
    }
}

int64_t DatabaseService::scalarInt(const std::string& sql, const std::vector<SQLiteValue>& bindings) const {
    auto value = db_->scalar(sql, bindings);
    if (!value) return 0;
    if (const auto* i = std::get_if<int64_t>(&*value)) return *i;
    if (const auto* s = std::get_if<std::string>(&*value)) {
        int64_t parsed = 0;
        const char* begin = s->data();
        const char* end = s->data() + s->size();
        if (begin != end && *begin == '+') ++begin;
        auto [ptr, ec] = std::from_chars(begin, end, parsed);
        if (ec == std::errc() && ptr == end && begin != end) return parsed;
    }
    return 0;
}

DatabaseService::Condition DatabaseService::locationClause(const std::string& column) const {
    const std::string mode = CountryLocationService::normalizeMode(getSetting("locationMode", "worldwide"));
    if (mode == "worldwide") return {"1=1", {}};
    std::string code = "US";
    std::string name = "United States";
    if (mode == "home") {
        code = getSetting("homeCountryCode", "");
        name = getSetting("homeCountryName", "");
    }
    const auto terms = CountryLocationService::buildLocationTerms(code, name);
    if (terms.empty()) return {"1=0", {}};
    Condition condition;
    std::vector<std::string> pieces;
    for (const auto& term : terms) {
        pieces.push_back("LOWER(" + column + ") LIKE ?");
        condition.bindings.push_back(SQLiteValue::text("%" + text::lower(term) + "%"));
    }
    condition.sql = "(" + text::join(pieces, " OR ") + ")";
    return condition;
}

DatabaseService::Condition DatabaseService::locationSetClause() const {
    // Listings share a few hundred location texts, so matching each distinct text once (the
    // grouped subquery runs once per statement) beats matching dozens of patterns per row.
    // The condition depends on the location alone, so the rows are exactly those of the
    // per-row form, NULL locations excluded by both. Within a group MAX(location) is the
    // location; naming an aggregate keeps SQLite from moving the test back to every row.
    Condition condition = locationClause("MAX(location)");
    if (condition.bindings.empty()) return condition;
    condition.sql = "location IN (SELECT location FROM jobs GROUP BY location HAVING " + condition.sql + ")";
    return condition;
}

json DatabaseService::getJobs(const std::string& category, const std::string& query, int64_t limit,
                              int64_t offset) const {
    try {
        const std::string phrase = text::trim(query);
        const auto location = locationClause();
        std::optional<std::string> categoryFilter;
        if (!category.empty() && text::lower(category) != "all") categoryFilter = category;
        std::optional<std::string> prefilter;
        if (!phrase.empty() && searchIndexReady_) prefilter = trigramFilter(phrase);
        std::vector<std::string> searchConditions;
        std::vector<SQLiteValue> searchBindings;
        if (!phrase.empty()) {
            searchConditions.push_back(
                "(title LIKE ? OR company LIKE ? OR description LIKE ? OR tags LIKE ? OR location LIKE ?)");
            for (int i = 0; i < 5; ++i) searchBindings.push_back(SQLiteValue::text("%" + phrase + "%"));
        }

        std::vector<SQLiteValue> paging{SQLiteValue::integer(std::clamp<int64_t>(limit, 1, kMaxPageSize)),
                                        SQLiteValue::integer(std::max<int64_t>(offset, 0))};

        auto run = [&](bool withPrefilter) {
            std::vector<std::string> all{"expires_at >= ?"};
            std::vector<SQLiteValue> values{SQLiteValue::text(nowText())};
            if (withPrefilter) {
                // The unary + keeps the planner walking the recency index and stopping after
                // one page; the candidate set is only a membership test on each index entry.
                // It comes before the location condition, which SQLite then evaluates only
                // for candidates (terms run in the order written).
                all.push_back("+id IN (SELECT rowid FROM jobs_search WHERE jobs_search MATCH ?)");
                values.push_back(SQLiteValue::text(*prefilter));
            }
            all.push_back(location.sql);
            append(values, location.bindings);
            if (categoryFilter) {
                all.push_back("category = ?");
                values.push_back(SQLiteValue::text(*categoryFilter));
            }
            all.insert(all.end(), searchConditions.begin(), searchConditions.end());
            append(values, searchBindings);
            append(values, paging);
            const std::string sql =
                "SELECT id,external_id,source,title,company,category,location,description,url,published_at,added_at,"
                "expires_at,security_score,security_label,tags\n"
                "FROM jobs WHERE " +
                text::join(all, " AND ") +
                " ORDER BY COALESCE(published_at,added_at) DESC,id DESC LIMIT ? OFFSET ?;";
            json jobs = json::array();
            for (const auto& row : db_->query(sql, values)) jobs.push_back(jobObject(row));
            return jobs;
        };

        if (prefilter) {
            try {
                return run(true);
            } catch (const std::exception&) {
                // A damaged or missing search index must not hide listings: scan instead.
            }
        }
        return run(false);
    } catch (const std::exception&) {
        return json::array();
    }
}

json DatabaseService::getCategories() const {
    try {
        auto location = locationSetClause();
        std::vector<SQLiteValue> bindings{SQLiteValue::text(nowText())};
        append(bindings, location.bindings);
        json categories = json::array();
        const auto rows = db_->query("SELECT category,COUNT(*) AS count FROM jobs WHERE expires_at >= ? AND " +
                                         location.sql + " GROUP BY category ORDER BY count DESC,category ASC;",
                                     bindings);
        for (const auto& row : rows)
            categories.push_back(json{{"name", textOf(row, "category")}, {"count", integerOf(row, "count")}});
        return categories;
    } catch (const std::exception&) {
        return json::array();
    }
}

json DatabaseService::dashboardCounts() const {
    const TimePoint now = clock_->now();
    const std::string nowStamp = DateUtil::withFractional(now);
    const std::string weekAgo = DateUtil::withFractional(now - kRecentWindow);

    Condition location{"1=0", {}};
    bool locationKnown = true;
    try {
        location = locationSetClause();
    } catch (const std::exception&) {
        locationKnown = false;
    }

    // One pass for the three counts: every one of them is a part of the unexpired listings.
    int64_t total = 0, checked = 0, added = 0;
    if (locationKnown) {
        try {
            std::vector<SQLiteValue> bindings{SQLiteValue::text(weekAgo), SQLiteValue::text(nowStamp)};
            append(bindings, location.bindings);
            const auto rows = db_->query(
                "SELECT COUNT(*) AS total,COALESCE(SUM(security_score >= 70),0) AS checked,"
                "COALESCE(SUM(added_at >= ?),0) AS added FROM jobs WHERE expires_at >= ? AND " +
                    location.sql + ";",
                bindings);
            if (!rows.empty()) {
                total = integerOf(rows.front(), "total");
                checked = integerOf(rows.front(), "checked");
                added = integerOf(rows.front(), "added");
            }
        } catch (const std::exception&) {
            total = checked = added = 0;
        }
    }

    int64_t applications = 0;
    try {
        applications = scalarInt("SELECT COUNT(*) FROM applications;", {});
    } catch (const std::exception&) {
        applications = 0;
    }

    return json{
        {"totalJobs", total},
        {"checkedJobs", checked},
        {"added7d", added},
        {"applications", applications},
    };
}

namespace {

const char* const kUpsertJobSql =
    "INSERT INTO jobs(external_id,source,title,company,category,location,description,url,published_at,added_at,"
    "last_seen_at,expires_at,security_score,security_label,tags) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
    "ON CONFLICT(url) DO UPDATE SET external_id=excluded.external_id,source=excluded.source,"
    "title=excluded.title,company=excluded.company,category=excluded.category,location=excluded.location,"
    "description=excluded.description,published_at=COALESCE(excluded.published_at,jobs.published_at),"
    "last_seen_at=excluded.last_seen_at,expires_at=excluded.expires_at,security_score=excluded.security_score,"
    "security_label=excluded.security_label,tags=excluded.tags;";

std::vector<SQLiteValue> upsertBindings(const IncomingJob& job, const SecurityAssessment& security,
                                        const std::string& stamp, const std::string& expiry) {
    return {
            SQLiteValue::text(job.externalId),
            SQLiteValue::text(job.source),
            SQLiteValue::text(job.title),
            SQLiteValue::text(job.company),
            SQLiteValue::text(job.category),
            SQLiteValue::text(job.location),
            SQLiteValue::text(job.description),
            SQLiteValue::text(job.url),
            job.publishedAt ? SQLiteValue::text(DateUtil::withFractional(*job.publishedAt)) : SQLiteValue::null(),
            SQLiteValue::text(stamp),
            SQLiteValue::text(stamp),
            SQLiteValue::text(expiry),
            SQLiteValue::integer(security.score),
            SQLiteValue::text(security.label),
            SQLiteValue::text(joinTags(job.tags)),
    };
}

} // namespace

int64_t DatabaseService::upsertJob(const IncomingJob& job, const SecurityAssessment& security) {
    const TimePoint now = clock_->now();
    const std::string stamp = DateUtil::withFractional(now);
    const std::string expiry = DateUtil::withFractional(now + kListingLifetime);

    db_->execute(kUpsertJobSql, upsertBindings(job, security, stamp, expiry));

    auto id = db_->scalar("SELECT id FROM jobs WHERE url=? LIMIT 1;", {SQLiteValue::text(job.url)});
    if (!id) return 0;
    if (const auto* value = std::get_if<int64_t>(&*id)) return *value;
    return 0;
}

void DatabaseService::upsertJobs(const std::vector<std::pair<IncomingJob, SecurityAssessment>>& jobs) {
    if (jobs.empty()) return;
    const TimePoint now = clock_->now();
    const std::string stamp = DateUtil::withFractional(now);
    const std::string expiry = DateUtil::withFractional(now + kListingLifetime);
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        for (const auto& [job, security] : jobs) run(kUpsertJobSql, upsertBindings(job, security, stamp, expiry));
    });
}

int64_t DatabaseService::deleteExpiredJobs() {
    int64_t count = 0;
    try {
        count = scalarInt("SELECT COUNT(*) FROM jobs WHERE expires_at < ?;", {SQLiteValue::text(nowText())});
    } catch (const std::exception&) {
        count = 0;
    }
    try {
        db_->execute("DELETE FROM jobs WHERE expires_at < ?;", {SQLiteValue::text(nowText())});
    } catch (const std::exception&) {
        // The next sync tries again; expired rows are hidden from every list meanwhile.
    }
    return count;
}

void DatabaseService::saveResume(const std::string& name, const std::string& path, const std::string& analysisJson) {
    try {
        db_->execute("INSERT INTO resumes(name,original_path,extracted_text,analysis_json,created_at) "
                     "VALUES(?,?,'',?,?);",
                     {SQLiteValue::text(name), SQLiteValue::text(path), SQLiteValue::text(analysisJson),
                      SQLiteValue::text(nowText())});
    } catch (const std::exception&) {
        // The analysis result is what the user sees; its record is a convenience.
    }
}

} // namespace velmora
