// The application tracker operations of DatabaseService.
#include "storage/DatabaseService.h"

#include "core/DateUtil.h"
#include "core/Text.h"
#include "core/VelmoraError.h"

#include <algorithm>
#include <chrono>

namespace velmora {

namespace {

using nlohmann::json;

constexpr std::chrono::hours kFollowUpDelay{7 * 24};
constexpr size_t kMaxTitleCharacters = 300;
constexpr size_t kFollowUpsListed = 20;

const char* const kColumns = "id,job_id,title,company,url,first_opened_at,last_opened_at,status,notes,applied_at,"
                             "status_changed_at,follow_up_at,history";

const char* const kUnknownApplication = "This application no longer exists. Reload the list and try again.";

std::string textOf(const SQLiteRow& row, const std::string& column) {
    return sqlite_row::text(row, column).value_or("");
}

std::string statusOf(const SQLiteRow& row) {
    std::string status = textOf(row, "status");
    return status.empty() ? "Opened" : status;
}

// A damaged history text reads as no history rather than hiding the application.
json historyOf(const SQLiteRow& row) {
    json parsed = json::parse(textOf(row, "history"), nullptr, false);
    json kept = json::array();
    if (!parsed.is_array()) return kept;
    for (const auto& entry : parsed)
        if (entry.is_object() && entry.value("status", json()).is_string() && entry.value("at", json()).is_string())
            kept.push_back(json{{"status", entry["status"]}, {"at", entry["at"]}});
    return kept;
}

json applicationObject(const SQLiteRow& row) {
    json jobId = nullptr;
    if (auto id = sqlite_row::integer(row, "job_id")) jobId = *id;
    return json{
        {"id", sqlite_row::integer(row, "id").value_or(0)},
        {"jobId", jobId},
        {"title", textOf(row, "title")},
        {"company", textOf(row, "company")},
        {"url", textOf(row, "url")},
        {"firstOpenedAt", textOf(row, "first_opened_at")},
        {"lastOpenedAt", textOf(row, "last_opened_at")},
        {"status", statusOf(row)},
        {"notes", textOf(row, "notes")},
        {"appliedAt", textOf(row, "applied_at")},
        {"statusChangedAt", textOf(row, "status_changed_at")},
        {"followUpAt", textOf(row, "follow_up_at")},
        {"history", historyOf(row)},
    };
}

bool isStage(const std::string& status) {
    const auto& stages = DatabaseService::applicationStages();
    return std::find(stages.begin(), stages.end(), status) != stages.end();
}

// Saved and Opened come before applying; every later stage (including a rejection or a
// withdrawal) means the application went out.
bool isPastOpened(const std::string& status) { return !status.empty() && status != "Saved" && status != "Opened"; }

std::string history(json entries, const std::string& status, const std::string& at) {
    entries.push_back(json{{"status", status}, {"at", at}});
    const size_t max = DatabaseService::kMaxHistoryEntries;
    if (entries.size() > max) entries.erase(entries.begin(), entries.begin() + static_cast<long>(entries.size() - max));
    return entries.dump();
}

std::string dateOf(TimePoint t) { return DateUtil::standard(t).substr(0, 10); }

// Accepts YYYY-MM-DD for a real calendar day, or a full timestamp whose day is taken.
std::optional<std::string> followUpDate(const std::string& given) {
    const std::string value = text::trim(given);
    if (value.size() < 10) return std::nullopt;
    const std::string day = value.substr(0, 10);
    static const text::Regex shape("^[0-9]{4}-[0-9]{2}-[0-9]{2}$");
    if (!shape.fullMatch(day)) return std::nullopt;
    if (value.size() > 10 && !DateUtil::parse(value)) return std::nullopt;
    // Round-tripping rejects days such as 2026-02-30 that the parser would roll over.
    auto parsed = DateUtil::parse(day + "T00:00:00Z");
    if (!parsed || dateOf(*parsed) != day) return std::nullopt;
    return day;
}

std::string cut(const std::string& value, size_t characters) {
    const std::string trimmed = text::trim(value);
    return text::characterCount(trimmed) > characters ? text::prefixCharacters(trimmed, characters) : trimmed;
}

std::string cutNotes(const std::string& notes) {
    if (text::characterCount(notes) <= DatabaseService::kMaxNotesCharacters) return notes;
    return text::prefixCharacters(notes, DatabaseService::kMaxNotesCharacters);
}

bool isWebLink(const std::string& url) {
    static const text::Regex web("^https?://[^\\s/?#]+[^\\s]*$", text::Regex::CaseInsensitive);
    return web.fullMatch(url);
}

} // namespace

const std::vector<std::string>& DatabaseService::applicationStages() {
    static const std::vector<std::string> stages{"Saved",    "Opened",   "Applied",  "Interviewing",
                                                 "Offer",    "Rejected", "Withdrawn"};
    return stages;
}

json DatabaseService::getApplications() const {
    try {
        json applications = json::array();
        for (const auto& row :
             db_->query(std::string("SELECT ") + kColumns + " FROM applications ORDER BY last_opened_at DESC;"))
            applications.push_back(applicationObject(row));
        return applications;
    } catch (const std::exception&) {
        return json::array();
    }
}

json DatabaseService::getApplication(int64_t id) const {
    auto rows = db_->query(std::string("SELECT ") + kColumns + " FROM applications WHERE id=?;",
                           {SQLiteValue::integer(id)});
    if (rows.empty()) throw VelmoraError(kUnknownApplication);
    return applicationObject(rows.front());
}

json DatabaseService::addApplication(const NewApplication& entry) {
    std::string title = cut(entry.title, kMaxTitleCharacters);
    std::string company = cut(entry.company, kMaxTitleCharacters);
    std::string url = text::trim(entry.url);
    std::optional<int64_t> jobId;
    if (entry.jobId) {
        auto rows = db_->query("SELECT id,title,company,url FROM jobs WHERE id=?;", {SQLiteValue::integer(*entry.jobId)});
        if (!rows.empty()) {
            jobId = *entry.jobId;
            if (title.empty()) title = cut(textOf(rows.front(), "title"), kMaxTitleCharacters);
            if (company.empty()) company = cut(textOf(rows.front(), "company"), kMaxTitleCharacters);
            if (url.empty()) url = textOf(rows.front(), "url");
        }
    }
    const std::string status = text::trim(entry.status).empty() ? "Saved" : text::trim(entry.status);
    if (!isStage(status)) throw VelmoraError("Unknown application stage: " + status + ".");
    if (title.empty()) throw VelmoraError("Enter the job title of the application.");
    if (!isWebLink(url)) throw VelmoraError("Enter the link of the listing as a web address (http or https).");

    const TimePoint now = clock_->now();
    const std::string stamp = DateUtil::withFractional(now);
    const bool applied = isPastOpened(status);
    // A link tracked already keeps its entry as the user left it: saving a listing twice, or
    // adding by hand one opened before, must not reset its stage or notes.
    db_->execute("INSERT INTO applications(job_id,title,company,url,first_opened_at,last_opened_at,status,notes,"
                 "applied_at,status_changed_at,follow_up_at,history) VALUES(?,?,?,?,?,?,?,?,?,?,?,?) "
                 "ON CONFLICT(url) DO UPDATE SET job_id=COALESCE(applications.job_id,excluded.job_id);",
                 {jobId ? SQLiteValue::integer(*jobId) : SQLiteValue::null(), SQLiteValue::text(title),
                  SQLiteValue::text(company), SQLiteValue::text(url), SQLiteValue::text(stamp),
                  SQLiteValue::text(stamp), SQLiteValue::text(status), SQLiteValue::text(cutNotes(entry.notes)),
                  SQLiteValue::text(applied ? stamp : ""), SQLiteValue::text(stamp),
                  SQLiteValue::text(applied ? dateOf(now + kFollowUpDelay) : ""),
                  SQLiteValue::text(history(json::array(), status, stamp))});
    auto rows =
        db_->query(std::string("SELECT ") + kColumns + " FROM applications WHERE url=?;", {SQLiteValue::text(url)});
    if (rows.empty()) throw VelmoraError("Velmora could not read back the new application.");
    return applicationObject(rows.front());
}

json DatabaseService::updateApplication(int64_t id, const ApplicationChange& change) {
    auto rows = db_->query("SELECT status,applied_at,follow_up_at,history FROM applications WHERE id=?;",
                           {SQLiteValue::integer(id)});
    if (rows.empty()) throw VelmoraError(kUnknownApplication);
    const SQLiteRow& row = rows.front();
    const std::string storedStatus = statusOf(row);

    std::vector<std::string> sets;
    std::vector<SQLiteValue> values;
    auto set = [&](const char* column, const std::string& value) {
        sets.push_back(std::string(column) + "=?");
        values.push_back(SQLiteValue::text(value));
    };

    std::optional<std::string> followUp;
    if (change.followUpAt) {
        if (text::trim(*change.followUpAt).empty()) followUp = "";
        else if (!(followUp = followUpDate(*change.followUpAt)))
            throw VelmoraError("The follow-up date must be a calendar date such as 2026-03-15.");
    }

    // An absent or empty status leaves the stage alone; a status the row already holds is no
    // change, so a row from an earlier version with a stage of its own can still take notes.
    const std::string status = change.status ? text::trim(*change.status) : "";
    if (!status.empty() && status != storedStatus) {
        if (!isStage(status)) throw VelmoraError("Unknown application stage: " + status + ".");
        const TimePoint now = clock_->now();
        const std::string stamp = DateUtil::withFractional(now);
        set("status", status);
        set("status_changed_at", stamp);
        set("history", history(historyOf(row), status, stamp));
        if (isPastOpened(status) && textOf(row, "applied_at").empty()) {
            set("applied_at", stamp);
            if (!followUp && textOf(row, "follow_up_at").empty()) followUp = dateOf(now + kFollowUpDelay);
        }
    }
    if (followUp) set("follow_up_at", *followUp);
    if (change.notes) set("notes", cutNotes(*change.notes));

    if (!sets.empty()) {
        values.push_back(SQLiteValue::integer(id));
        if (db_->executeReturningChanges("UPDATE applications SET " + text::join(sets, ",") + " WHERE id=?;", values) ==
            0)
            throw VelmoraError(kUnknownApplication);
    }
    return getApplication(id);
}

void DatabaseService::updateApplication(int64_t id, const std::string& status, const std::string& notes) {
    updateApplication(id, ApplicationChange{status, notes, std::nullopt});
}

void DatabaseService::deleteApplication(int64_t id) {
    if (db_->executeReturningChanges("DELETE FROM applications WHERE id=?;", {SQLiteValue::integer(id)}) == 0)
        throw VelmoraError(kUnknownApplication);
}

void DatabaseService::recordOpenedApplication(std::optional<int64_t> jobId, const std::string& title,
                                              const std::string& company, const std::string& url) {
    const std::string stamp = nowText();
    // A job id that names no stored listing (0 from a page that had none, or a listing that
    // expired while the page showed it) is recorded as no link: with foreign keys on it would
    // otherwise fail the insert and keep the user from opening the page.
    db_->execute(
        "INSERT INTO applications(job_id,title,company,url,first_opened_at,last_opened_at,status,notes,"
        "status_changed_at,history)\n"
        "VALUES((SELECT id FROM jobs WHERE id=?),?,?,?,?,?,'Opened','',?,json_array(json_object('status','Opened',"
        "'at',?))) ON CONFLICT(url) DO UPDATE SET last_opened_at=excluded.last_opened_at,\n"
        " title=excluded.title,company=excluded.company,job_id=COALESCE(excluded.job_id,applications.job_id),"
        // Opening a saved listing is the next step of its pipeline.
        "status_changed_at=CASE WHEN applications.status='Saved' THEN excluded.last_opened_at "
        "ELSE applications.status_changed_at END,"
        "history=CASE WHEN applications.status='Saved' THEN json_insert(CASE WHEN json_valid(applications.history) "
        "THEN applications.history ELSE '[]' END,'$[#]',json_object('status','Opened','at',excluded.last_opened_at)) "
        "ELSE applications.history END,"
        "status=CASE WHEN applications.status='Saved' THEN 'Opened' ELSE applications.status END;",
        {jobId ? SQLiteValue::integer(*jobId) : SQLiteValue::null(), SQLiteValue::text(title),
         SQLiteValue::text(company), SQLiteValue::text(url), SQLiteValue::text(stamp), SQLiteValue::text(stamp),
         SQLiteValue::text(stamp), SQLiteValue::text(stamp)});
}

json DatabaseService::trackerCounts() const {
    const std::string today = dateOf(clock_->now());
    // Follow-ups of closed applications are moot; a date set on a saved entry is still a reminder.
    const std::string due = "follow_up_at<>'' AND follow_up_at<=? AND status NOT IN ('Rejected','Withdrawn')";
    json counts{{"applied", 0}, {"interviewing", 0}, {"followUpsDue", 0}, {"followUps", json::array()}};
    try {
        auto rows = db_->query("SELECT COALESCE(SUM(status NOT IN ('','Saved','Opened')),0) AS applied,"
                               "COALESCE(SUM(status='Interviewing'),0) AS interviewing,"
                               "COALESCE(SUM(" + std::string(due) + "),0) AS due FROM applications;",
                               {SQLiteValue::text(today)});
        if (!rows.empty()) {
            counts["applied"] = sqlite_row::integer(rows.front(), "applied").value_or(0);
            counts["interviewing"] = sqlite_row::integer(rows.front(), "interviewing").value_or(0);
            counts["followUpsDue"] = sqlite_row::integer(rows.front(), "due").value_or(0);
        }
        for (const auto& row : db_->query(std::string("SELECT ") + kColumns + " FROM applications WHERE " + due +
                                              " ORDER BY follow_up_at ASC,id ASC LIMIT ?;",
                                          {SQLiteValue::text(today), SQLiteValue::integer(kFollowUpsListed)}))
            counts["followUps"].push_back(applicationObject(row));
    } catch (const std::exception&) {
        return json{{"applied", 0}, {"interviewing", 0}, {"followUpsDue", 0}, {"followUps", json::array()}};
    }
    return counts;
}

} // namespace velmora
