// The search index is written a stored batch at a time and tolerates stale text: whatever
// was stored, updated, deleted or written behind the service's back, a search must return
// exactly the rows of the plain LIKE scan.
#include "JobTestSupport.h"

#include "core/Text.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace velmora;
using velmora::testing::JobDb;

namespace {

using Batch = std::vector<std::pair<IncomingJob, SecurityAssessment>>;

std::vector<int64_t> ids(const nlohmann::json& jobs) {
    std::vector<int64_t> out;
    for (const auto& j : jobs) out.push_back(j["id"].get<int64_t>());
    return out;
}

// Unexpired rows holding the phrase, without any index help, in the list's order.
std::vector<int64_t> plainScan(JobDb& t, const std::string& phrase) {
    std::vector<SQLiteValue> b{SQLiteValue::text(DateUtil::withFractional(t.clock->now()))};
    for (int i = 0; i < 5; ++i) b.push_back(SQLiteValue::text("%" + phrase + "%"));
    std::vector<int64_t> out;
    for (const auto& row : t.sqlite->query("SELECT id FROM jobs NOT INDEXED WHERE expires_at >= ? AND (title LIKE ? OR "
                                           "company LIKE ? OR description LIKE ? OR tags LIKE ? OR location LIKE ?) "
                                           "ORDER BY COALESCE(published_at,added_at) DESC,id DESC LIMIT 500;",
                                           b))
        out.push_back(*sqlite_row::integer(row, "id"));
    return out;
}

int64_t count(SQLiteDatabase& db, const std::string& sql) { return std::get<int64_t>(*db.scalar(sql)); }

void expectSameAsScan(JobDb& t, const std::vector<std::string>& queries, const std::string& when) {
    for (const auto& q : queries) {
        const std::string phrase = text::trim(q);
        if (phrase.empty()) continue;
        EXPECT_EQ(ids(t.db.getJobs("All", q, 500, 0)), plainScan(t, phrase)) << when << ", query: " << q;
    }
}

const std::vector<std::string> kTexts = {
    "Senior Backend Engineer", "Kotlin Developer",     "Café Ünternehmen GmbH", "100% remote, my_file.txt",
    "İstanbul ofisi",          "Straße & Söhne",       "数据工程师 远程",         "🚀 rocket team",
    "Swift Lead",              "Data Analyst – EMEA",  "Elixir and Erlang",     "ab",
};

IncomingJob randomJob(std::mt19937& rng, int n) {
    auto pick = [&] { return kTexts[rng() % kTexts.size()]; };
    auto j = JobDb::job("https://e.com/" + std::to_string(n), pick(), pick());
    j.company = pick() + " #" + std::to_string(n); // one posting per link: nothing collapses
    j.description = pick() + " " + pick();
    j.tags = {pick()};
    if (rng() % 3) j.publishedAt = *DateUtil::parse("2026-02-0" + std::to_string(1 + rng() % 9) + "T00:00:00Z");
    return j;
}

// Random cuts of the stored texts with ASCII case changes, after the fixed ones when asked.
std::vector<std::string> randomQueries(std::mt19937& rng, int n, bool withFixed = true) {
    std::vector<std::string> q;
    if (withFixed)
        q = {"kotlin", "SWIFT",   "café",    "ünternehmen", "straße", "数据工程",     "🚀 roc",
             "100%",   "my_file", "eng%eer", "r_st",        "lead",   "elixir and", "– emea"};
    for (int i = 0; i < n; ++i) {
        const std::string& source = kTexts[rng() % kTexts.size()];
        std::string cut = source.substr(rng() % source.size(), 1 + rng() % 10);
        for (auto& c : cut)
            if (rng() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        q.push_back(cut);
    }
    return q;
}

SecurityAssessment rating() { return JobDb::rating(65); }

} // namespace

TEST(JobSearchBatchIndex, EqualsTheScanThroughStoresUpdatesAndDeletes) {
    JobDb t;
    std::mt19937 rng(11);
    int next = 0;
    for (int round = 0; round < 30; ++round) {
        switch (rng() % 6) {
        case 0: // a page of a sync: new listings and listings seen again, changed or not
        case 1: {
            Batch batch;
            for (int i = 0, n = 1 + static_cast<int>(rng() % 30); i < n; ++i) {
                const bool again = next > 0 && rng() % 3 == 0;
                const int number = again ? static_cast<int>(rng() % next) : next++;
                IncomingJob j = randomJob(rng, number);
                batch.emplace_back(j, rating());
            }
            t.db.upsertJobs(batch);
            break;
        }
        case 2:
            t.store(randomJob(rng, rng() % 2 ? next++ : static_cast<int>(rng() % (next + 1))));
            break;
        case 3: // a writer that bypasses the service
            t.sqlite->execute("UPDATE jobs SET title=? WHERE id % 9 = ?;",
                              {SQLiteValue::text(kTexts[rng() % kTexts.size()] + " x"),
                               SQLiteValue::integer(static_cast<int64_t>(rng() % 9))});
            t.sqlite->execute("INSERT INTO jobs(external_id,source,title,company,category,location,description,url,"
                              "added_at,last_seen_at,expires_at) VALUES('raw','Raw',?,?,'Other','Worldwide',?,?,?,?,?);",
                              {SQLiteValue::text(kTexts[rng() % kTexts.size()]), SQLiteValue::text("Raw Co " +
                               std::to_string(next)), SQLiteValue::text(kTexts[rng() % kTexts.size()]),
                               SQLiteValue::text("https://raw.example/" + std::to_string(next++)),
                               SQLiteValue::text(DateUtil::withFractional(t.clock->now())),
                               SQLiteValue::text(DateUtil::withFractional(t.clock->now())),
                               SQLiteValue::text(DateUtil::withFractional(t.clock->now() + std::chrono::hours(24)))});
            break;
        case 4:
            t.sqlite->execute("DELETE FROM jobs WHERE id % 13 = ?;", {SQLiteValue::integer(static_cast<int64_t>(rng() % 13))});
            break;
        case 5: // time passes: listings not seen again expire at the start of the next sync
            t.advanceDays(static_cast<int>(rng() % 40));
            t.db.deleteExpiredJobs();
            break;
        }
        expectSameAsScan(t, randomQueries(rng, 4, round % 5 == 4), "round " + std::to_string(round));
    }
    EXPECT_NO_THROW(t.sqlite->execute("INSERT INTO jobs_search(jobs_search) VALUES('integrity-check');"));
}

TEST(JobSearchBatchIndex, StaleTextInOlderDocumentsNeverDecides) {
    // Each case stores one listing in a batch of its own, changes it in a later one, and
    // searches for the old and the new text.
    struct Case {
        const char* name;
        std::function<void(JobDb&, IncomingJob)> change;
        bool presentAfter;
    };
    const std::vector<Case> cases = {
        {"updated by a later batch",
         [](JobDb& t, IncomingJob j) {
             j.title = "Swift Developer";
             t.db.upsertJobs({{j, rating()}});
         },
         true},
        {"updated one by one", [](JobDb& t, IncomingJob j) { j.title = "Swift Developer"; t.store(j); }, true},
        {"updated behind the service's back",
         [](JobDb& t, IncomingJob) { t.sqlite->execute("UPDATE jobs SET title='Swift Developer' WHERE url='https://e.com/a';"); }, true},
        {"deleted",
         [](JobDb& t, IncomingJob) { t.sqlite->execute("DELETE FROM jobs WHERE url='https://e.com/a';"); }, false},
        {"expired",
         [](JobDb& t, IncomingJob) {
             t.advanceDays(91);
             t.store(JobDb::job("https://e.com/other", "Haskell Engineer")); // seen again, kept
             EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobDb t;
        auto j = JobDb::job("https://e.com/a", "Kotlin Developer");
        t.db.upsertJobs({{JobDb::job("https://e.com/other", "Haskell Engineer"), rating()}, {j, rating()}});
        ASSERT_EQ(t.search("kotlin"), std::vector<std::string>{"a"});
        c.change(t, j);
        EXPECT_TRUE(t.search("kotlin").empty());
        EXPECT_EQ(t.search("swift developer").size(), c.presentAfter ? 1u : 0u);
        EXPECT_EQ(t.search("haskell"), std::vector<std::string>{"other"});
    }
}

TEST(JobSearchBatchIndex, StaleEntriesAreDroppedOnceTheyOutnumberTheLiveOnes) {
    JobDb t;
    Batch batch;
    for (int i = 0; i < 300; ++i) batch.emplace_back(JobDb::job("https://e.com/" + std::to_string(i), "Kotlin Developer"), rating());
    t.db.upsertJobs(batch);
    // Every listing changes twice: three entries per live listing.
    for (const char* title : {"Swift Developer", "Scala Developer"}) {
        for (auto& [job, r] : batch) job.title = title;
        t.db.upsertJobs(batch);
    }
    EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search_members;"), 900);
    EXPECT_EQ(t.db.deleteExpiredJobs(), 0);
    EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search_members;"), 300);
    EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search WHERE jobs_search MATCH '\"kot\"';"), 0);
    EXPECT_EQ(t.search("scala").size(), 300u);
    EXPECT_TRUE(t.search("swift").empty());

    // A listing changed after the rebuild is indexed again.
    batch.front().first.title = "Elixir Developer";
    t.db.upsertJobs({batch.front()});
    EXPECT_EQ(t.search("elixir"), std::vector<std::string>{"0"});
}

TEST(JobSearchBatchIndex, SingleStoresNestInsideTheCallersTransaction) {
    for (const char* end : {"COMMIT;", "ROLLBACK;"}) {
        SCOPED_TRACE(end);
        JobDb t;
        t.sqlite->execute("BEGIN;");
        t.store(JobDb::job("https://e.com/a", "Kotlin Developer"));
        t.store(JobDb::job("https://e.com/b", "Kotlin Lead"));
        t.sqlite->execute(end);
        EXPECT_EQ(t.search("kotlin").size(), end == std::string("COMMIT;") ? 2u : 0u);
        EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search_members WHERE doc=0;"), 0);
    }
}

TEST(JobSearchBatchIndex, ADatabaseWithThePerListingIndexIsMigratedAndSearchable) {
    JobDb t;
    std::mt19937 rng(5);
    for (int i = 0; i < 60; ++i) t.store(randomJob(rng, i));
    // What the previous version left: one index document per listing, kept by triggers.
    for (const char* sql : {
             "DROP TRIGGER jobs_search_insert;", "DROP TRIGGER jobs_search_delete;", "DROP TRIGGER jobs_search_update;",
             "DROP TABLE jobs_search;", "DROP VIEW jobs_search_text;", "DROP TABLE jobs_search_members;",
             "CREATE VIRTUAL TABLE jobs_search USING fts5(title,company,description,tags,location,content='jobs',"
             "content_rowid='id',tokenize='trigram',detail='none');",
             "CREATE TRIGGER jobs_search_insert AFTER INSERT ON jobs BEGIN "
             "INSERT INTO jobs_search(rowid,title,company,description,tags,location) "
             "VALUES(new.id,new.title,new.company,new.description,new.tags,new.location); END;",
             "CREATE TRIGGER jobs_search_delete AFTER DELETE ON jobs BEGIN "
             "INSERT INTO jobs_search(jobs_search,rowid,title,company,description,tags,location) "
             "VALUES('delete',old.id,old.title,old.company,old.description,old.tags,old.location); END;",
             "CREATE TRIGGER jobs_search_update AFTER UPDATE ON jobs BEGIN "
             "INSERT INTO jobs_search(jobs_search,rowid,title,company,description,tags,location) "
             "VALUES('delete',old.id,old.title,old.company,old.description,old.tags,old.location); "
             "INSERT INTO jobs_search(rowid,title,company,description,tags,location) "
             "VALUES(new.id,new.title,new.company,new.description,new.tags,new.location); END;",
             "INSERT INTO jobs_search(jobs_search) VALUES('rebuild');",
             "DELETE FROM jobs WHERE id % 7 = 0;",
             "PRAGMA user_version=3;",
         })
        t.sqlite->execute(sql);

    for (int open = 0; open < 2; ++open) { // the second start finds nothing to do
        DatabaseService reopened(t.sqlite, t.clock);
        reopened.initialize();
        EXPECT_EQ(count(*t.sqlite, "PRAGMA user_version;"), 4);
        EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM pragma_table_info('jobs_search') WHERE name='body';"), 1);
        EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search_members;"),
                  count(*t.sqlite, "SELECT COUNT(*) FROM jobs;"));
        expectSameAsScan(t, randomQueries(rng, 40), "open " + std::to_string(open));
    }
    // Stores after the migration are indexed by the new triggers.
    t.store(JobDb::job("https://e.com/new", "Clojure Engineer"));
    EXPECT_EQ(t.search("clojure"), std::vector<std::string>{"new"});
}
