#pragma once

#include "storage/SQLiteDatabase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The trigram pre-filter of the job search. It answers "which listings might hold this phrase",
// never "which do": the exact LIKE condition of the query decides, so the index may name too
// many listings but never too few.
//
// The index is written apart from the listings, many at a time in one statement, instead of
// by a trigger for every listing: that per-listing write was most of the cost of a sync, and a
// sync now stores its listings first and indexes them afterwards. Its documents are kept apart
// from the listings: jobs_search_members maps each document to the listings it holds
// (kRowsPerDocument of them), and a matching document makes them candidates.
//
// Every writer of `jobs` is covered: a listing above the high-water mark of jobs_search_state
// is pending (ids only grow), and triggers make pending (document 0) a listing whose searched
// text changed or that was written below the mark. Pending listings are always candidates, so
// a search is exact however far the index lags behind. flush() indexes them in new documents.
// A listing indexed again keeps its older document, and a deleted one keeps its entries: both
// only add false candidates. rebuild() drops them once they outnumber the live listings.
class JobSearchIndex {
public:
    // Stale entries tolerated beyond the live listings before a rebuild.
    static constexpr int kRebuildSlack = 200;
    // Listings per document. Larger documents share their trigrams (about a fifth less work
    // per stored listing at 200) but make every listing of a matching document a candidate,
    // which made multi-word searches many times slower; writing the index once per stored batch
    // instead of once per listing is where the time went, whatever the document size.
    static constexpr int kRowsPerDocument = 1;

    // Whether this SQLite has the FTS5 trigram tokenizer; without it every search scans.
    static bool supported(SQLiteDatabase& db);
    // Whether every object of the index exists.
    static bool present(SQLiteDatabase& db);

    // Drops any earlier form of the index (the per-listing one included), creates this one and
    // indexes every stored listing. Run inside one transaction.
    static std::vector<std::string> createStatements();
    // Indexes every stored listing afresh, dropping stale entries. Run inside one transaction.
    static std::vector<std::string> rebuildStatements();
    // Indexes the first `limit` pending listings (-1: all) in new documents. Run inside a
    // transaction (or savepoint) that a failure rolls back: part of it could take listings out
    // of pending without indexing them.
    static void flush(const SQLiteDatabase::StatementRunner& run, int64_t limit);
    // The ids of the pending listings, as a compound SELECT.
    static std::string pendingSelect();
    // Stale entries outnumber the live listings.
    static bool needsRebuild(SQLiteDatabase& db);

    // The FTS5 expression for a LIKE phrase (without the surrounding %), or nullopt when no
    // literal run of the phrase is long enough to narrow anything (the plain scan then runs).
    static std::optional<std::string> matchExpression(std::string phrase);
    // A condition on `idColumn` that keeps the candidates of the bound match expression.
    static std::string candidateCondition(const std::string& idColumn);
};

} // namespace velmora
