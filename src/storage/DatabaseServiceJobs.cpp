// The job, application and resume operations of DatabaseService.
#include "storage/DatabaseService.h"

#include "core/DateUtil.h"
#include "core/Text.h"
#include "jobs/CountryLocationService.h"
#include "jobs/IncomingJob.h"
#include "jobs/SecurityAssessment.h"

#include <algorithm>
#include <charconv>
#include <chrono>

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

json applicationObject(const SQLiteRow& row) {
    json jobId = nullptr;
    if (auto id = sqlite_row::integer(row, "job_id")) jobId = *id;
    return json{
        {"id", integerOf(row, "id")},
        {"jobId", jobId},
        {"title", textOf(row, "title")},
        {"company", textOf(row, "company")},
        {"url", textOf(row, "url")},
        {"firstOpenedAt", textOf(row, "first_opened_at")},
        {"lastOpenedAt", textOf(row, "last_opened_at")},
        {"status", textOr(row, "status", "Opened")},
        {"notes", textOf(row, "notes")},
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

} // namespace

std::string DatabaseService::nowText() const { return DateUtil::withFractional(clock_->now()); }

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

DatabaseService::Condition DatabaseService::locationClause() const {
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
        pieces.push_back("LOWER(location) LIKE ?");
        condition.bindings.push_back(SQLiteValue::text("%" + text::lower(term) + "%"));
    }
    condition.sql = "(" + text::join(pieces, " OR ") + ")";
    return condition;
}

json DatabaseService::getJobs(const std::string& category, const std::string& query, int64_t limit,
                              int64_t offset) const {
    try {
        std::vector<std::string> conditions{"expires_at >= ?"};
        std::vector<SQLiteValue> bindings{SQLiteValue::text(nowText())};

        auto location = locationClause();
        conditions.push_back(location.sql);
        append(bindings, location.bindings);

        if (!category.empty() && text::lower(category) != "all") {
            conditions.push_back("category = ?");
            bindings.push_back(SQLiteValue::text(category));
        }

        const std::string phrase = text::trim(query);
        if (!phrase.empty()) {
            conditions.push_back(
                "(title LIKE ? OR company LIKE ? OR description LIKE ? OR tags LIKE ? OR location LIKE ?)");
            for (int i = 0; i < 5; ++i) bindings.push_back(SQLiteValue::text("%" + phrase + "%"));
        }

        bindings.push_back(SQLiteValue::integer(std::clamp<int64_t>(limit, 1, kMaxPageSize)));
        bindings.push_back(SQLiteValue::integer(std::max<int64_t>(offset, 0)));

        const std::string sql =
            "SELECT id,external_id,source,title,company,category,location,description,url,published_at,added_at,"
            "expires_at,security_score,security_label,tags\n"
            "FROM jobs WHERE " +
            text::join(conditions, " AND ") + " ORDER BY COALESCE(published_at,added_at) DESC LIMIT ? OFFSET ?;";

        json jobs = json::array();
        for (const auto& row : db_->query(sql, bindings)) jobs.push_back(jobObject(row));
        return jobs;
    } catch (const std::exception&) {
        return json::array();
    }
}

json DatabaseService::getCategories() const {
    try {
        auto location = locationClause();
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
        location = locationClause();
    } catch (const std::exception&) {
        locationKnown = false;
    }

    auto countJobs = [&](const std::string& condition, std::vector<SQLiteValue> bindings) -> int64_t {
        if (!locationKnown) return 0;
        try {
            append(bindings, location.bindings);
            return scalarInt("SELECT COUNT(*) FROM jobs WHERE " + condition + " AND " + location.sql + ";", bindings);
        } catch (const std::exception&) {
            return 0;
        }
    };

    int64_t applications = 0;
    try {
        applications = scalarInt("SELECT COUNT(*) FROM applications;", {});
    } catch (const std::exception&) {
        applications = 0;
    }

    return json{
        {"totalJobs", countJobs("expires_at >= ?", {SQLiteValue::text(nowStamp)})},
        {"checkedJobs", countJobs("expires_at >= ? AND security_score >= 70", {SQLiteValue::text(nowStamp)})},
        {"added7d", countJobs("added_at >= ? AND expires_at >= ?",
                              {SQLiteValue::text(weekAgo), SQLiteValue::text(nowStamp)})},
        {"applications", applications},
    };
}

int64_t DatabaseService::upsertJob(const IncomingJob& job, const SecurityAssessment& security) {
    const TimePoint now = clock_->now();
    const std::string stamp = DateUtil::withFractional(now);
    const std::string expiry = DateUtil::withFractional(now + kListingLifetime);

    db_->execute(
        "INSERT INTO jobs(external_id,source,title,company,category,location,description,url,published_at,added_at,"
        "last_seen_at,expires_at,security_score,security_label,tags) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
        "ON CONFLICT(url) DO UPDATE SET external_id=excluded.external_id,source=excluded.source,"
        "title=excluded.title,company=excluded.company,category=excluded.category,location=excluded.location,"
        "description=excluded.description,published_at=COALESCE(excluded.published_at,jobs.published_at),"
        "last_seen_at=excluded.last_seen_at,expires_at=excluded.expires_at,security_score=excluded.security_score,"
        "security_label=excluded.security_label,tags=excluded.tags;",
        {
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
        });

    auto id = db_->scalar("SELECT id FROM jobs WHERE url=? LIMIT 1;", {SQLiteValue::text(job.url)});
    if (!id) return 0;
    if (const auto* value = std::get_if<int64_t>(&*id)) return *value;
    return 0;
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

json DatabaseService::getApplications() const {
    try {
        json applications = json::array();
        for (const auto& row : db_->query("SELECT id,job_id,title,company,url,first_opened_at,last_opened_at,status,"
                                          "notes FROM applications ORDER BY last_opened_at DESC;"))
            applications.push_back(applicationObject(row));
        return applications;
    } catch (const std::exception&) {
        return json::array();
    }
}

void DatabaseService::updateApplication(int64_t id, const std::string& status, const std::string& notes) {
    db_->execute("UPDATE applications SET status=?,notes=? WHERE id=?;",
                 {SQLiteValue::text(status), SQLiteValue::text(notes), SQLiteValue::integer(id)});
}

void DatabaseService::deleteApplication(int64_t id) {
    db_->execute("DELETE FROM applications WHERE id=?;", {SQLiteValue::integer(id)});
}

void DatabaseService::recordOpenedApplication(std::optional<int64_t> jobId, const std::string& title,
                                              const std::string& company, const std::string& url) {
    const std::string stamp = nowText();
    // A job id that names no stored listing (0 from a page that had none, or a listing that
    // expired while the page showed it) is recorded as no link: with foreign keys on it would
    // otherwise fail the insert and keep the user from opening the page.
    db_->execute("INSERT INTO applications(job_id,title,company,url,first_opened_at,last_opened_at,status,notes)\n"
                 "VALUES((SELECT id FROM jobs WHERE id=?),?,?,?,?,?,'Opened','') ON CONFLICT(url) DO UPDATE SET "
                 "last_opened_at=excluded.last_opened_at,\n"
                 " title=excluded.title,company=excluded.company,job_id=COALESCE(excluded.job_id,applications.job_id);",
                 {jobId ? SQLiteValue::integer(*jobId) : SQLiteValue::null(), SQLiteValue::text(title),
                  SQLiteValue::text(company), SQLiteValue::text(url), SQLiteValue::text(stamp),
                  SQLiteValue::text(stamp)});
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
