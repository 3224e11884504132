#pragma once

#include "core/Clock.h"
#include "jobs/BatchWriter.h"
#include "jobs/HttpClient.h"
#include "core/IncomingJob.h"
#include "jobs/JobSourceEndpoints.h"
#include "core/SecurityAssessment.h"

#include <cstdint>
#include <functional>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace velmora {

class DatabaseService;
class SecurityService;

// Refreshes the local job database from the job boards. One sync visits the sources in a
// fixed order, each at most once per its own minimum interval; every usable listing is
// classified, its link rated and stored at once by link, so the page sees rows while a sync
// runs and a late failure loses nothing. A failing source is recorded in the summary and
// retried at the next sync. Holds no state of its own between calls; sync() has no guard
// against running twice at once (the caller keeps that flag).
class JobAggregatorService {
public:
    using json = nlohmann::json;
    // (message, current, total)
    using Progress = std::function<void(const std::string&, int64_t, int64_t)>;

    struct Source {
        const char* displayName;
        int minimumIntervalHours;
    };
    // Sync order.
    static const std::vector<Source>& schedule();
    static constexpr const char* kRemoteJobsName = "RemoteJobs.org";

    JobAggregatorService(std::shared_ptr<DatabaseService> db, std::shared_ptr<SecurityService> security,
                         std::shared_ptr<HttpClient> http, JobSourceEndpoints endpoints,
                         std::shared_ptr<const Clock> clock, std::shared_ptr<Sleeper> sleeper);

    // Never fails as a whole. Returns {imported, expiredRemoved, sources[8], completedAt}. A
    // failed source's row adds errorKind ("http", "timeout", "dns", "tls", "network",
    // "response") and, for "http", httpStatus. The summary is also kept (lastSummary).
    json sync(const Progress& progress = {});
    // Fetches one board now, whatever its interval, and returns the last summary with that
    // board's row replaced (and "retried": its name), which is kept in turn.
    // Throws VelmoraError for a name that is not one of schedule()'s.
    json retrySource(const std::string& name, const Progress& progress = {});
    // Indexes for search the listings that syncs stored (every search finds them meanwhile,
    // by a slower scan), kIndexChunk per transaction so that a search typed meanwhile waits
    // for one chunk at most. Asks `keepGoing` before each chunk. Returns how many it indexed;
    // throws on a database failure. Kept out of sync() so that the sync ends when its listings
    // are stored.
    static constexpr int64_t kIndexChunk = 1000;
    int64_t indexStoredListings(const std::function<bool()>& keepGoing = {}, int64_t chunk = kIndexChunk);
    // The summary of the last sync or retry, across restarts; null when there is none.
    json lastSummary() const;
    static constexpr const char* kSummaryKey = "lastSyncSummary";
    // The user's interval (1, 6, 12 or 24 hours; anything else is repaired to 24) has passed
    // since the last completed sync, or there was none.
    bool isSyncDue();

    // The search text of the user's settings: jobTitle and keywords, trimmed, joined by a space.
    std::string searchQuery() const;

    static std::string classify(const std::string& title);
    static std::string normalizeCategory(const std::string& sourceCategory);

    // ---- The adapters: each returns the number of listings stored, or throws VelmoraError.
    int64_t fetchHimalayas(const std::string& query, const Progress& progress = {});
    // 1 when the listing was stored, 0 when it was skipped.
    int importHimalayas(const json& listing);
    int64_t fetchJobicy(const std::string& query, const Progress& progress = {});
    int64_t fetchArbeitnow(const std::string& firstPageUrl, const std::string& displayName, const std::string& query,
                           const Progress& progress = {});
    int64_t fetchWWR(const std::string& query, const Progress& progress = {});
    int64_t fetchRemotive(const std::string& query, const Progress& progress = {});
    int64_t fetchRemoteOK(const std::string& query, const Progress& progress = {});
    int64_t fetchRemoteJobsOrg(const std::string& query, const Progress& progress = {});

    // GET and parse; status outside 200..299 fails with "Job source returned an HTTP error.".
    json getJSONAny(const std::string& url);
    // As getJSONAny, and fails with "A job source returned an unexpected response." unless
    // the value is an object.
    json getJSON(const std::string& url);

    const JobSourceEndpoints& endpoints() const { return endpoints_; }

    // Paging limits and waits between pages.
    static constexpr int kArbeitnowMaxPages = 30;
    static constexpr int kHimalayasMaxSearchPages = 25;
    static constexpr int64_t kHimalayasMaxStored = 5000;
    static constexpr int64_t kRemoteJobsMaxStored = 2500;
    static constexpr int kHimalayasPageSize = 20;
    static constexpr int kRemoteJobsPageSize = 50;
    // Page bounds for the two offset-paged services, as many pages as their stored limits
    // need at full pages: pages of listings that cannot be stored must not page for ever.
    static constexpr int kHimalayasMaxBrowsePages = 250;
    static constexpr int kRemoteJobsMaxPages = 50;
    static constexpr std::chrono::milliseconds kArbeitnowWait{120};
    static constexpr std::chrono::milliseconds kHimalayasWait{150};
    static constexpr std::chrono::milliseconds kRemoteJobsWait{200};
    // JSON nested deeper than this is refused before parsing.
    static constexpr int kMaxJsonDepth = 512;

private:
    json syncSource(const std::string& name, const std::string& query, const Progress& progress);
    void rememberSummary(const json& summary);

    // Completes the listing (category, link rating) and stores it. Throws on a database failure.
    // During a sync, listings are stored in batches of kStoreBatch, one transaction each
    // instead of one commit per listing, written by writer_ while the next batch is read;
    // each source's batches are all written before it counts as done. A batch holds the
    // connection for tens of milliseconds, which is all a search typed meanwhile waits.
    // False (and nothing stored) for a listing whose link is not an http or https address.
    bool store(IncomingJob job, const std::string& rawCategory);
    void flushPending();
    // Called before every request to a board: listings parsed more than kMaxPendingAge ago are
    // stored first, so a slow board's pages show up page by page while a fast one still
    // fills whole batches.
    void flushBeforeWaiting();
    static constexpr size_t kStoreBatch = 200;
    static constexpr std::chrono::milliseconds kMaxPendingAge{100};
    using Batch = std::vector<std::pair<IncomingJob, SecurityAssessment>>;
    // Only the sync thread touches these three; writer_ exists while a source is read.
    Batch pending_;
    std::unique_ptr<BatchWriter<Batch>> writer_;
    std::chrono::steady_clock::time_point pendingSince_{};
    TimePoint now() const { return clock_->now(); }
    void report(const Progress& progress, const std::string& message, int64_t current, int64_t total) const;

    std::shared_ptr<DatabaseService> db_;
    std::shared_ptr<SecurityService> security_;
    std::shared_ptr<HttpClient> http_;
    JobSourceEndpoints endpoints_;
    std::shared_ptr<const Clock> clock_;
    std::shared_ptr<Sleeper> sleeper_;
};

} // namespace velmora
