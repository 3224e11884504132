// Bridge actions over the job list, categories, dashboard and link ratings.
#include "app/Actions.h"

namespace velmora {

void registerJobActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("assessUrl", [&ctx](const json& payload) {
        return ctx.security->assess(JSONTools::s(payload, "url", ""), JSONTools::s(payload, "source", "")).toJson();
    });

    bridge.addSync("getJobs", [&ctx](const json& payload) {
        return ctx.db->getJobs(JSONTools::s(payload, "category", "All"), JSONTools::s(payload, "query", ""),
                               JSONTools::i(payload, "limit", 200), JSONTools::i(payload, "offset", 0));
    });

    bridge.addSync("getCategories", [&ctx](const json&) { return ctx.db->getCategories(); });

    bridge.addSync("getDashboard", [&ctx](const json&) {
        json counts = ctx.db->dashboardCounts();
        counts["lastSync"] = ctx.db->getSetting("lastJobSync", "");
        counts.update(ctx.db->trackerCounts());
        return counts;
    });
}

} // namespace velmora
