#include "app/Actions.h"
#include "app/JobSyncScheduler.h"
#include "core/VelmoraError.h"

namespace velmora {

void registerSyncActions(Bridge& bridge, AppContext& ctx) {
    if (!ctx.jobSync && ctx.jobs) ctx.jobSync = JobSyncScheduler::create(ctx.jobs, bridge.ui(), bridge.background(), bridge);
    std::weak_ptr<JobSyncScheduler> weak = ctx.jobSync;
    // Answered when the sync ends (or at once when one is already running), on the UI thread.
    bridge.add("startupSyncJobs", [weak](const json&, const Bridge::Responder& respond) {
        auto scheduler = weak.lock();
        if (!scheduler) throw VelmoraError("Job sync is not available.");
        scheduler->runJobSync([respond](const json& result) { respond.succeed(result); });
    });
    // One board again, now, after it failed: {source} is its display name.
    bridge.add("retryJobSource", [weak](const json& payload, const Bridge::Responder& respond) {
        auto scheduler = weak.lock();
        if (!scheduler) throw VelmoraError("Job sync is not available.");
        const std::string source = JSONTools::s(payload, "source", "");
        bool known = false;
        for (const auto& entry : JobAggregatorService::schedule()) known = known || source == entry.displayName;
        if (!known) throw VelmoraError("Unknown job source: " + source);
        scheduler->runJobSync([respond](const json& result) { respond.succeed(result); }, source);
    });
}

} // namespace velmora
