// The search index may only narrow: whatever was stored, changed, deleted or written behind the
// service's back, and whatever the index held from before, a search returns exactly the rows of
// the plain LIKE scan, in its order.
#include "JobTestSupport.h"

#include "core/Text.h"
#include "storage/JobSearchIndex.h"

#include <random>

using namespace velmora;
using velmora::testing::JobDb;
using velmora::testing::Urls;

namespace {

using Batch = std::vector<std::pair<IncomingJob, SecurityAssessment>>;

void expectSameAsScan(JobDb& t, const std::vector<std::string>& queries, const std::string& when) {
    for (const auto& q : queries) {
        const std::string phrase = text::trim(q);
        if (phrase.empty()) continue;
        std::vector<int64_t> found, scanned;
        for (const auto& j : t.db.getJobs("All", q, 500, 0))
            found.push_back(j["id"]);
        // Unexpired rows holding the phrase, without any index help, in the list's order.
        for (const auto& row : t.sqlite->query(
                 "SELECT id FROM jobs NOT INDEXED WHERE expires_at >= ?1 AND (title LIKE ?2 OR company LIKE ?2 OR "
                 "description LIKE ?2 OR tags LIKE ?2 OR location LIKE ?2) ORDER BY COALESCE(published_at,added_at) "
                 "DESC,id DESC LIMIT 500;",
                 {DateUtil::withFractional(t.clock->now()), "%" + phrase + "%"}))
            scanned.push_back(*sqlite_row::integer(row, "id"));
        EXPECT_EQ(found, scanned) << when << ", query: " << q;
    }
}

// clang-format off
const std::vector<std::string> kTexts = {
    "Senior Backend Engineer", "senior backend ENGINEER (Go)", "Café Ünternehmen GmbH", "CAFÉ ünternehmen",
    "100% remote, my_file.txt", "O'Brien \"quoted\" text", "back\\slash and more", "İstanbul ofisi", "Straße & Söhne",
    "数据工程师 远程", "🚀 rocket team", "Kotlin Developer", "Data Analyst – EMEA", "DROP TABLE jobs;--", "ab", "abc"};
// Case beyond ASCII, wildcards, quotes, a NUL, runs too short for trigrams.
const std::vector<std::string> kFixedQueries = {
    "ENGINEER", "senior backend engineer", "Senior%Engineer", "r_st", "CAFé", "cafÉ", "ÜNTERNEHMEN", "100%", "my_file",
    "O'Brien \"quoted\"", "back\\slash", "istanbul", "STRASSE", "数据工程", "🚀 roc", "ab", "%", "__", "a%b%c", "\"\"\"",
    "drop table", "eng_neer", "gineer (go)", "– emea", std::string("eng\0ineer", 9)};
// clang-format on

void dropIndex(JobDb& t) {
    for (const char* object : {"TRIGGER jobs_search_insert", "TRIGGER jobs_search_delete", "TRIGGER jobs_search_update",
                               "TABLE jobs_search", "VIEW jobs_search_text", "TABLE jobs_search_members"})
        t.sqlite->execute(std::string("DROP ") + object + ";");
}

// What an earlier version left: a five-column index with one document per listing, kept by
// triggers (its update and delete ones are alike, and nothing here needs them).
void perListingIndex(JobDb& t) {
    dropIndex(t);
    for (const char* sql : {"CREATE VIRTUAL TABLE jobs_search USING fts5(title,company,description,tags,location,"
                            "content='jobs',content_rowid='id',tokenize='trigram',detail='none');",
                            "CREATE TRIGGER jobs_search_insert AFTER INSERT ON jobs BEGIN INSERT INTO jobs_search("
                            "rowid,title,company,description,tags,location) VALUES(new.id,new.title,new.company,"
                            "new.description,new.tags,new.location); END;",
                            "INSERT INTO jobs_search(jobs_search) VALUES('rebuild');", "PRAGMA user_version=3;"})
        t.sqlite->execute(sql);
}

} // namespace

TEST(JobSearchIndex, EqualsTheScanThroughEveryWriterAndRestart) {
    JobDb t;
    ASSERT_TRUE(JobSearchIndex::present(*t.sqlite));
    std::mt19937 rng(11);
    auto pick = [&] { return kTexts[rng() % kTexts.size()]; };
    int next = 0;
    auto randomJob = [&](int n) {
        auto j = JobDb::job(std::to_string(n), pick(), pick());
        j.company = pick() + " #" + std::to_string(n); // one posting per link: nothing collapses
        j.description = pick() + " " + pick();
        j.tags = {pick()};
        if (rng() % 3) j.publishedAt = *DateUtil::parse("2026-02-0" + std::to_string(1 + rng() % 9) + "T00:00:00Z");
        return j;
    };
    for (int round = 0; round < 40; ++round) {
        if (const auto op = rng() % 6; op < 2) { // a page of a sync: new listings, some seen again, changed or not
            Batch batch;
            for (int i = 0, n = 1 + static_cast<int>(rng() % 30); i < n; ++i)
                batch.emplace_back(randomJob(next > 0 && rng() % 3 == 0 ? rng() % next : next++), JobDb::rating(65));
            t.db.upsertJobs(batch);
        } else if (op == 2) { // single stores inside a transaction of the caller's that may roll back
            t.sqlite->execute("BEGIN;");
            for (int i = 0; i < 3; ++i)
                t.store(randomJob(rng() % 2 ? next++ : rng() % (next + 1)));
            t.sqlite->execute(rng() % 2 ? "COMMIT;" : "ROLLBACK;");
        } else if (op == 3 && rng() % 2) { // the index catches up, a chunk at a time
            t.db.indexPendingJobs(1 + static_cast<int>(rng() % 40));
        } else if (op == 3) { // writers that bypass the service
            for (const char* column : {"title", "company", "description", "tags", "location"})
                t.sqlite->execute(std::string("UPDATE jobs SET ") + column + "=?||id WHERE id % 9 = ?;", // own posting
                                  {pick() + " x", int(rng() % 9)});
            t.sqlite->execute("DELETE FROM jobs WHERE id % 13 = ?;", {int(rng() % 13)});
        } else if (op == 4) { // time passes: listings not seen again expire at the start of the next sync
            t.advanceDays(static_cast<int>(rng() % 40));
            t.db.deleteExpiredJobs();
        } else { // the program starts again on the same file, perhaps after a tool removed the index or
                 // under an earlier version's index, with a store in between that the index missed
            if (const auto before = rng() % 3; before > 0) {
                before == 1 ? dropIndex(t) : perListingIndex(t);
                t.store(randomJob(next++));
            }
            t.db.initialize();
            EXPECT_TRUE(JobSearchIndex::present(*t.sqlite)); // else every search would be the scan itself
        }
        std::vector<std::string> queries = round % 8 == 7 ? kFixedQueries : std::vector<std::string>{};
        for (int i = 0; i < 4; ++i) { // cuts of the stored texts with ASCII case changes and wildcards
            const std::string source = pick();
            std::string cut = source.substr(rng() % source.size(), 1 + rng() % 12);
            for (auto& c : cut)
                if (rng() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (rng() % 5 == 0 && cut.size() > 3) cut[rng() % cut.size()] = rng() % 2 ? '%' : '_';
            queries.push_back(cut);
        }
        expectSameAsScan(t, queries, "round " + std::to_string(round));
    }
}

// Stale entries only add false candidates, so nothing but the count shows them: once they
// outnumber the live ones a starting sync builds the index afresh.
TEST(JobSearchIndex, AStartingSyncDropsStaleEntriesOnceTheyOutnumberTheLiveOnes) {
    JobDb t;
    for (const char* title : {"Scala Lead", "Scala Developer", "Scala Engineer"}) {
        Batch batch;
        for (int i = 0; i < 300; ++i)
            batch.emplace_back(JobDb::job(std::to_string(i), title), JobDb::rating(65));
        t.db.upsertJobs(batch);
        EXPECT_EQ(t.db.indexPendingJobs(1000), 300);
    }
    ASSERT_TRUE(JobSearchIndex::needsRebuild(*t.sqlite));
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
    EXPECT_FALSE(JobSearchIndex::needsRebuild(*t.sqlite));
    // Seen again on a board that places it elsewhere, and nothing else changed: found by its new place.
    t.store(JobDb::job("0", "Scala Engineer", "Reykjavik"));
    expectSameAsScan(t, {"scala engineer", "lead", "developer", "reykjavik"}, "after the rebuild");
}
