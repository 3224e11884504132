// Bridge actions over the job list, categories, dashboard and link ratings.
#include "app/Actions.h"
#include "app/JobMatcher.h"
#include "core/VelmoraError.h"

#include <algorithm>

namespace velmora {

namespace {

// Scores for listings a sync just stored are computed when the list is next read; a list in
// newest order needs them only for its badges, so it pays for at most this many at once.
constexpr size_t kScoresPerNewestRead = 2000;

DatabaseService::JobQuery jobQuery(const json& payload) {
    DatabaseService::JobQuery q;
    q.category = JSONTools::s(payload, "category", "All");
    q.query = JSONTools::s(payload, "query", "");
    q.limit = JSONTools::i(payload, "limit", 200);
    q.offset = JSONTools::i(payload, "offset", 0);
    const std::string sort = JSONTools::s(payload, "sort", "newest");
    if (sort == "match") q.sort = DatabaseService::JobSort::Match;
    else if (sort != "newest" && !sort.empty())
        throw VelmoraError("Unknown sort \"" + sort + "\". Use \"newest\" or \"match\".");
    q.source = JSONTools::s(payload, "source", "");
    if (q.source == "All") q.source.clear();
    q.postedWithinDays = std::clamp<int64_t>(JSONTools::i(payload, "postedWithinDays", 0), 0, 365);
    q.jobType = JSONTools::s(payload, "jobType", "");
    if (q.jobType == "All") q.jobType.clear();
    const auto& types = DatabaseService::jobTypes();
    if (!q.jobType.empty() && std::find(types.begin(), types.end(), q.jobType) == types.end())
        throw VelmoraError("Unknown job type \"" + q.jobType + "\".");
    q.includeHidden = JSONTools::b(payload, "includeHidden", false);
    return q;
}

} // namespace

void registerJobActions(Bridge& bridge, AppContext& ctx) {
    auto matcher = std::make_shared<JobMatcher>(ctx.db, ctx.profiles);

    bridge.addSync("assessUrl", [&ctx](const json& payload) {
        return ctx.security->assess(JSONTools::s(payload, "url", ""), JSONTools::s(payload, "source", "")).toJson();
    });

    // Scoring the listings a large sync brought in reads every description once, which can take
    // long enough to freeze the window; the list is therefore read off the UI thread.
    bridge.addAsync("getJobs", [&ctx, matcher](const json& payload) -> std::function<json()> {
        DatabaseService::JobQuery q = jobQuery(payload);
        return [&ctx, matcher, q]() mutable {
            matcher->refresh(q.sort == DatabaseService::JobSort::Match ? 0 : kScoresPerNewestRead);
            q.skills = matcher->userSkills();
            return ctx.db->getJobs(q);
        };
    });

    bridge.addSync("setJobMark", [&ctx](const json& payload) {
        const int64_t id = JSONTools::i64(payload, "id", 0);
        const std::string mark = JSONTools::s(payload, "mark", "");
        ctx.db->setJobMark(id, mark);
        return json{{"ok", true}, {"id", id}, {"mark", mark}};
    });

    // The list's filters outlive the page (which keeps nothing in web storage), so the core
    // remembers the last choice.
    bridge.addSync("getJobFilters", [&ctx](const json&) {
        json sources = json::array();
        for (const auto& source : JobAggregatorService::schedule()) sources.push_back(source.displayName);
        json last = json::parse(ctx.db->getSetting("jobFilters", "{}"), nullptr, false);
        if (!last.is_object()) last = json::object();
        return json{{"sources", sources}, {"jobTypes", DatabaseService::jobTypes()}, {"last", last}};
    });

    bridge.addSync("setJobFilters", [&ctx](const json& payload) {
        const DatabaseService::JobQuery q = jobQuery(payload);
        json kept{{"category", q.category},
                  {"source", q.source},
                  {"jobType", q.jobType},
                  {"postedWithinDays", q.postedWithinDays},
                  {"sort", q.sort == DatabaseService::JobSort::Match ? "match" : "newest"},
                  {"includeHidden", q.includeHidden}};
        ctx.db->setSetting("jobFilters", kept.dump());
        return kept;
    });

    bridge.addSync("saveSearch", [&ctx](const json& payload) { return json{{"id", ctx.db->saveSearch(payload)}}; });
    bridge.addSync("getSavedSearches", [&ctx](const json&) { return ctx.db->getSavedSearches(); });
    bridge.addSync("openSavedSearch",
                   [&ctx](const json& payload) { return ctx.db->openSavedSearch(JSONTools::i64(payload, "id", 0)); });
    bridge.addSync("deleteSavedSearch", [&ctx](const json& payload) {
        ctx.db->deleteSavedSearch(JSONTools::i64(payload, "id", 0));
        return json{{"ok", true}};
    });

    bridge.addSync("getCategories", [&ctx](const json&) { return ctx.db->getCategories(); });

    bridge.addSync("getDashboard", [&ctx](const json&) {
        json counts = ctx.db->dashboardCounts();
        counts["lastSync"] = ctx.db->getSetting("lastJobSync", "");
        json fresh = json::array();
        for (const auto& search : ctx.db->getSavedSearches())
            if (search["newCount"].get<int64_t>() > 0)
                fresh.push_back({{"id", search["id"]}, {"name", search["name"]}, {"newCount", search["newCount"]}});
        counts["savedSearches"] = std::move(fresh);
        counts.update(ctx.db->trackerCounts());
        return counts;
    });
}

} // namespace velmora
