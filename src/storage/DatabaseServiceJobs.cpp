// The job and resume operations of DatabaseService.
#include "storage/DatabaseService.h"

#include "core/DateUtil.h"
#include "core/Log.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "core/CountryLocationService.h"
#include "core/IncomingJob.h"
#include "core/SecurityAssessment.h"
#include "storage/JobSearchIndex.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cctype>
#include <cstring>
#include <map>
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

std::string likeLiteral(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '%' || c == '_') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// Title and company reduced to their letters and digits, so "Senior Engineer (Remote)" at
// "Acme, Inc." and "senior engineer remote" at "ACME Inc" are one posting. Empty when either
// part is empty: a listing without a company is never merged with anything.
std::string postingKey(const std::string& title, const std::string& company) {
    auto reduce = [](const std::string& value) {
        std::string out;
        bool gap = false;
        for (unsigned char c : text::lower(value)) {
            if (std::isalnum(c) || c >= 0x80) {
                if (gap && !out.empty()) out.push_back(' ');
                out.push_back(static_cast<char>(c));
                gap = false;
            } else {
                gap = true;
            }
        }
        return out;
    };
    std::string t = reduce(title), c = reduce(company);
    for (const char* suffix : {" inc", " llc", " ltd", " gmbh", " corp"})
        if (c.size() > std::strlen(suffix) && c.ends_with(suffix)) c.resize(c.size() - std::strlen(suffix));
    if (t.empty() || c.empty()) return "";
    return t + "|" + c;
}

std::vector<std::string> splitList(const std::string& joined, const std::string& separator) {
    std::vector<std::string> out;
    if (joined.empty()) return out;
    size_t start = 0;
    while (true) {
        size_t at = joined.find(separator, start);
        std::string piece = joined.substr(start, at == std::string::npos ? std::string::npos : at - start);
        if (!piece.empty()) out.push_back(std::move(piece));
        if (at == std::string::npos) break;
        start = at + separator.size();
    }
    return out;
}

// The tag spellings of each job type, matched against the tags lower-cased with "_" and " "
// turned into "-".
const std::vector<std::pair<std::string, std::string>>& jobTypePatterns() {
    static const std::vector<std::pair<std::string, std::string>> all = {
        {"full-time", "%full-time%"}, {"part-time", "%part-time%"}, {"contract", "%contract%"},
        {"freelance", "%freelance%"}, {"internship", "%intern%"},    {"temporary", "%temporary%"},
    };
    return all;
}

// Search-as-you-type must stay fast with tens of thousands of stored listings, while giving
// exactly the rows and order of the plain LIKE scan over five text columns. Two things do it:
//  - indexes whose columns answer the filters (expiry, category, location) and the ordering
//    without reading the row, whose long description sits before those columns on disk;
//  - the trigram pre-filter of JobSearchIndex, whose candidates the exact LIKE condition checks.
// Listings with the same time are ordered newest-stored first (id DESC), so that paging and the
// two query forms can never disagree about rows that tie.
const char* const kSearchSchema[] = {
    "CREATE INDEX IF NOT EXISTS search_jobs_recency ON jobs(COALESCE(published_at,added_at) DESC,id DESC,"
    "expires_at,category,location);",
    "CREATE INDEX IF NOT EXISTS search_jobs_category_recency ON jobs(category,COALESCE(published_at,added_at) DESC,"
    "id DESC,expires_at,location);",
    "CREATE INDEX IF NOT EXISTS search_jobs_counts ON jobs(expires_at,location,security_score,added_at);",
};

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

    // Built, tidied or caught up in one transaction each, so an interrupted start leaves no
    // half-filled index behind. Start-up runs this before anything else uses the connection.
    searchIndexReady_ = false;
    try {
        const bool present = JobSearchIndex::present(*db_);
        std::vector<std::string> statements;
        if (!present) statements = JobSearchIndex::createStatements();
        else if (JobSearchIndex::needsRebuild(*db_)) statements = JobSearchIndex::rebuildStatements();
        db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
            for (const auto& sql : statements) run(sql, {});
            // Listings written behind the service's back, or left when the program stopped
            // before a sync's listings were all indexed. A long backlog is left to the indexing
            // after the next sync, so that start-up stays quick.
            if (statements.empty()) JobSearchIndex::flush(run, kStartupIndexLimit);
        });
        searchIndexReady_ = true;
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
        // A country name is the user's text, not a pattern: "%" or "_" in it must match itself.
        pieces.push_back("LOWER(" + column + ") LIKE ? ESCAPE '\\'");
        condition.bindings.push_back(SQLiteValue::text("%" + likeLiteral(text::lower(term)) + "%"));
    }
    condition.sql = "(" + text::join(pieces, " OR ") + ")";
    return condition;
}

DatabaseService::Condition DatabaseService::locationSetClause(const std::string& column) const {
    // Listings share a few hundred location texts, so matching each distinct text once (the
    // grouped subquery runs once per statement) beats matching dozens of patterns per row.
    // The condition depends on the location alone, so the rows are exactly those of the
    // per-row form, NULL locations excluded by both. Within a group MAX(location) is the
    // location; naming an aggregate keeps SQLite from moving the test back to every row.
    Condition condition = locationClause("MAX(location)");
    if (condition.bindings.empty()) return condition;
    condition.sql = column + " IN (SELECT location FROM jobs GROUP BY location HAVING " + condition.sql + ")";
    return condition;
}

const std::vector<std::string>& DatabaseService::jobTypes() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& [name, pattern] : jobTypePatterns()) out.push_back(name);
        return out;
    }();
    return names;
}

DatabaseService::Condition DatabaseService::jobFilter(const JobQuery& q, const std::string& alias) const {
    const std::string a = alias + ".";
    std::vector<std::string> all{a + "expires_at >= ?"};
    std::vector<SQLiteValue> values{SQLiteValue::text(nowText())};
    const auto location = locationClause(a + "location");
    all.push_back(location.sql);
    append(values, location.bindings);
    if (!q.category.empty() && text::lower(q.category) != "all") {
        all.push_back(a + "category = ?");
        values.push_back(SQLiteValue::text(q.category));
    }
    if (!q.source.empty()) {
        all.push_back(a + "source = ?");
        values.push_back(SQLiteValue::text(q.source));
    }
    const int64_t days = std::clamp<int64_t>(q.postedWithinDays, 0, 365);
    if (days > 0) {
        all.push_back("COALESCE(" + a + "published_at," + a + "added_at) >= ?");
        values.push_back(SQLiteValue::text(DateUtil::withFractional(clock_->now() - std::chrono::hours(24 * days))));
    }
    if (!q.jobType.empty()) {
        std::string pattern = "1=0"; // an unknown type matches nothing (the bridge refuses it first)
        for (const auto& [name, like] : jobTypePatterns()) {
            if (name != q.jobType) continue;
            pattern = "REPLACE(REPLACE(LOWER(" + a + "tags),'_','-'),' ','-') LIKE ?";
            values.push_back(SQLiteValue::text(like));
        }
        all.push_back(pattern);
    }
    const std::string phrase = text::trim(q.query);
    if (!phrase.empty()) {
        all.push_back("(" + a + "title LIKE ? OR " + a + "company LIKE ? OR " + a + "description LIKE ? OR " + a +
                      "tags LIKE ? OR " + a + "location LIKE ?)");
        for (int i = 0; i < 5; ++i) values.push_back(SQLiteValue::text("%" + phrase + "%"));
    }
    return {text::join(all, " AND "), std::move(values)};
}

std::string DatabaseService::firstOfPosting(const Condition& filterOnD) {
    // Within one posting the first stored listing that passes the same filters stands for
    // all of them, so a filter that excludes the first one shows the next instead of nothing.
    return "(jobs.dedupe_key IS NULL OR jobs.dedupe_key = '' OR NOT EXISTS (SELECT 1 FROM jobs d WHERE "
           "d.dedupe_key = jobs.dedupe_key AND d.id < jobs.id AND " +
           filterOnD.sql + "))";
}

namespace {
const char* const kNotHidden = "jobs.url NOT IN (SELECT url FROM job_marks WHERE mark='hidden')";
}

json DatabaseService::getJobs(const std::string& category, const std::string& query, int64_t limit,
                              int64_t offset) const {
    JobQuery q;
    q.category = category;
    q.query = query;
    q.limit = limit;
    q.offset = offset;
    q.includeHidden = true;
    return getJobs(q);
}

json DatabaseService::getJobs(const JobQuery& q) const {
    try {
        const std::string phrase = text::trim(q.query);
        std::optional<std::string> prefilter;
        if (!phrase.empty() && searchIndexReady_) prefilter = JobSearchIndex::matchExpression(phrase);
        const Condition filter = jobFilter(q, "jobs");
        const Condition duplicateFilter = jobFilter(q, "d");

        auto run = [&](bool withPrefilter) {
            std::vector<std::string> all;
            std::vector<SQLiteValue> values;
            if (withPrefilter) {
                // The unary + keeps the planner walking the recency index and stopping after
                // one page; the candidate set is only a membership test on each index entry.
                // It comes first, so the other conditions run only for candidates (terms run
                // in the order written).
                all.push_back(JobSearchIndex::candidateCondition("+jobs.id"));
                values.push_back(SQLiteValue::text(*prefilter));
            }
            all.push_back(filter.sql);
            append(values, filter.bindings);
            if (!q.includeHidden) all.push_back(kNotHidden);
            all.push_back(firstOfPosting(duplicateFilter));
            append(values, duplicateFilter.bindings);
            values.push_back(SQLiteValue::integer(std::clamp<int64_t>(q.limit, 1, kMaxPageSize)));
            values.push_back(SQLiteValue::integer(std::max<int64_t>(q.offset, 0)));
            const std::string order = q.sort == JobSort::Match
                                          ? "jobs.match_score DESC,COALESCE(jobs.published_at,jobs.added_at) DESC,"
                                            "jobs.id DESC"
                                          : "COALESCE(jobs.published_at,jobs.added_at) DESC,jobs.id DESC";
            const std::string sql =
                "SELECT jobs.id,external_id,source,title,company,category,location,description,url,published_at,"
                "added_at,expires_at,security_score,security_label,tags,dedupe_key,match_score,match_keywords,"
                "(SELECT mark FROM job_marks WHERE job_marks.url=jobs.url) AS mark\n"
                "FROM jobs WHERE " +
                text::join(all, " AND ") + " ORDER BY " + order + " LIMIT ? OFFSET ?;";
            return db_->query(sql, values);
        };

        std::vector<SQLiteRow> rows;
        bool done = false;
        if (prefilter) {
            try {
                rows = run(true);
                done = true;
            } catch (const std::exception&) {
                // A damaged or missing search index must not hide listings: scan instead.
            }
        }
        if (!done) rows = run(false);
        return jobObjects(rows, q.skills);
    } catch (const std::exception&) {
        return json::array();
    }
}

json DatabaseService::jobObjects(const std::vector<SQLiteRow>& rows, const std::set<std::string>& skills) const {
    json jobs = json::array();
    if (rows.empty()) return jobs;

    // The other links of each posting on the page, and the tracker's status of each listing:
    // one query each for the whole page.
    std::map<std::string, std::vector<json>> others;
    {
        std::vector<std::string> marks;
        std::vector<SQLiteValue> values{SQLiteValue::text(nowText())};
        for (const auto& row : rows) {
            const std::string key = textOf(row, "dedupe_key");
            if (key.empty()) continue;
            marks.push_back("?");
            values.push_back(SQLiteValue::text(key));
        }
        if (!marks.empty()) {
            for (const auto& row : db_->query("SELECT id,source,url,dedupe_key FROM jobs WHERE expires_at >= ? AND "
                                              "dedupe_key IN (" +
                                                  text::join(marks, ",") + ") ORDER BY id;",
                                              values))
                others[textOf(row, "dedupe_key")].push_back(
                    json{{"id", integerOf(row, "id")}, {"source", textOf(row, "source")}, {"url", textOf(row, "url")}});
        }
    }
    std::map<std::string, std::string> statusByUrl;
    std::map<int64_t, std::string> statusById;
    try {
        for (const auto& row : db_->query("SELECT job_id,url,status FROM applications;")) {
            const std::string status = textOr(row, "status", "Opened");
            statusByUrl.emplace(textOf(row, "url"), status);
            if (auto id = sqlite_row::integer(row, "job_id")) statusById.emplace(*id, status);
        }
    } catch (const std::exception&) {
        // The list stays usable without the tracker's statuses.
    }

    for (const auto& row : rows) {
        json job = jobObject(row);
        const int64_t id = job["id"];
        json alsoOn = json::array();
        if (auto it = others.find(textOf(row, "dedupe_key")); it != others.end())
            for (const auto& other : it->second)
                if (other["id"] != id) alsoOn.push_back(other);
        job["alsoOn"] = std::move(alsoOn);
        job["mark"] = textOf(row, "mark");
        job["matchScore"] = integerOf(row, "match_score");
        json matched = json::array();
        for (const auto& keyword : splitList(textOf(row, "match_keywords"), " "))
            if (skills.count(keyword)) matched.push_back(keyword);
        job["matchedSkills"] = std::move(matched);
        std::string status;
        if (auto it = statusByUrl.find(job["url"].get<std::string>()); it != statusByUrl.end()) status = it->second;
        else if (auto byId = statusById.find(id); byId != statusById.end()) status = byId->second;
        job["applicationStatus"] = status;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

DatabaseService::Condition DatabaseService::countedListings() const {
    // What the counters count: unexpired listings under the location preference, not hidden,
    // each posting once.
    Condition location = locationSetClause("jobs.location");
    Condition onD = locationSetClause("d.location");
    Condition out;
    out.sql = "jobs.expires_at >= ? AND " + location.sql + " AND " + kNotHidden + " AND " +
              firstOfPosting({"d.expires_at >= ? AND " + onD.sql, {}});
    out.bindings.push_back(SQLiteValue::text(nowText()));
    append(out.bindings, location.bindings);
    out.bindings.push_back(SQLiteValue::text(nowText()));
    append(out.bindings, onD.bindings);
    return out;
}

json DatabaseService::getCategories() const {
    try {
        const Condition counted = countedListings();
        json categories = json::array();
        const auto rows = db_->query("SELECT category,COUNT(*) AS count FROM jobs WHERE " + counted.sql +
                                         " GROUP BY category ORDER BY count DESC,category ASC;",
                                     counted.bindings);
        for (const auto& row : rows)
            categories.push_back(json{{"name", textOf(row, "category")}, {"count", integerOf(row, "count")}});
        return categories;
    } catch (const std::exception&) {
        return json::array();
    }
}

json DatabaseService::dashboardCounts() const {
    const TimePoint now = clock_->now();
    const std::string weekAgo = DateUtil::withFractional(now - kRecentWindow);

    // One pass for the three counts: every one of them is a part of the counted listings.
    int64_t total = 0, checked = 0, added = 0;
    try {
        const Condition counted = countedListings();
        std::vector<SQLiteValue> bindings{SQLiteValue::text(weekAgo)};
        append(bindings, counted.bindings);
        const auto rows = db_->query("SELECT COUNT(*) AS total,COALESCE(SUM(security_score >= 70),0) AS checked,"
                                     "COALESCE(SUM(added_at >= ?),0) AS added FROM jobs WHERE " +
                                         counted.sql + ";",
                                     bindings);
        if (!rows.empty()) {
            total = integerOf(rows.front(), "total");
            checked = integerOf(rows.front(), "checked");
            added = integerOf(rows.front(), "added");
        }
    } catch (const std::exception&) {
        total = checked = added = 0;
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
    "last_seen_at,expires_at,security_score,security_label,tags,dedupe_key) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
    "ON CONFLICT(url) DO UPDATE SET external_id=excluded.external_id,source=excluded.source,"
    "title=excluded.title,company=excluded.company,category=excluded.category,location=excluded.location,"
    "description=excluded.description,published_at=COALESCE(excluded.published_at,jobs.published_at),"
    "last_seen_at=excluded.last_seen_at,expires_at=excluded.expires_at,security_score=excluded.security_score,"
    "security_label=excluded.security_label,tags=excluded.tags,dedupe_key=excluded.dedupe_key,"
    // New texts need new keywords and a new score; a listing seen again unchanged keeps both.
    "match_keywords=CASE WHEN jobs.title IS excluded.title AND jobs.description IS excluded.description AND "
    "jobs.tags IS excluded.tags THEN jobs.match_keywords END,"
    "match_stale=CASE WHEN jobs.title IS excluded.title AND jobs.description IS excluded.description AND "
    "jobs.tags IS excluded.tags THEN jobs.match_stale ELSE 1 END;";

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
            SQLiteValue::text(postingKey(job.title, job.company)),
    };
}

} // namespace

int64_t DatabaseService::upsertJob(const IncomingJob& job, const SecurityAssessment& security) {
    const TimePoint now = clock_->now();
    const std::string stamp = DateUtil::withFractional(now);
    const std::string expiry = DateUtil::withFractional(now + kListingLifetime);

    // A savepoint, not a transaction: callers may store many listings inside one of their own.
    db_->savepoint([&](const SQLiteDatabase::StatementRunner& run) {
        run(kUpsertJobSql, upsertBindings(job, security, stamp, expiry));
        indexPendingListings(run);
    });

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
    // The listings wait for indexPendingJobs(), searchable meanwhile by the exact scan.
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        for (const auto& [job, security] : jobs) run(kUpsertJobSql, upsertBindings(job, security, stamp, expiry));
    });
}

int64_t DatabaseService::indexPendingJobs(int64_t limit) {
    if (!searchIndexReady_ || limit <= 0) return 0;
    // Counted before the transaction: a listing stored in between waits for the next call.
    const int64_t waiting = scalarInt("SELECT COUNT(*) FROM (" + JobSearchIndex::pendingSelect() + " LIMIT ?);",
                                      {SQLiteValue::integer(limit)});
    if (waiting == 0) return 0;
    // A failure rolls the chunk back and reaches the caller: the listings stay pending.
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) { JobSearchIndex::flush(run, limit); });
    return waiting;
}

void DatabaseService::indexPendingListings(const SQLiteDatabase::StatementRunner& run) const {
    // Without the index (no FTS5, or it failed to build) its tables are not there to write.
    if (!searchIndexReady_) return;
    // A savepoint of its own, since the caller's store goes on when indexing fails.
    run("SAVEPOINT jobs_search_flush;", {});
    try {
        JobSearchIndex::flush(run, -1);
        run("RELEASE jobs_search_flush;", {});
    } catch (const std::exception& e) {
        // The listings stay pending, and pending listings are always candidates, so searches
        // stay right; an index removed behind our back is built again at the next start.
        run("ROLLBACK TO jobs_search_flush;", {});
        run("RELEASE jobs_search_flush;", {});
        logLine("Velmora job search index error: " + std::string(e.what()));
    }
}

int64_t DatabaseService::deleteExpiredJobs() {
    // The count is what the DELETE removed, so a failed one reports none.
    int64_t count = 0;
    try {
        count = db_->executeReturningChanges("DELETE FROM jobs WHERE expires_at < ?;", {SQLiteValue::text(nowText())});
    } catch (const std::exception&) {
        // The next sync tries again; expired rows are hidden from every list meanwhile.
        count = 0;
    }
    // Deleted listings and listings indexed again leave stale search entries behind; once they
    // outnumber the live ones, every search pays for them, so the index starts afresh. A sync
    // begins here, which keeps the rebuild off the path of a search typed by the user.
    try {
        if (searchIndexReady_ && JobSearchIndex::needsRebuild(*db_))
            db_->transaction([](const SQLiteDatabase::StatementRunner& run) {
                for (const auto& sql : JobSearchIndex::rebuildStatements()) run(sql, {});
            });
    } catch (const std::exception& e) {
        logLine("Velmora job search index error: " + std::string(e.what()));
    }
    return count;
}

void DatabaseService::fillDedupeKeys() {
    // Listings stored before postings were recognised get their key once.
    const auto rows = db_->query("SELECT id,title,company FROM jobs WHERE dedupe_key IS NULL;");
    if (rows.empty()) return;
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        for (const auto& row : rows)
            run("UPDATE jobs SET dedupe_key=? WHERE id=?;",
                {SQLiteValue::text(postingKey(textOf(row, "title"), textOf(row, "company"))),
                 SQLiteValue::integer(integerOf(row, "id"))});
    });
}

void DatabaseService::setJobMark(int64_t id, const std::string& mark) {
    if (mark != "saved" && mark != "hidden" && !mark.empty())
        throw VelmoraError("Unknown mark \"" + mark + "\". Use \"saved\", \"hidden\" or \"\".");
    const auto rows = db_->query("SELECT url,dedupe_key FROM jobs WHERE id=?;", {SQLiteValue::integer(id)});
    if (rows.empty()) throw VelmoraError("This job is no longer stored. Refresh the list and try again.");
    const std::string key = textOf(rows.front(), "dedupe_key");
    std::vector<std::string> urls{textOf(rows.front(), "url")};
    if (!key.empty())
        for (const auto& row : db_->query("SELECT url FROM jobs WHERE dedupe_key=? AND id<>?;",
                                          {SQLiteValue::text(key), SQLiteValue::integer(id)}))
            urls.push_back(textOf(row, "url"));
    const std::string stamp = nowText();
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        for (const auto& url : urls) {
            if (mark.empty())
                run("DELETE FROM job_marks WHERE url=?;", {SQLiteValue::text(url)});
            else
                run("INSERT INTO job_marks(url,mark,marked_at) VALUES(?,?,?) ON CONFLICT(url) DO UPDATE SET "
                    "mark=excluded.mark,marked_at=excluded.marked_at;",
                    {SQLiteValue::text(url), SQLiteValue::text(mark), SQLiteValue::text(stamp)});
        }
    });
}

std::vector<DatabaseService::MatchInput> DatabaseService::staleMatches(int64_t limit) const {
    std::vector<MatchInput> out;
    for (const auto& row : db_->query("SELECT id,title,tags,description,match_keywords FROM jobs "
                                      "WHERE match_stale=1 ORDER BY id LIMIT ?;",
                                      {SQLiteValue::integer(std::max<int64_t>(limit, 1))})) {
        MatchInput input;
        input.id = integerOf(row, "id");
        input.title = textOf(row, "title");
        input.tags = textOf(row, "tags");
        input.description = textOf(row, "description");
        input.keywords = sqlite_row::text(row, "match_keywords");
        out.push_back(std::move(input));
    }
    return out;
}

void DatabaseService::storeMatches(const std::vector<MatchResult>& results) {
    if (results.empty()) return;
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        for (const auto& r : results)
            run("UPDATE jobs SET match_keywords=?,match_score=?,match_stale=0 WHERE id=?;",
                {SQLiteValue::text(r.keywords), SQLiteValue::integer(std::clamp(r.score, 0, 100)),
                 SQLiteValue::integer(r.id)});
    });
}

bool DatabaseService::resetMatchesIfBasisChanged(const std::string& basis) {
    if (getSetting("jobMatchBasis", "") == basis) return false;
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        run("UPDATE jobs SET match_stale=1 WHERE match_stale=0;", {});
        run(kSetSettingSql, {SQLiteValue::text("jobMatchBasis"), SQLiteValue::text(basis)});
    });
    return true;
}

std::vector<std::string> DatabaseService::latestResumeKeywords() const {
    try {
        const auto rows = db_->query("SELECT analysis_json FROM resumes ORDER BY id DESC LIMIT 1;");
        if (rows.empty()) return {};
        const json analysis = json::parse(textOf(rows.front(), "analysis_json"), nullptr, false);
        std::vector<std::string> out;
        if (analysis.is_object() && analysis.contains("keywords") && analysis["keywords"].is_array())
            for (const auto& k : analysis["keywords"])
                if (k.is_string()) out.push_back(k.get<std::string>());
        return out;
    } catch (const std::exception&) {
        return {};
    }
}

namespace {

DatabaseService::JobQuery savedQuery(const SQLiteRow& row) {
    DatabaseService::JobQuery q;
    q.query = textOf(row, "query");
    q.category = textOf(row, "category");
    q.source = textOf(row, "source");
    q.postedWithinDays = integerOf(row, "posted_within_days");
    q.jobType = textOf(row, "job_type");
    return q;
}

json savedSearchObject(const SQLiteRow& row) {
    return json{
        {"id", integerOf(row, "id")},
        {"name", textOf(row, "name")},
        {"query", textOf(row, "query")},
        {"category", textOf(row, "category")},
        {"source", textOf(row, "source")},
        {"postedWithinDays", integerOf(row, "posted_within_days")},
        {"jobType", textOf(row, "job_type")},
        {"createdAt", textOf(row, "created_at")},
        {"lastOpenedAt", textOf(row, "last_opened_at")},
    };
}

std::string readText(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_string()) return "";
    return object[key].get<std::string>();
}

} // namespace

int64_t DatabaseService::saveSearch(const json& search) {
    const std::string name = text::trim(readText(search, "name"));
    const std::string query = text::trim(readText(search, "query"));
    if (name.empty()) throw VelmoraError("Enter a name for the search.");
    if (text::characterCount(name) > kMaxSavedNameCharacters)
        throw VelmoraError("The name is too long; use at most " + std::to_string(kMaxSavedNameCharacters) +
                           " characters.");
    if (!text::isValidUtf8(query) || text::characterCount(query) > kMaxSavedQueryCharacters)
        throw VelmoraError("The search text is too long to save; use at most " +
                           std::to_string(kMaxSavedQueryCharacters) + " characters.");
    std::string category = text::trim(readText(search, "category"));
    if (category.empty()) category = "All";
    std::string jobType = readText(search, "jobType");
    if (!jobType.empty() && std::find(jobTypes().begin(), jobTypes().end(), jobType) == jobTypes().end())
        throw VelmoraError("Unknown job type \"" + jobType + "\".");
    int64_t days = 0;
    if (search.is_object() && search.contains("postedWithinDays") && search["postedWithinDays"].is_number())
        days = std::clamp<int64_t>(static_cast<int64_t>(search["postedWithinDays"].get<double>()), 0, 365);
    const std::string stamp = nowText();
    int64_t id = 0;
    db_->transaction([&](const SQLiteDatabase::StatementRunner& run) {
        run("INSERT INTO saved_searches(name,query,category,source,posted_within_days,job_type,created_at,"
            "last_opened_at) VALUES(?,?,?,?,?,?,?,?);",
            {SQLiteValue::text(name), SQLiteValue::text(query), SQLiteValue::text(category),
             SQLiteValue::text(readText(search, "source")), SQLiteValue::integer(days), SQLiteValue::text(jobType),
             SQLiteValue::text(stamp), SQLiteValue::text(stamp)});
    });
    auto value = db_->scalar("SELECT MAX(id) FROM saved_searches;");
    if (value)
        if (const auto* v = std::get_if<int64_t>(&*value)) id = *v;
    return id;
}

int64_t DatabaseService::countNewListings(const JobQuery& q, const std::string& since) const {
    const Condition filter = jobFilter(q, "jobs");
    const Condition onD = jobFilter(q, "d");
    std::vector<SQLiteValue> values{SQLiteValue::text(since)};
    append(values, filter.bindings);
    append(values, onD.bindings);
    return scalarInt("SELECT COUNT(*) FROM jobs WHERE jobs.added_at > ? AND " + filter.sql + " AND " + kNotHidden +
                         " AND " + firstOfPosting(onD) + ";",
                     values);
}

json DatabaseService::getSavedSearches() const {
    json out = json::array();
    try {
        for (const auto& row : db_->query("SELECT * FROM saved_searches ORDER BY name COLLATE NOCASE,id;")) {
            json search = savedSearchObject(row);
            int64_t fresh = 0;
            try {
                fresh = countNewListings(savedQuery(row), textOf(row, "last_opened_at"));
            } catch (const std::exception&) {
                fresh = 0;
            }
            search["newCount"] = fresh;
            out.push_back(std::move(search));
        }
    } catch (const std::exception&) {
        return json::array();
    }
    return out;
}

json DatabaseService::openSavedSearch(int64_t id) {
    db_->execute("UPDATE saved_searches SET last_opened_at=? WHERE id=?;",
                 {SQLiteValue::text(nowText()), SQLiteValue::integer(id)});
    const auto rows = db_->query("SELECT * FROM saved_searches WHERE id=?;", {SQLiteValue::integer(id)});
    if (rows.empty()) throw VelmoraError("This saved search no longer exists.");
    json search = savedSearchObject(rows.front());
    search["newCount"] = 0;
    return search;
}

void DatabaseService::deleteSavedSearch(int64_t id) {
    if (scalarInt("SELECT COUNT(*) FROM saved_searches WHERE id=?;", {SQLiteValue::integer(id)}) == 0)
        throw VelmoraError("This saved search no longer exists.");
    db_->execute("DELETE FROM saved_searches WHERE id=?;", {SQLiteValue::integer(id)});
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
