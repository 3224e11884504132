#pragma once

#include "core/DateUtil.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/SecurityService.h"
#include "storage/DatabaseService.h"
#include "support/JobBoardFixtureServer.h"
#include "support/TempDir.h"

#include <algorithm>

namespace velmora::testing {

using Progress = std::tuple<std::string, int64_t, int64_t>;
using Reply = JobBoardFixtureServer::Reply;
using json = nlohmann::json;

// A reply with more than status, body and type: with({200, "[]"}, [](Reply& r) { r.delay = ...; }).
inline Reply with(Reply reply, const std::function<void(Reply&)>& change) {
    change(reply);
    return reply;
}
inline Reply redirect(int status, const std::string& location) {
    return with({status, ""}, [&](Reply& r) { r.location = location; });
}

// A real database file, the real link rating and libcurl, pointed at the loopback job
// boards, with "now" pinned to 2026-12-06T12:00:00Z and page waits recorded, not slept.
struct SyncTestBed {
    TempDir dir;
    JobBoardFixtureServer boards;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-12-06T12:00:00Z"));
    std::shared_ptr<NoSleeper> sleeper = std::make_shared<NoSleeper>();
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<SecurityService> security = std::make_shared<SecurityService>();
    std::shared_ptr<HttpClient> http;
    std::unique_ptr<JobAggregatorService> service;
    std::vector<Progress> progress;

    // `file`: a database left by another run, instead of a new one in the bed's folder.
    explicit SyncTestBed(HttpClient::Options options = quick(1500, 32u << 20), const std::string& file = "")
        : sqlite(std::make_shared<SQLiteDatabase>(file.empty() ? (dir / "velmora.db").string() : file)),
          db(std::make_shared<DatabaseService>(sqlite, clock)), http(std::make_shared<HttpClient>(options)) {
        db->initialize();
        service = serviceWith(boards.endpointsJson(), sleeper);
    }

    static HttpClient::Options quick(int ms, size_t maxBodyBytes = 32u << 20) {
        return {std::chrono::milliseconds(ms), std::chrono::milliseconds(ms), maxBodyBytes};
    }

    std::unique_ptr<JobAggregatorService> serviceWith(const std::string& endpoints, std::shared_ptr<Sleeper> s) {
        return std::make_unique<JobAggregatorService>(db, security, http, JobSourceEndpoints::fromJsonText(endpoints),
                                                      clock, std::move(s));
    }

    JobAggregatorService::Progress recorder() {
        return [this](const std::string& m, int64_t c, int64_t t) { progress.emplace_back(m, c, t); };
    }

    int64_t count(const std::string& where = "1=1", const std::vector<SQLiteValue>& bindings = {}) {
        return std::get<int64_t>(*sqlite->scalar("SELECT COUNT(*) FROM jobs WHERE " + where + ";", bindings));
    }

    // Stored cells of one listing joined by "|": "<null>" for NULL; "<none>" when the link is not stored.
    std::string cells(const std::string& url, std::string columns) {
        const std::string glue = ",'<null>')||'|'||IFNULL(";
        for (size_t at = columns.find(','); at != std::string::npos; at = columns.find(',', at + glue.size()))
            columns.replace(at, 1, glue);
        auto v = sqlite->scalar("SELECT ''||IFNULL(" + columns + ",'<null>') FROM jobs WHERE url=?;", {url});
        return v ? std::get<std::string>(*v) : "<none>";
    }

    // A listing stored before the sync, written directly so no adapter is involved.
    void storeListing(const std::string& url, const std::string& expires = "2027-01-01T00:00:00.000Z") {
        sqlite->execute("INSERT INTO jobs(external_id,source,title,company,category,location,description,url,added_at,"
                        "last_seen_at,expires_at) VALUES('x','Remotive','Old','Co','Sales','Remote','d',?,?,?,?);",
                        {url, expires, expires, expires});
    }

    // The name a sync reports for a fixture server's service (both lists are in sync order).
    static std::string sourceOf(const std::string& service) {
        const auto& all = JobBoardFixtureServer::services();
        return JobAggregatorService::schedule().at(std::ranges::find(all, service) - all.begin()).displayName;
    }

    // The summary's record of one source; null when the sync did not report it.
    static json sourceRecord(const json& summary, const std::string& name) {
        for (const auto& s : summary["sources"])
            if (s["source"] == name) return s;
        return nullptr;
    }

    // Every source fetched `ago`, so only the ones a test makes due are asked again.
    void fetchedAgo(std::chrono::minutes ago, const std::string& except = "") {
        for (const auto& s : JobAggregatorService::schedule())
            if (s.displayName != except)
                db->setSetting("sourceLast." + std::string(s.displayName),
                               DateUtil::withFractional(clock->now() - ago));
    }
};

} // namespace velmora::testing
