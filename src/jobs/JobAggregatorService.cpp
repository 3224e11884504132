#include "jobs/JobAggregatorService.h"

#include "core/DateUtil.h"
#include "core/JSONTools.h"
#include "core/RequestLimits.h"
#include "core/Log.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "core/WebUrl.h"
#include "jobs/JobCategories.h"
#include "jobs/JobSourceError.h"
#include "jobs/SecurityService.h"
#include "storage/DatabaseService.h"

namespace velmora {

namespace {

// The parser's message without its internal prefix and without the bytes it choked on
// (which may not be valid text).
std::string parserMessage(const std::exception& e) {
    std::string m = e.what();
    if (auto close = m.find("] "); m.rfind("[json.exception", 0) == 0 && close != std::string::npos)
        m = m.substr(close + 2);
    if (auto last = m.find("; last read"); last != std::string::npos) m = m.substr(0, last);
    return "A job source returned invalid JSON: " + m;
}

} // namespace

const std::vector<JobAggregatorService::Source>& JobAggregatorService::schedule() {
    static const std::vector<Source> sources = {
        {"Himalayas", 24}, {"Jobicy", 1},   {"Arbeitnow Europe", 6}, {"Arbeitnow UK", 6},
        {"We Work Remotely", 1}, {"Remotive", 6}, {"Remote OK", 1},   {kRemoteJobsName, 24},
    };
    return sources;
}

JobAggregatorService::JobAggregatorService(std::shared_ptr<DatabaseService> db, std::shared_ptr<SecurityService> security,
                                           std::shared_ptr<HttpClient> http, JobSourceEndpoints endpoints,
                                           std::shared_ptr<const Clock> clock, std::shared_ptr<Sleeper> sleeper)
    : db_(std::move(db)), security_(std::move(security)), http_(std::move(http)), endpoints_(std::move(endpoints)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      sleeper_(sleeper ? std::move(sleeper) : std::make_shared<RealSleeper>()) {
    if (!http_) http_ = std::make_shared<HttpClient>();
}

std::string JobAggregatorService::classify(const std::string& title) { return velmora::classify(title); }

std::string JobAggregatorService::normalizeCategory(const std::string& sourceCategory) {
    return velmora::normalizeCategory(sourceCategory);
}

void JobAggregatorService::report(const Progress& progress, const std::string& message, int64_t current,
                                  int64_t total) const {
    if (progress) progress(message, current, total);
}

std::string JobAggregatorService::searchQuery() const {
    std::vector<std::string> parts;
    for (const char* key : {"jobTitle", "keywords"}) {
        std::string value = text::trim(db_->getSetting(key, ""));
        if (!value.empty()) parts.push_back(std::move(value));
    }
    return text::join(parts, " ");
}

JobAggregatorService::json JobAggregatorService::sync(const Progress& progress) {
    int64_t expiredRemoved = 0;
    try {
        expiredRemoved = db_->deleteExpiredJobs();
    } catch (const std::exception& e) {
        logLine(std::string("Velmora job expiry error: ") + e.what());
    }

    const std::string query = searchQuery();
    json sources = json::array();
    int64_t imported = 0;
    int failed = 0, fetched = 0;

    for (const auto& source : schedule()) {
        const std::string name = source.displayName;
        auto last = DateUtil::parse(db_->getSetting(std::string("sourceLast.") + name, ""));
        // A time in the future (a clock that was wrong, an edited file) does not hold the source back.
        if (last && *last <= now() && *last > now() - std::chrono::hours(source.minimumIntervalHours)) {
            sources.push_back({{"source", name}, {"status", "cached"}, {"imported", 0}});
            continue;
        }
        json record = syncSource(name, query, progress);
        imported += record.value("imported", int64_t{0});
        if (record.value("status", "") == "ok") ++fetched;
        else ++failed;
        sources.push_back(std::move(record));
    }

    // A sync in which every source that was due failed has not brought the list up to date, so
    // the next one must not wait a whole interval.
    if (fetched > 0 || failed == 0) {
        try {
            db_->setSetting("lastJobSync", DateUtil::withFractional(now()));
        } catch (const std::exception&) {
        }
    }
    report(progress, "Job search complete", 0, 0);
    json summary{{"imported", imported},
                 {"expiredRemoved", expiredRemoved},
                 {"sources", std::move(sources)},
                 {"completedAt", DateUtil::withFractional(now())}};
    rememberSummary(summary);
    return summary;
}

JobAggregatorService::json JobAggregatorService::syncSource(const std::string& name, const std::string& query,
                                                            const Progress& progress) {
    report(progress, "Searching " + name + "\u2026", 0, 0);
    try {
        writer_ = std::make_unique<BatchWriter<Batch>>([db = db_](Batch& batch) { db->upsertJobs(batch); });
        int64_t count = 0;
        if (name == "Himalayas") count = fetchHimalayas(query, progress);
        else if (name == "Jobicy") count = fetchJobicy(query, progress);
        else if (name == "Arbeitnow Europe")
            count = fetchArbeitnow(endpoints_.arbeitnow + "/api/job-board-api", name, query, progress);
        else if (name == "Arbeitnow UK")
            count = fetchArbeitnow(endpoints_.arbeitnowUk + "/api/job-board-api", name, query, progress);
        else if (name == "We Work Remotely") count = fetchWWR(query, progress);
        else if (name == "Remotive") count = fetchRemotive(query, progress);
        else if (name == "Remote OK") count = fetchRemoteOK(query, progress);
        else count = fetchRemoteJobsOrg(query, progress);
        flushPending();
        writer_->drain();
        writer_.reset();
        try {
            db_->setSetting(std::string("sourceLast.") + name, DateUtil::withFractional(now()));
        } catch (const std::exception&) {
            // the source is simply fetched again next time
        }
        return {{"source", name}, {"status", "ok"}, {"imported", count}};
    } catch (const std::exception& e) {
        // Listings read before the failure are kept, as they would be one by one: the batches
        // handed over are written (or their failure is the one reported), then what is left.
        try {
            if (writer_) writer_->drain();
        } catch (const std::exception& writeError) {
            logLine(std::string("Velmora job store error: ") + writeError.what());
        }
        writer_.reset();
        try {
            flushPending();
        } catch (const std::exception& flushError) {
            pending_.clear();
            logLine(std::string("Velmora job store error: ") + flushError.what());
        }
        logLine("Velmora job source error (" + name + "): " + e.what());
        json record{{"source", name}, {"status", "error"}, {"imported", 0}, {"error", e.what()}};
        if (const auto* failure = dynamic_cast<const JobSourceError*>(&e)) {
            record["errorKind"] = failure->kind();
            if (failure->httpStatus() > 0) record["httpStatus"] = failure->httpStatus();
        } else {
            record["errorKind"] = "response"; // reached, but what came back could not be used
        }
        return record;
    }
}

JobAggregatorService::json JobAggregatorService::retrySource(const std::string& name, const Progress& progress) {
    bool known = false;
    for (const auto& source : schedule()) known = known || name == source.displayName;
    if (!known) throw VelmoraError("Unknown job source: " + name);
    json record = syncSource(name, searchQuery(), progress);
    report(progress, "Job search complete", 0, 0);

    // The board's row replaces its row in the last summary; the other boards keep theirs.
    json summary = lastSummary();
    if (!summary.is_object() || !summary.contains("sources") || !summary["sources"].is_array())
        summary = json{{"sources", json::array()}};
    bool replaced = false;
    for (auto& row : summary["sources"]) {
        if (row.is_object() && row.value("source", "") == name) {
            row = record;
            replaced = true;
        }
    }
    if (!replaced) summary["sources"].push_back(record);
    summary["imported"] = record.value("imported", int64_t{0});
    summary["expiredRemoved"] = 0;
    summary["completedAt"] = DateUtil::withFractional(now());
    summary["retried"] = name;
    rememberSummary(summary);
    return summary;
}

int64_t JobAggregatorService::indexStoredListings(const std::function<bool()>& keepGoing, int64_t chunk) {
    int64_t indexed = 0;
    while (!keepGoing || keepGoing()) {
        const int64_t done = db_->indexPendingJobs(chunk);
        indexed += done;
        if (done < chunk) break;
    }
    return indexed;
}

void JobAggregatorService::rememberSummary(const json& summary) {
    try {
        db_->setSetting(kSummaryKey, summary.dump());
    } catch (const std::exception& e) {
        logLine(std::string("Velmora job sync summary error: ") + e.what());
    }
}

JobAggregatorService::json JobAggregatorService::lastSummary() const {
    const std::string stored = db_->getSetting(kSummaryKey, "");
    if (stored.empty()) return nullptr;
    json summary = json::parse(stored, nullptr, false);
    // Written by this program, but a settings row can be edited or cut short: show nothing then.
    if (!summary.is_object() || !summary.contains("sources") || !summary["sources"].is_array()) return nullptr;
    return summary;
}

bool JobAggregatorService::isSyncDue() {
    std::string stored = text::trim(db_->getSetting("searchIntervalHours", "24"));
    int hours = 0;
    for (int allowed : {1, 6, 12, 24})
        if (stored == std::to_string(allowed)) hours = allowed;
    if (hours == 0) {
        hours = 24;
        try {
            db_->setSetting("searchIntervalHours", "24");
        } catch (const std::exception&) {
        }
    }
    auto last = DateUtil::parse(db_->getSetting("lastJobSync", ""));
    if (!last || *last > now()) return true; // a time in the future cannot be when we last synced
    return *last <= now() - std::chrono::hours(hours); // as moments: a far-off date cannot overflow
}

JobAggregatorService::json JobAggregatorService::getJSONAny(const std::string& url) {
    flushBeforeWaiting();
    HttpResponse response = http_->getApi(url);
    if (response.status < 200 || response.status > 299) throw JobSourceError("Job source returned an HTTP error.", "http", response.status);
    if (JSONTools::nestingDepth(response.body, kMaxJsonDepth) > size_t(kMaxJsonDepth))
        throw VelmoraError("A job source returned JSON nested too deeply to read.");
    try {
        return json::parse(response.body);
    } catch (const json::exception& e) {
        throw VelmoraError(parserMessage(e));
    }
}

JobAggregatorService::json JobAggregatorService::getJSON(const std::string& url) {
    json value = getJSONAny(url);
    if (!value.is_object()) throw VelmoraError("A job source returned an unexpected response.");
    return value;
}

bool JobAggregatorService::store(IncomingJob job, const std::string& rawCategory) {
    // Only a link the browser can open as a web page is worth keeping; a javascript:, data: or
    // file: link from a board would otherwise wait in the list for a click.
    if (!WebUrl::parse(job.url)) return false;
    // A listing dated after the moment it was fetched would stay on top of the newest-first list.
    if (job.publishedAt && *job.publishedAt > now()) job.publishedAt = now();
    job.category = normalizeCategory(rawCategory);
    SecurityAssessment assessment = security_->assess(job.url, job.source);
    if (!writer_) { // outside a sync
        db_->upsertJob(job, assessment);
        return true;
    }
    if (pending_.empty()) pendingSince_ = std::chrono::steady_clock::now();
    pending_.emplace_back(std::move(job), std::move(assessment));
    if (pending_.size() >= kStoreBatch) flushPending();
    return true;
}

void JobAggregatorService::flushBeforeWaiting() {
    if (writer_ && !pending_.empty() && std::chrono::steady_clock::now() - pendingSince_ >= kMaxPendingAge)
        flushPending();
}

void JobAggregatorService::flushPending() {
    if (pending_.empty()) return;
    if (writer_) {
        writer_->submit(pending_); // takes the batch unless an earlier write failed
        return;
    }
    auto batch = std::move(pending_);
    pending_.clear();
    db_->upsertJobs(batch);
}

} // namespace velmora
