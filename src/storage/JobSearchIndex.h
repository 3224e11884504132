#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

class SQLiteDatabase;

// The trigram pre-filter of the job search. It answers "which listings might hold this phrase",
// never "which do": the exact LIKE condition of the query decides, so the index may name too
// many listings but never too few.
//
// A sync stores listings a batch at a time, and the listings of a batch share most of their
// trigrams (boilerplate, skills, places). So a batch is indexed as ONE document, the texts of
// its listings joined: a shared trigram is written once per batch instead of once per listing,
// which is what made the per-listing index most of a sync's cost. A document that matches
// makes all its listings candidates (jobs_search_members maps documents to listings).
//
// Every writer of `jobs` is covered by triggers: a new listing, or one whose searched text
// changed, joins the pending document 0, whose listings are always candidates. flush() indexes
// the pending listings as a new document. A listing indexed again keeps its entry in the older
// document, and a deleted one keeps its entries: both only add false candidates. rebuild()
// drops them when they outnumber the live listings.
class JobSearchIndex {
public:
    // Listings per document when the index is built from the stored rows.
    static constexpr int kRowsPerDocument = 200;

    // Whether this SQLite has the FTS5 trigram tokenizer; without it every search scans.
    static bool supported(SQLiteDatabase& db);
    // Whether every object of the index exists.
    static bool present(SQLiteDatabase& db);

    // Drops any earlier form of the index (the per-listing one included), creates this one and
    // indexes every stored listing. Run inside one transaction.
    static std::vector<std::string> createStatements();
    // Indexes every stored listing afresh, dropping stale entries. Run inside one transaction.
    static std::vector<std::string> rebuildStatements();
    // Indexes the pending listings as one new document. Run inside the transaction (or
    // savepoint) that stored them, so a listing is never left in a document that is not indexed.
    static const std::vector<std::string>& flushStatements();
    // Stale entries outnumber the live listings.
    static bool needsRebuild(SQLiteDatabase& db);

    // The FTS5 expression for a LIKE phrase (without the surrounding %), or nullopt when no
    // literal run of the phrase is long enough to narrow anything (the plain scan then runs).
    static std::optional<std::string> matchExpression(std::string phrase);
    // A condition on `idColumn` that keeps the candidates of the bound match expression.
    static std::string candidateCondition(const std::string& idColumn);
};

} // namespace velmora
