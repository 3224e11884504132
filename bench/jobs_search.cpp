// Search-as-you-type over a realistic job table: getJobs with and without a search phrase,
// under each location mode, plus the category list and the dashboard counters, at 10k, 50k
// and 100k listings (descriptions of 1-4 KB); and the list sorted by match to the user's skills.
#include "app/JobMatcher.h"
#include "core/Clock.h"
#include "core/DateUtil.h"
#include "core/IncomingJob.h"
#include "core/SecurityAssessment.h"
#include "storage/DatabaseService.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace velmora;

namespace {

const TimePoint kNow = *DateUtil::parse("2026-03-01T12:00:00Z");

const std::vector<std::string> kTitles = {
    "Senior Backend Engineer", "Frontend Developer", "Data Analyst", "Product Manager", "Customer Success Manager",
    "DevOps Engineer", "Marketing Manager", "UX Designer", "Account Executive", "Technical Writer",
    "Security Engineer", "Machine Learning Engineer", "Support Specialist", "Recruiter", "Staff Software Engineer",
    "Full Stack Developer", "Content Strategist", "Payroll Specialist", "Registered Nurse", "Online Tutor"};
const std::vector<std::string> kCompanies = {"Acme", "Globex", "Initech", "Umbrella Labs", "Hooli", "Vandelay",
                                             "Stark Digital", "Wayne Analytics", "Soylent", "Tyrell Systems"};
const std::vector<std::string> kCategories = {"Software & IT", "Data & AI", "Product", "Customer Support",
                                              "Marketing", "Design & Creative", "Sales", "Writing & Editorial",
                                              "Cybersecurity", "Human Resources", "Healthcare", "Education"};
const std::vector<std::string> kLocations = {"Remote", "Worldwide", "USA", "Remote - United States",
                                             "Europe / Remote", "Germany", "United Kingdom / Remote", "Canada",
                                             "Anywhere in the world", "LATAM", "APAC", "Berlin, Germany",
                                             "New York, NY, USA", "EMEA", "Poland"};
const std::vector<std::string> kWords = {
    "we", "are", "looking", "for", "an", "experienced", "engineer", "to", "join", "our", "team", "you", "will",
    "build", "and", "maintain", "scalable", "services", "with", "python", "go", "rust", "typescript", "react",
    "kubernetes", "aws", "gcp", "terraform", "postgres", "customers", "product", "design", "collaborate", "across",
    "time", "zones", "async", "communication", "ownership", "mentoring", "benefits", "include", "equity", "health",
    "insurance", "flexible", "hours", "home", "office", "stipend", "learning", "budget", "annual", "retreat",
    "requirements", "years", "of", "experience", "strong", "written", "english", "skills", "nice", "have",
    "startup", "growth", "stage", "series", "funding", "mission", "driven", "impact", "quality", "testing",
    "deploy", "monitoring", "on-call", "rotation", "security", "privacy", "compliance", "data", "pipelines",
    "analytics", "dashboards", "stakeholders", "roadmap", "priorities", "support", "tickets", "sales", "pipeline",
    "marketing", "campaigns", "seo", "content", "writing", "editing", "research", "interviews", "hiring", "process",
    "salary", "range", "usd", "eur", "competitive", "paid", "leave", "parental", "remote-first", "culture"};

// Real descriptions draw on a large vocabulary with a few very common words (Zipf's law); a
// small vocabulary would put every word in every listing.
std::vector<std::string> vocabulary() {
    std::vector<std::string> words = kWords;
    std::mt19937 rng(7);
    const char* syllables[] = {"ka", "lo", "mi", "ne", "ru", "ta", "ven", "dor", "pli", "qua", "ser", "tix",
                               "bra", "con", "dex", "fy", "gor", "hal", "jun", "kre", "lum", "mor", "nyx", "ost"};
    for (int i = 0; i < 6000; ++i) {
        std::string w;
        for (int k = 0, n = 2 + static_cast<int>(rng() % 3); k < n; ++k) w += syllables[rng() % std::size(syllables)];
        words.push_back(w);
    }
    // Technologies are specific: each shows up in a few percent of listings, not in all of them.
    const char* tech[] = {"python", "go", "rust", "typescript", "react", "kubernetes", "aws", "gcp", "terraform",
                          "postgres"};
    for (const char* t : tech) words.erase(std::find(words.begin(), words.end(), t));
    for (size_t i = 0; i < std::size(tech); ++i) words.insert(words.begin() + 300 + 40 * i, tech[i]);
    return words;
}

std::string description(std::mt19937& rng) {
    static const std::vector<std::string> words = vocabulary();
    static const std::discrete_distribution<size_t> zipf = [] {
        std::vector<double> weights;
        for (size_t rank = 1; rank <= words.size(); ++rank) weights.push_back(1.0 / static_cast<double>(rank));
        return std::discrete_distribution<size_t>(weights.begin(), weights.end());
    }();
    std::uniform_int_distribution<size_t> size(1024, 4096);
    auto draw = zipf;
    const size_t target = size(rng);
    std::string text;
    text.reserve(target + 16);
    while (text.size() < target) {
        text += words[draw(rng)];
        text += (rng() % 12 == 0) ? ". " : " ";
    }
    return text;
}

// One database per size, built once and shared by every benchmark of that size.
struct Fixture {
    testing::TempDir dir;
    std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(kNow);
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::unique_ptr<DatabaseService> db;

    explicit Fixture(int listings) {
        sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
        db = std::make_unique<DatabaseService>(sqlite, clock);
        db->initialize();
        std::mt19937 rng(42);
        auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
        // One transaction for the fill only; the statements are the ones every adapter runs.
        sqlite->execute("BEGIN;");
        for (int i = 0; i < listings; ++i) {
            // Spread first-store times over the last 89 days so ordering and the 7-day count have work.
            clock->set(kNow - std::chrono::minutes(rng() % (89 * 24 * 60)));
            IncomingJob job;
            job.externalId = std::to_string(i);
            job.source = "Bench";
            job.title = pick(kTitles);
            // Mostly distinct postings, as on real boards: one posting per title and company.
            job.company = pick(kCompanies) + " " + std::to_string(rng() % 20000);
            job.category = pick(kCategories);
            job.location = pick(kLocations);
            job.description = description(rng);
            job.url = "https://jobs.example.com/listing/" + std::to_string(i);
            if (rng() % 4 != 0) job.publishedAt = clock->now() - std::chrono::hours(rng() % 200);
            job.tags = {"Full-time", pick(kWords)};
            SecurityAssessment rating;
            rating.score = static_cast<int>(rng() % 86);
            rating.label = rating.score >= 70 ? "Checked" : "Review";
            db->upsertJob(job, rating);
        }
        sqlite->execute("COMMIT;");
        clock->set(kNow);
    }
};

// The same rows without the search indexes: what every search costs as a plain LIKE scan.
struct PlainFixture {
    testing::TempDir dir;
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::unique_ptr<DatabaseService> db;

    explicit PlainFixture(Fixture& indexed) {
        indexed.sqlite->execute("PRAGMA wal_checkpoint(TRUNCATE);");
        std::filesystem::copy_file(indexed.dir / "velmora.db", dir / "velmora.db");
        sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
        for (const char* sql : {"DROP TRIGGER jobs_search_insert;", "DROP TRIGGER jobs_search_delete;",
                                "DROP TRIGGER jobs_search_update;", "DROP TABLE jobs_search;",
                                "DROP VIEW jobs_search_text;", "DROP TABLE jobs_search_members;",
                                "DROP INDEX search_jobs_recency;", "DROP INDEX search_jobs_category_recency;",
                                "DROP INDEX search_jobs_counts;"})
            sqlite->execute(sql);
        // No initialize(): it would build the indexes again.
        db = std::make_unique<DatabaseService>(sqlite, indexed.clock);
    }
};

Fixture& fixture(int listings) {
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& slot = fixtures[listings];
    if (!slot) slot = std::make_unique<Fixture>(listings);
    return *slot;
}

PlainFixture& plainFixture(int listings) {
    static std::map<int, std::unique_ptr<PlainFixture>> fixtures;
    auto& slot = fixtures[listings];
    if (!slot) slot = std::make_unique<PlainFixture>(fixture(listings));
    return *slot;
}

// range(0): listings; range(1): 0 worldwide, 1 us, 2 home (DE); range(2): 1 without search indexes.
DatabaseService& service(const benchmark::State& state) {
    const int listings = static_cast<int>(state.range(0));
    return state.range(2) ? *plainFixture(listings).db : *fixture(listings).db;
}

void setMode(DatabaseService& db, const std::string& mode) {
    db.setSetting("locationMode", mode);
    db.setSetting("homeCountryCode", "DE");
    db.setSetting("homeCountryName", "Germany");
}

const char* modeName(int64_t m) { return m == 0 ? "worldwide" : m == 1 ? "us" : "home"; }

std::string label(const benchmark::State& state) {
    return std::string(modeName(state.range(1))) + (state.range(2) ? " plain-scan" : " indexed");
}

void runGetJobs(benchmark::State& state, const std::string& query) {
    auto& db = service(state);
    setMode(db, modeName(state.range(1)));
    size_t rows = 0;
    for (auto _ : state) {
        auto jobs = db.getJobs("All", query, 200, 0);
        rows = jobs.size();
        benchmark::DoNotOptimize(jobs);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetLabel(label(state));
}

void BM_GetJobs_NoQuery(benchmark::State& state) { runGetJobs(state, ""); }
void BM_GetJobs_OneWord(benchmark::State& state) { runGetJobs(state, "kubernetes"); }
void BM_GetJobs_TitlePhrase(benchmark::State& state) { runGetJobs(state, "senior backend engineer"); }
void BM_GetJobs_ThreeWords(benchmark::State& state) { runGetJobs(state, "kubernetes terraform postgres"); }
void BM_GetJobs_NoMatch(benchmark::State& state) { runGetJobs(state, "quantum basket weaving"); }

void BM_GetCategories(benchmark::State& state) {
    auto& db = service(state);
    setMode(db, modeName(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(db.getCategories());
    state.SetLabel(label(state));
}

void BM_DashboardCounts(benchmark::State& state) {
    auto& db = service(state);
    setMode(db, modeName(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(db.dashboardCounts());
    state.SetLabel(label(state));
}

// The user's skills as a resume analysis left them; the matcher reads them from there.
void giveUserSkills(DatabaseService& db) {
    db.saveResume("cv.pdf", "/home/me/cv.pdf",
                  R"({"keywords":["python","kubernetes","terraform","postgres","analytics","mentoring"]})");
}

// Scoring every stored listing once (what the first match-sorted list after a large sync pays).
void BM_MatchScoreAll(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    auto db = std::shared_ptr<DatabaseService>(f.db.get(), [](DatabaseService*) {});
    giveUserSkills(*db);
    JobMatcher matcher(db, nullptr);
    size_t scored = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.sqlite->execute("UPDATE jobs SET match_stale=1,match_keywords=NULL;");
        state.ResumeTiming();
        scored = matcher.refresh(0);
    }
    state.counters["scored"] = static_cast<double>(scored);
    state.SetItemsProcessed(static_cast<int64_t>(scored) * state.iterations());
}

// getJobs as the bridge runs it for sort "match": the staleness check, then one page of 200.
void BM_GetJobs_SortByMatch(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    auto db = std::shared_ptr<DatabaseService>(f.db.get(), [](DatabaseService*) {});
    setMode(*db, modeName(state.range(1)));
    giveUserSkills(*db);
    JobMatcher matcher(db, nullptr);
    matcher.refresh(0);
    size_t rows = 0;
    for (auto _ : state) {
        matcher.refresh(0);
        DatabaseService::JobQuery q;
        q.sort = DatabaseService::JobSort::Match;
        q.skills = matcher.userSkills();
        auto jobs = db->getJobs(q);
        rows = jobs.size();
        benchmark::DoNotOptimize(jobs);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetLabel(modeName(state.range(1)));
}

void sizesAndModes(benchmark::internal::Benchmark* b) {
    for (int64_t plain : {0, 1})
        for (int64_t n : {10000, 50000, 100000})
            for (int64_t mode : {0, 1, 2}) b->Args({n, mode, plain});
    b->ArgNames({"listings", "mode", "plain"});
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_GetJobs_NoQuery)->Apply(sizesAndModes);
BENCHMARK(BM_GetJobs_OneWord)->Apply(sizesAndModes);
BENCHMARK(BM_GetJobs_TitlePhrase)->Apply(sizesAndModes);
BENCHMARK(BM_GetJobs_ThreeWords)->Apply(sizesAndModes);
BENCHMARK(BM_GetJobs_NoMatch)->Apply(sizesAndModes);
BENCHMARK(BM_GetCategories)->Apply(sizesAndModes);
BENCHMARK(BM_DashboardCounts)->Apply(sizesAndModes);
BENCHMARK(BM_GetJobs_SortByMatch)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->ArgNames({"listings", "mode"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchScoreAll)->Arg(100000)->ArgName("listings")->Unit(benchmark::kMillisecond)->Iterations(1);
