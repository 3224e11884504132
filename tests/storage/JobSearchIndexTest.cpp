// The trigram pre-filter must never change a search result: every answer is compared with the
// plain LIKE scan over the same rows.
#include "JobTestSupport.h"

#include "core/Text.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>

using namespace velmora;
using velmora::testing::JobDb;

namespace {

std::vector<int64_t> ids(const nlohmann::json& jobs) {
    std::vector<int64_t> out;
    for (const auto& j : jobs)
        out.push_back(j["id"].get<int64_t>());
    return out;
}

// The statement without any index help, with the same tie order.
std::vector<int64_t> plainScan(SQLiteDatabase& db, const std::string& phrase) {
    std::vector<SQLiteValue> b{SQLiteValue::text("2000-01-01T00:00:00.000Z")};
    for (int i = 0; i < 5; ++i)
        b.push_back(SQLiteValue::text("%" + phrase + "%"));
    std::vector<int64_t> out;
    for (const auto& row : db.query("SELECT id FROM jobs NOT INDEXED WHERE expires_at >= ? AND (title LIKE ? OR "
                                    "company LIKE ? OR description LIKE ? OR tags LIKE ? OR location LIKE ?) "
                                    "ORDER BY COALESCE(published_at,added_at) DESC,id DESC LIMIT 500;",
                                    b))
        out.push_back(*sqlite_row::integer(row, "id"));
    return out;
}

int64_t count(SQLiteDatabase& db, const std::string& sql) {
    return std::get<int64_t>(*db.scalar(sql));
}

void expectIndexInStep(SQLiteDatabase& db) {
    EXPECT_NO_THROW(db.execute("INSERT INTO jobs_search(jobs_search) VALUES('integrity-check');"));
}

// clang-format off
const std::vector<std::string> kTexts = {
    "Senior Backend Engineer",  "senior backend ENGINEER (Go)", "Café Ünternehmen GmbH", "CAFÉ ünternehmen",
    "100% remote, my_file.txt", "O'Brien \"quoted\" text",    "back\\slash and more",    "İstanbul ofisi",
    "naïve résumé reviewer",    "Straße & Söhne",             "数据工程师 远程",           "🚀 rocket team",
    "abc",                      "ab",                         "Data Analyst – EMEA",      "DROP TABLE jobs;--",
};
// clang-format on

// The first half arrives as one sync batch, the rest one listing at a time: both writers feed the index.
void fill(JobDb& t, int n, std::mt19937& rng) {
    auto pick = [&] { return kTexts[rng() % kTexts.size()]; };
    std::vector<std::pair<IncomingJob, SecurityAssessment>> batch;
    for (int i = 0; i < n; ++i) {
        auto j = JobDb::job("https://e.com/" + std::to_string(i), pick(), pick());
        j.company = pick() + " #" + std::to_string(i); // distinct postings: nothing collapses
        j.description = pick() + " " + pick() + " " + pick();
        j.tags = {pick()};
        if (rng() % 3) j.publishedAt = *DateUtil::parse("2026-02-0" + std::to_string(1 + rng() % 9) + "T00:00:00Z");
        if (i < n / 2) {
            batch.emplace_back(j, JobDb::rating(65));
        } else {
            if (!batch.empty()) t.db.upsertJobs(std::exchange(batch, {}));
            t.store(j);
        }
    }
}

std::vector<std::string> queries(std::mt19937& rng) {
    // clang-format off
    std::vector<std::string> q = {"engineer", "ENGINEER", "senior backend engineer", "Senior%Engineer", "r_st",
                                  "café", "CAFé", "cafÉ", "ünternehmen", "ÜNTERNEHMEN", "100%", "my_file",
                                  "O'Brien \"quoted\"", "back\\slash", "İstanbul", "istanbul", "straße", "STRASSE",
                                  "数据工程", "🚀 roc", "ab", "abc", "%", "_", "__", "%%%", "a%b%c", "\"\"\"",
                                  "drop table", "eng_neer", "gineer (go)", "–", "x", std::string("eng\0ineer", 9)};
    // clang-format on
    // Random cuts of the stored texts with random ASCII case changes and wildcards.
    for (int i = 0; i < 60; ++i) {
        const std::string& source = kTexts[rng() % kTexts.size()];
        size_t from = rng() % source.size();
        std::string cut = source.substr(from, 1 + rng() % 12);
        for (auto& c : cut)
            if (rng() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (rng() % 5 == 0 && cut.size() > 3) cut[rng() % cut.size()] = (rng() % 2) ? '%' : '_';
        q.push_back(cut);
    }
    return q;
}

} // namespace

TEST(JobSearchIndex, SameRowsAndOrderAsThePlainScan) {
    JobDb t;
    std::mt19937 rng(7);
    fill(t, 120, rng);
    ASSERT_GT(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search WHERE jobs_search MATCH '\"eng\"';"), 0);
    for (const auto& q : queries(rng)) {
        const std::string phrase = text::trim(q);
        if (phrase.empty()) continue;
        EXPECT_EQ(ids(t.db.getJobs("All", q, 500, 0)), plainScan(*t.sqlite, phrase)) << "query: " << q;
    }
}

TEST(JobSearchIndex, StaysInStepWithEveryWriter) {
    JobDb t;
    auto j = JobDb::job("https://e.com/a", "Kotlin Developer");
    t.store(j);
    j.title = "Swift Developer";
    t.store(j); // the upsert's update
    EXPECT_TRUE(t.search("kotlin").empty());
    EXPECT_EQ(t.search("swift").size(), 1u);

    // Statements that bypass the service are covered too.
    t.sqlite->execute("UPDATE jobs SET description='Elixir and Erlang' WHERE url='https://e.com/a';");
    EXPECT_EQ(t.search("elixir and").size(), 1u);
    t.advanceDays(91);
    t.store(JobDb::job("https://e.com/b", "Swift Lead"));
    EXPECT_EQ(t.db.deleteExpiredJobs(), 1);
    EXPECT_EQ(t.search("swift"), std::vector<std::string>{"b"});
    expectIndexInStep(*t.sqlite);

    // Emptying the index (never done by the program) shows which searches consult it:
    // phrases with a three-character literal run do, shorter ones scan.
    t.sqlite->execute("INSERT INTO jobs_search(jobs_search) VALUES('delete-all');");
    EXPECT_TRUE(t.search("swift").empty());
    EXPECT_EQ(t.search("sw%f_").size(), 1u);
    EXPECT_EQ(t.search("sw").size(), 1u);
}

// What an earlier version left behind, or a tool removed: the jobs table without the index.
TEST(JobSearchIndex, AMissingIndexIsScannedAroundThenRebuiltOnce) {
    JobDb t;
    t.store(JobDb::job("https://e.com/a", "Haskell Engineer"));
    for (const char* sql : {"DROP TRIGGER jobs_search_insert;", "DROP TRIGGER jobs_search_delete;",
                            "DROP TRIGGER jobs_search_update;", "DROP TABLE jobs_search;"})
        t.sqlite->execute(sql);
    t.store(JobDb::job("https://e.com/b", "OCaml Engineer"));
    EXPECT_EQ(t.search("haskell engineer"), std::vector<std::string>{"a"});

    for (int start = 0; start < 2; ++start) { // the second start neither rebuilds nor duplicates
        DatabaseService reopened(t.sqlite, t.clock);
        reopened.initialize();
        EXPECT_EQ(reopened.getJobs("All", "engineer", 10, 0).size(), 2u);
        EXPECT_EQ(count(*t.sqlite, "SELECT COUNT(*) FROM jobs_search WHERE jobs_search MATCH '\"cam\"';"), 1);
        expectIndexInStep(*t.sqlite);
    }
}
