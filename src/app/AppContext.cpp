#include "app/AppContext.h"

#include "storage/PrivateFile.h"

namespace velmora {

std::shared_ptr<AppContext> AppContext::create(const AppPaths& paths, std::shared_ptr<Clock> clock,
                                               std::shared_ptr<Sleeper> sleeper) {
    auto ctx = std::make_shared<AppContext>();
    ctx->paths = std::make_shared<AppPaths>(paths);
    ctx->clock = clock ? std::move(clock) : std::make_shared<SystemClock>();
    ctx->sleeper = sleeper ? std::move(sleeper) : std::make_shared<RealSleeper>();
    ctx->sqlite = std::make_shared<SQLiteDatabase>(ctx->paths->database().string());
    ctx->db = std::make_shared<DatabaseService>(ctx->sqlite, ctx->clock);
    ctx->db->initialize();
    ctx->secureStore = std::make_shared<SecureStoreService>(ctx->paths->secureStoreDirectory());
    ctx->security = std::make_shared<SecurityService>();
    ctx->jobs = std::make_shared<JobAggregatorService>(ctx->db, ctx->security, std::make_shared<HttpClient>(),
                                                       JobSourceEndpoints::fromEnvironment(), ctx->clock, ctx->sleeper);
    ctx->resumes = std::make_shared<ResumeService>(ctx->db);
    ctx->interviews = std::make_shared<InterviewPrepService>(ctx->db, std::make_shared<ResumeService>(ctx->db));
    ctx->profiles = std::make_shared<ApplicationProfileService>(ctx->db, ctx->secureStore, ctx->paths, ctx->clock);
    ctx->resumeStudio =
        std::make_shared<ResumeStudioService>(ctx->sqlite, ctx->resumes, ctx->profiles, ctx->secureStore, ctx->clock);
    ctx->resumeStudio->initialize();
    // Plain-text resume copies and half-written files of an earlier run that ended abruptly.
    ctx->profiles->sweepTemporaryFiles();
    removeInterruptedWrites(ctx->paths->secureStoreDirectory());
    return ctx;
}

} // namespace velmora
