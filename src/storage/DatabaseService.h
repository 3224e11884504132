#pragma once

#include "core/Clock.h"
#include "storage/SQLiteDatabase.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

struct IncomingJob;
struct SecurityAssessment;

// The domain layer over the one shared connection: schema set-up, settings, and the job,
// application and resume queries. Reads for display swallow failures and fall back;
// writes report them.
class DatabaseService {
public:
    // `clock` gives "now" for expiry, recency and timestamps; none means the system clock.
    explicit DatabaseService(std::shared_ptr<SQLiteDatabase> db, std::shared_ptr<const Clock> clock = nullptr);

    SQLiteDatabase& db() const { return *db_; }
    std::shared_ptr<SQLiteDatabase> sharedDb() const { return db_; }

    // Brings any database file (new, or from an earlier version) to the current schema and
    // settings. Idempotent.
    void initialize();

    // Never fails: a missing key, a non-text value or a failing query gives the fallback.
    std::string getSetting(const std::string& key, const std::string& fallback) const;
    void setSetting(const std::string& key, const std::string& value);
    // The statement setSetting runs (key, value), for callers that write a setting inside a
    // transaction of their own.
    static constexpr const char* kSetSettingSql =
        "INSERT INTO settings(key,value) VALUES(?,?) ON CONFLICT(key) DO UPDATE SET value=excluded.value;";

    static const char* const kDefaultOllamaUrl;

    // ---- Jobs (the read operations return JSON-ready values and give an empty result on failure)

    // Unexpired listings matching the category ("All" or empty: any; otherwise exact and
    // case-sensitive), the search phrase (LIKE over title, company, description, tags, location)
    // and the location preference; newest first (publication time, else first-store time; ties:
    // the later stored first). limit is clamped to 1..500, offset to >= 0.
    nlohmann::json getJobs(const std::string& category, const std::string& query, int64_t limit,
                           int64_t offset) const;

    enum class JobSort { Newest, Match };
    // What the job list asks for. Out-of-range numbers are clamped by getJobs.
    struct JobQuery {
        std::string category = "All";
        std::string query;
        int64_t limit = 200;
        int64_t offset = 0;
        JobSort sort = JobSort::Newest;
        std::string source;           // exact source name; empty: any
        int64_t postedWithinDays = 0; // 0: any age; clamped to 0..365
        std::string jobType;          // one of jobTypes(); empty: any
        bool includeHidden = false;
        // The user's keywords, lower-case: `matchedSkills` names those a listing holds. They
        // stay in memory; the database keeps only the listing's own keywords and its score.
        std::set<std::string> skills;
    };
    // The job types the list can filter on, as the page names them; listings carry them in
    // their tags under many spellings ("Full-time", "FULL_TIME", "full time").
    static const std::vector<std::string>& jobTypes();
    // The same listings, further filtered, and each job of one posting shown once: listings
    // with the same normalised title and company collapse into the first stored one that
    // passes the filters, whose object names the others in `alsoOn`. Job objects also carry
    // `mark`, `matchScore`, `matchedSkills` and `applicationStatus`.
    nlohmann::json getJobs(const JobQuery& query) const;

    // Marks are kept per link, in their own table, so a listing that expires and comes back
    // keeps its mark. A mark applies to every stored link of the same posting. Throws
    // VelmoraError for an unknown id or mark.
    void setJobMark(int64_t id, const std::string& mark);

    // ---- Match scores (computed above this layer; stored here so the list can sort by them)

    struct MatchInput {
        int64_t id = 0;
        std::string title, tags, description;
        std::optional<std::string> keywords; // the listing's keywords once extracted
    };
    struct MatchResult {
        int64_t id = 0;
        std::string keywords; // space-separated, kept so a new basis needs no re-extraction
        int score = 0;
    };
    // Listings whose score is missing or stale, at most `limit`.
    std::vector<MatchInput> staleMatches(int64_t limit) const;
    void storeMatches(const std::vector<MatchResult>& results);
    // Marks every score stale when `basis` (a fingerprint of the user's skills) changed;
    // returns whether it did.
    bool resetMatchesIfBasisChanged(const std::string& basis);
    // The keywords of the most recently analysed resume (empty when none).
    std::vector<std::string> latestResumeKeywords() const;

    // ---- Saved searches

    // {name, query, category, source, postedWithinDays, jobType} -> new id. Throws VelmoraError
    // for a blank or too long name or query.
    int64_t saveSearch(const nlohmann::json& search);
    // [{id, name, query, category, source, postedWithinDays, jobType, createdAt, lastOpenedAt,
    // newCount}], newCount counting the listings stored since the search was last opened.
    nlohmann::json getSavedSearches() const;
    // Marks the search seen and returns it. Throws VelmoraError for an unknown id.
    nlohmann::json openSavedSearch(int64_t id);
    void deleteSavedSearch(int64_t id);
    static constexpr size_t kMaxSavedQueryCharacters = 500;
    static constexpr size_t kMaxSavedNameCharacters = 120;
    // [{name, count}] of unexpired listings under the location preference, largest first.
    nlohmann::json getCategories() const;
    // {totalJobs, checkedJobs, added7d, applications}; a failing count is 0.
    nlohmann::json dashboardCounts() const;
    // Stores a listing by its link (insert, or update keeping added_at and an earlier
    // published_at when the new one is absent); expiry is now + 90 days. Returns the row id,
    // 0 when it cannot be read back. Throws on a database failure.
    int64_t upsertJob(const IncomingJob& job, const SecurityAssessment& security);
    // The same upsert for many listings in one transaction: a sync stores page by page
    // instead of paying one commit per listing. All or nothing. The listings are not indexed
    // for search yet (indexPendingJobs), but every search finds them already.
    void upsertJobs(const std::vector<std::pair<IncomingJob, SecurityAssessment>>& jobs);
    // Indexes up to `limit` stored listings that wait for the search index, in one
    // transaction; returns how many waited (0 when none, or without the index). Throws on a
    // database failure, leaving them waiting.
    int64_t indexPendingJobs(int64_t limit);
    // Listings indexed at start-up; more are left to the indexing after the next sync.
    static constexpr int64_t kStartupIndexLimit = 2000;
    // Deletes listings whose expiry has passed; returns how many were expired (0 if the count fails).
    int64_t deleteExpiredJobs();

    // ---- Applications (DatabaseServiceApplications.cpp)

    // The stages the page offers, in pipeline order. Statuses are stored as these texts; rows
    // written by earlier versions may hold others, which are kept until the user moves them.
    static const std::vector<std::string>& applicationStages();
    // Notes longer than this many characters are cut to it rather than refused.
    static constexpr size_t kMaxNotesCharacters = 20000;
    // Status changes kept per application; the oldest drop off first.
    static constexpr size_t kMaxHistoryEntries = 50;

    // [{id, jobId, title, company, url, firstOpenedAt, lastOpenedAt, status, notes, appliedAt,
    // statusChangedAt, followUpAt, history: [{status, at}]}], most recently opened first.
    // appliedAt and statusChangedAt are timestamps, followUpAt a calendar date (YYYY-MM-DD);
    // each is "" when not known (rows from before they were recorded).
    nlohmann::json getApplications() const;
    // One application object; throws VelmoraError when the id names none.
    nlohmann::json getApplication(int64_t id) const;

    struct NewApplication {
        std::optional<int64_t> jobId; // a stored listing; fills a missing title, company and link
        std::string title;
        std::string company;
        std::string url; // http or https; the one entry per link
        std::string status = "Saved";
        std::string notes;
    };
    // Adds an entry by hand or from a listing and returns it. A link already tracked gives the
    // existing entry unchanged (linked to the listing if it was not). Throws VelmoraError for a
    // missing title, a link that is not http(s) or an unknown stage.
    nlohmann::json addApplication(const NewApplication& entry);

    // Only the given fields change. A new stage stamps statusChangedAt and extends the
    // history; the first stage past Opened stamps appliedAt and, when no follow-up is set,
    // sets one a week later. followUpAt "" clears it. Throws VelmoraError for an unknown id,
    // stage or date, changing nothing, and on a database failure.
    struct ApplicationChange {
        std::optional<std::string> status;
        std::optional<std::string> notes;
        std::optional<std::string> followUpAt;
    };
    nlohmann::json updateApplication(int64_t id, const ApplicationChange& change);
    void updateApplication(int64_t id, const std::string& status, const std::string& notes);
    // Throws VelmoraError when the id names no application.
    void deleteApplication(int64_t id);
    // Records that the user opened an application page: a new row with status "Opened", or for
    // a link seen before, refresh last_opened_at, title and company (notes and the first time
    // stay; a saved entry moves on to Opened, any other status stays; a null jobId keeps the
    // stored one). A jobId that names no stored listing is recorded as null. Throws on a
    // database failure.
    void recordOpenedApplication(std::optional<int64_t> jobId, const std::string& title, const std::string& company,
                                 const std::string& url);
    // {applied (entries past Opened), interviewing, followUpsDue (follow-up today or earlier,
    // not Rejected or Withdrawn), followUps (those entries, earliest first)}; 0 and [] on failure.
    nlohmann::json trackerCounts() const;

    // ---- Resumes

    // Records an analysed resume file (its text is not kept). Failures are ignored.
    void saveResume(const std::string& name, const std::string& path, const std::string& analysisJson);

private:
    struct Condition {
        std::string sql;
        std::vector<SQLiteValue> bindings;
    };
    // The location-mode filter on `column`, an expression that yields a listing's location.
    Condition locationClause(const std::string& column = "location") const;
    // The same rows as locationClause(), for queries that count every stored listing.
    Condition locationSetClause(const std::string& column = "location") const;
    // Every filter of `query` but the search pre-filter and marks, on the columns of `alias`.
    Condition jobFilter(const JobQuery& query, const std::string& alias) const;
    // The listings of `filter` that are the first of their posting among those passing it.
    static std::string firstOfPosting(const Condition& filterOnD);
    // Listings (first of each posting, hidden ones left out) of a stored search added after `since`.
    int64_t countNewListings(const JobQuery& query, const std::string& since) const;
    void fillDedupeKeys();
    // Job objects for rows of the job list, with the other links and tracker statuses.
    nlohmann::json jobObjects(const std::vector<SQLiteRow>& rows, const std::set<std::string>& skills) const;
    // The listings every counter counts (unexpired, located, not hidden, each posting once).
    Condition countedListings() const;
    // Indexes that keep search-as-you-type fast on large job tables; see DatabaseServiceJobs.cpp.
    void initializeJobSearch();
    // Indexes the listings stored (or changed) by the statements `run` ran before it, in the
    // same transaction.
    void indexPendingListings(const SQLiteDatabase::StatementRunner& run) const;
    int64_t scalarInt(const std::string& sql, const std::vector<SQLiteValue>& bindings) const;
    std::string nowText() const;

    std::shared_ptr<SQLiteDatabase> db_;
    std::shared_ptr<const Clock> clock_;
    bool searchIndexReady_ = false; // the trigram index over the job texts exists and is in step
};

} // namespace velmora
