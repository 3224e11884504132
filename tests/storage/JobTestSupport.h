#pragma once

#include "core/Clock.h"
#include "core/DateUtil.h"
#include "core/IncomingJob.h"
#include "core/SecurityAssessment.h"
#include "storage/DatabaseService.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::testing {

using Urls = std::vector<std::string>;

// A real database file with the current schema, a pinned clock and helpers to store listings.
struct JobDb {
    TempDir dir;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-01T12:00:00Z"));
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    DatabaseService db{sqlite, clock};

    JobDb() { db.initialize(); }

    // Links on the test host are written and listed by their path alone: job("a") is https://e.com/a.
    static constexpr const char* kHost = "https://e.com/";

    static IncomingJob job(const std::string& link, const std::string& title = "Backend Engineer",
                           const std::string& location = "Worldwide", const std::string& category = "Software & IT") {
        const std::string url = link.find("://") == std::string::npos ? kHost + link : link;
        // One posting per link unless a test makes duplicates: the company names the link.
        return {"ext-" + url, "Remotive", title, "Acme " + url, category, location, "Build things.", url, {}, {}};
    }

    static SecurityAssessment rating(int score, const std::string& label = "Review") {
        return {score, label, false, {}, {}, {}};
    }

    int64_t store(const IncomingJob& j, int score = 65) { return db.upsertJob(j, rating(score)); }

    static Urls urls(const nlohmann::json& jobs) {
        Urls out;
        for (const auto& j : jobs) {
            const std::string url = j["url"];
            out.push_back(url.rfind(kHost, 0) == 0 ? url.substr(std::string(kHost).size()) : url);
        }
        return out;
    }

    static DatabaseService::JobQuery query(const std::function<void(DatabaseService::JobQuery&)>& change = {}) {
        DatabaseService::JobQuery q;
        q.limit = 500;
        if (change) change(q);
        return q;
    }

    Urls list(const std::function<void(DatabaseService::JobQuery&)>& change = {}) const {
        return urls(db.getJobs(query(change)));
    }

    void advanceDays(int days) { clock->advance(std::chrono::hours(24 * days)); }
};

// Each field of `expected` has its value in `actual`; other fields are not compared.
inline void expectFields(const nlohmann::json& actual, const nlohmann::json& expected) {
    for (const auto& [key, value] : expected.items())
        EXPECT_EQ(actual[key], value) << key;
}

} // namespace velmora::testing
