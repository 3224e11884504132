#pragma once

#include "core/Clock.h"
#include "core/DateUtil.h"
#include "core/IncomingJob.h"
#include "core/SecurityAssessment.h"
#include "storage/DatabaseService.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace velmora::testing {

// A real database file with the current schema, a pinned clock and helpers to store listings.
struct JobDb {
    TempDir dir;
    std::shared_ptr<FixedClock> clock =
        std::make_shared<FixedClock>(*DateUtil::parse("2026-03-01T12:00:00Z"));
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    DatabaseService db{sqlite, clock};

    JobDb() { db.initialize(); }

    static IncomingJob job(const std::string& url, const std::string& title = "Backend Engineer",
                           const std::string& location = "Worldwide", const std::string& category = "Software & IT") {
        IncomingJob j;
        j.externalId = "ext-" + url;
        j.source = "Remotive";
        j.title = title;
        j.company = "Acme " + url; // one posting per link unless a test makes duplicates
        j.category = category;
        j.location = location;
        j.description = "Build things.";
        j.url = url;
        return j;
    }

    static SecurityAssessment rating(int score, const std::string& label = "Review") {
        SecurityAssessment a;
        a.score = score;
        a.label = label;
        return a;
    }

    int64_t store(const IncomingJob& j, int score = 65) { return db.upsertJob(j, rating(score)); }

    std::vector<std::string> urls(const nlohmann::json& jobs) const {
        std::vector<std::string> out;
        for (const auto& j : jobs) out.push_back(j["url"].get<std::string>());
        return out;
    }

    std::vector<std::string> search(const std::string& query, const std::string& category = "All") const {
        return urls(db.getJobs(category, query, 500, 0));
    }

    void advanceDays(int days) { clock->advance(std::chrono::hours(24 * days)); }
};

} // namespace velmora::testing
