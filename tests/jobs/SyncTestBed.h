#pragma once

#include "core/DateUtil.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/SecurityService.h"
#include "storage/DatabaseService.h"
#include "support/JobBoardFixtureServer.h"
#include "support/TempDir.h"

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace velmora::testing {

// A real database file, the real link rating and libcurl, pointed at the loopback job
// boards, with "now" pinned to 2026-12-06T12:00:00Z and page waits recorded, not slept.
struct SyncTestBed {
    TempDir dir;
    JobBoardFixtureServer boards;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-12-06T12:00:00Z"));
    std::shared_ptr<NoSleeper> sleeper = std::make_shared<NoSleeper>();
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    std::shared_ptr<DatabaseService> db = std::make_shared<DatabaseService>(sqlite, clock);
    std::shared_ptr<SecurityService> security = std::make_shared<SecurityService>();
    std::shared_ptr<HttpClient> http;
    std::unique_ptr<JobAggregatorService> service;
    std::vector<std::tuple<std::string, int64_t, int64_t>> progress;

    explicit SyncTestBed(HttpClient::Options options = shortTimeouts()) {
        db->initialize();
        http = std::make_shared<HttpClient>(options);
        service = std::make_unique<JobAggregatorService>(
            db, security, http, JobSourceEndpoints::fromJsonText(boards.endpointsJson()), clock, sleeper);
    }

    static HttpClient::Options shortTimeouts() {
        HttpClient::Options o;
        o.apiTimeout = std::chrono::milliseconds(1500);
        o.feedTimeout = std::chrono::milliseconds(1500);
        return o;
    }

    JobAggregatorService::Progress recorder() {
        return [this](const std::string& m, int64_t c, int64_t t) { progress.emplace_back(m, c, t); };
    }

    int64_t count(const std::string& where = "1=1", const std::vector<SQLiteValue>& bindings = {}) {
        auto v = sqlite->scalar("SELECT COUNT(*) FROM jobs WHERE " + where + ";", bindings);
        return std::get<int64_t>(*v);
    }

    // One stored cell as text: "<null>" for NULL, "<none>" when the link is not stored.
    std::string cell(const std::string& url, const std::string& column) {
        auto rows = sqlite->query("SELECT " + column + " AS v FROM jobs WHERE url=?;", {url});
        if (rows.empty()) return "<none>";
        const auto& v = rows.front().at("v");
        if (const auto* n = std::get_if<int64_t>(&v)) return std::to_string(*n);
        return sqlite_row::text(rows.front(), "v").value_or("<null>");
    }

    // A listing stored before the sync, written directly so no adapter is involved.
    void storeListing(const std::string& url, const std::string& expiresAt = "2027-01-01T00:00:00.000Z") {
        sqlite->execute("INSERT INTO jobs(external_id,source,title,company,category,location,description,url,added_at,"
                        "last_seen_at,expires_at) VALUES('x','Remotive','Old','Co','Sales','Remote','d',?,?,?,?);",
                        {url, expiresAt, expiresAt, expiresAt});
    }

    // The summary's record of one source; null when the sync did not report it.
    static nlohmann::json sourceRecord(const nlohmann::json& summary, const std::string& name) {
        for (const auto& s : summary["sources"])
            if (s["source"] == name) return s;
        return nullptr;
    }

    // Every source fetched `ago`, so only the ones a test makes due are asked again.
    void fetchedAgo(std::chrono::minutes ago, const std::string& except = "") {
        for (const auto& s : JobAggregatorService::schedule())
            if (s.displayName != except)
                db->setSetting(std::string("sourceLast.") + s.displayName,
                               DateUtil::withFractional(clock->now() - ago));
    }
};

} // namespace velmora::testing
