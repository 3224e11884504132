// Job sync ingest: a full sync of all eight endpoints against the loopback boards (5,000
// Himalayas listings, 1,000 from each other endpoint, no waits between pages), and its parts
// on the same listings: JSON parsing, link rating, classification, the upsert, and plain
// SQLite inserts of the same rows for comparison.
#include "core/DateUtil.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/JobCategories.h"
#include "jobs/SecurityService.h"
#include "storage/DatabaseService.h"
#include "storage/JobSearchIndex.h"
#include "support/JobBoardFixtureServer.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <ctime>

using namespace velmora;
using namespace velmora::testing;
using json = nlohmann::json;

namespace {

struct Boards {
    JobBoardFixtureServer server;
    Boards() {
        server.setGeneratedPublished(std::chrono::duration_cast<std::chrono::seconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count());
        for (const auto& s : JobBoardFixtureServer::services()) server.generate(s, s == "himalayas" ? 5000 : 1000);
    }
};

Boards& boards() {
    static Boards b;
    return b;
}

struct Store {
    TempDir dir;
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    std::shared_ptr<DatabaseService> db = std::make_shared<DatabaseService>(sqlite);
    Store() { db->initialize(); }
};

// The Himalayas pages as the service sends them, fetched once.
const std::vector<std::string>& himalayasPages() {
    static std::vector<std::string> pages = [] {
        HttpClient http;
        std::vector<std::string> out;
        for (int offset = 0; offset < 5000; offset += 20)
            out.push_back(http.getApi(boards().server.baseFor("himalayas") + "/jobs/api?offset=" +
                                      std::to_string(offset) + "&limit=20")
                              .body);
        return out;
    }();
    return pages;
}

const std::vector<IncomingJob>& sampleJobs() {
    static std::vector<IncomingJob> jobs = [] {
        std::vector<IncomingJob> out;
        for (const auto& page : himalayasPages()) {
            json doc = json::parse(page);
            for (const auto& j : doc["jobs"]) {
                IncomingJob job;
                job.externalId = j["guid"];
                job.source = "Himalayas";
                job.title = j["title"];
                job.company = j["companyName"];
                job.category = "Software & IT";
                job.location = "Germany, Spain";
                job.description = std::string(j["description"]).substr(0, 1200);
                job.url = j["applicationLink"];
                job.publishedAt = std::chrono::system_clock::now();
                job.tags = {"Software-Engineer"};
                out.push_back(std::move(job));
            }
        }
        return out;
    }();
    return jobs;
}

// CPU time of the whole process, every thread's.
double processCpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

void BM_FullSync(benchmark::State& state) {
    boards();
    int64_t stored = 0;
    // Every thread's CPU, the loopback boards' included: on two cores this bounds the rate
    // whatever the threads overlap.
    double cpu = 0;
    int64_t indexed = 0;
    double indexSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Store store;
        auto service = std::make_unique<JobAggregatorService>(
            store.db, std::make_shared<SecurityService>(), std::make_shared<HttpClient>(),
            JobSourceEndpoints::fromJsonText(boards().server.endpointsJson()), std::make_shared<SystemClock>(),
            std::make_shared<NoSleeper>());
        state.ResumeTiming();
        const double cpuBefore = processCpuSeconds();
        json summary = service->sync({});
        cpu += processCpuSeconds() - cpuBefore;
        stored += summary["imported"].get<int64_t>();
        state.PauseTiming();
        // The search index catches up after the sync, as the app runs it: timed on its own.
        const auto indexStart = std::chrono::steady_clock::now();
        indexed += service->indexStoredListings();
        indexSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - indexStart).count();
        for (const auto& s : summary["sources"])
            if (s["status"] != "ok") state.SkipWithError(("source failed: " + s.dump()).c_str());
        service.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(stored);
    state.counters["listings"] = benchmark::Counter(static_cast<double>(stored) / state.iterations());
    if (stored > 0) state.counters["cpu_us_per_listing"] = benchmark::Counter(cpu * 1e6 / double(stored));
    if (indexed != stored) state.SkipWithError("the index did not catch up with every stored listing");
    if (indexSeconds > 0) state.counters["indexed_per_second"] = benchmark::Counter(double(indexed) / indexSeconds);
    state.counters["index_ms"] = benchmark::Counter(indexSeconds * 1e3 / double(state.iterations()));
}
BENCHMARK(BM_FullSync)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ParseJson(benchmark::State& state) {
    const auto& pages = himalayasPages();
    for (auto _ : state)
        for (const auto& p : pages) benchmark::DoNotOptimize(json::parse(p));
    state.SetItemsProcessed(state.iterations() * 5000);
}
BENCHMARK(BM_ParseJson)->Unit(benchmark::kMillisecond);

void BM_RateLinks(benchmark::State& state) {
    SecurityService security;
    const auto& jobs = sampleJobs();
    for (auto _ : state)
        for (const auto& j : jobs) benchmark::DoNotOptimize(security.assess(j.url, j.source));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(jobs.size()));
}
BENCHMARK(BM_RateLinks)->Unit(benchmark::kMillisecond);

void BM_Classify(benchmark::State& state) {
    const auto& jobs = sampleJobs();
    for (auto _ : state)
        for (const auto& j : jobs) benchmark::DoNotOptimize(normalizeCategory(classify(j.title)));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(jobs.size()));
}
BENCHMARK(BM_Classify)->Unit(benchmark::kMillisecond);

void BM_UpsertJob(benchmark::State& state) {
    const auto& jobs = sampleJobs();
    SecurityService security;
    SecurityAssessment rating = security.assess(jobs.front().url, "Himalayas");
    for (auto _ : state) {
        state.PauseTiming();
        Store store;
        state.ResumeTiming();
        for (const auto& j : jobs) store.db->upsertJob(j, rating);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(jobs.size()));
}
BENCHMARK(BM_UpsertJob)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The sync's writer alone: the same rows stored as its batches of 200, and their indexing
// afterwards, each on one thread.
void BM_StoreBatches(benchmark::State& state) {
    const auto& jobs = sampleJobs();
    SecurityAssessment rating = SecurityService().assess(jobs.front().url, "Himalayas");
    std::vector<std::vector<std::pair<IncomingJob, SecurityAssessment>>> batches(1);
    for (const auto& j : jobs) {
        if (batches.back().size() == 200) batches.emplace_back();
        batches.back().emplace_back(j, rating);
    }
    const bool index = state.range(0) == 1;
    for (auto _ : state) {
        state.PauseTiming();
        Store store;
        if (!index) state.ResumeTiming();
        for (const auto& batch : batches) store.db->upsertJobs(batch);
        if (!index) continue;
        state.ResumeTiming();
        while (store.db->indexPendingJobs(JobAggregatorService::kIndexChunk) > 0) {
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(jobs.size()));
}
BENCHMARK(BM_StoreBatches)->Arg(0)->Arg(1)->ArgNames({"index"})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Plain inserts of the same rows, committed `perTransaction` at a time, as the baseline of the
// store's own statements.
void insertRaw(Store& store, size_t perTransaction, bool searchIndex) {
    const auto& jobs = sampleJobs();
    const std::string now = DateUtil::withFractional(std::chrono::system_clock::now());
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (perTransaction > 1 && i % perTransaction == 0) store.sqlite->execute("BEGIN;");
        const auto& j = jobs[i];
        store.sqlite->execute(
            "INSERT INTO jobs(external_id,source,title,company,category,location,description,url,published_at,"
            "added_at,last_seen_at,expires_at,security_score,security_label,tags) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);",
            {j.externalId, j.source, j.title, j.company, j.category, j.location, j.description, j.url, now, now, now,
             now, 85, "Quorvane Checked", "Software-Engineer"});
        if (perTransaction <= 1 && searchIndex)
            JobSearchIndex::flush([&](const std::string& sql, const auto& b) { store.sqlite->execute(sql, b); }, -1);
        if (perTransaction > 1 && (i % perTransaction == perTransaction - 1 || i + 1 == jobs.size())) {
            // The transaction's listings become one search document, as a sync's batch does.
            if (searchIndex)
                JobSearchIndex::flush([&](const std::string& sql, const auto& b) { store.sqlite->execute(sql, b); }, -1);
            store.sqlite->execute("COMMIT;");
        }
    }
}

void runRawInserts(benchmark::State& state, size_t perTransaction, bool searchIndex) {
    for (auto _ : state) {
        state.PauseTiming();
        Store store;
        if (!searchIndex)
            for (const char* t : {"jobs_search_insert", "jobs_search_delete", "jobs_search_update"})
                store.sqlite->execute(std::string("DROP TRIGGER IF EXISTS ") + t + ";");
        state.ResumeTiming();
        insertRaw(store, perTransaction, searchIndex);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(sampleJobs().size()));
}

void BM_RawSqliteInsert(benchmark::State& state) { runRawInserts(state, 1, true); }
BENCHMARK(BM_RawSqliteInsert)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The same rows committed a page (100 rows) at a time instead of one by one.
void BM_RawSqliteInsertPerPage(benchmark::State& state) { runRawInserts(state, 100, true); }
BENCHMARK(BM_RawSqliteInsertPerPage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// A page at a time with the full-text search triggers dropped, to show the search index's share.
void BM_RawSqliteInsertPerPageWithoutSearchIndex(benchmark::State& state) { runRawInserts(state, 100, false); }
BENCHMARK(BM_RawSqliteInsertPerPageWithoutSearchIndex)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
