#include "storage/JobSearchIndex.h"

#include "core/Text.h"
#include "storage/SQLiteDatabase.h"

#include <unicode/unistr.h>

#include <set>

namespace velmora {

namespace {

// The searched texts of the listings of a document, one line each. Joining them makes
// trigrams that span two texts; they only add false candidates. A column that is not text
// joins as its text form, which is what LIKE compares too; a NULL joins as nothing instead of
// making the whole document NULL.
const char* const kDocumentText =
    "group_concat(ifnull(j.title,'')||char(10)||ifnull(j.company,'')||char(10)||ifnull(j.description,'')||"
    "char(10)||ifnull(j.tags,'')||char(10)||ifnull(j.location,''),char(10))";

std::string documentView() {
    // The index reads its documents from this view when it is rebuilt; the searches never read
    // it (they only take document numbers).
    return std::string("CREATE VIEW jobs_search_text AS SELECT m.doc AS doc,") + kDocumentText +
           " AS body FROM jobs_search_members m JOIN jobs j ON j.id=m.job_id WHERE m.doc>0 GROUP BY m.doc;";
}

const char* const kTextChanged =
    "old.id IS NOT new.id OR old.title IS NOT new.title OR old.company IS NOT new.company OR "
    "old.description IS NOT new.description OR old.tags IS NOT new.tags OR old.location IS NOT new.location";

// Not INSERT OR IGNORE: the upsert's DO UPDATE runs its triggers under its own conflict
// policy, which overrides the one written in the trigger. A listing changed twice in one
// batch is pending once.
const char* const kMakePending =
    "INSERT INTO jobs_search_members(doc,job_id) SELECT 0,new.id WHERE NOT EXISTS "
    "(SELECT 1 FROM jobs_search_members WHERE doc=0 AND job_id=new.id); END;";

const char* const kDropStatements[] = {
    "DROP TRIGGER IF EXISTS jobs_search_insert;", "DROP TRIGGER IF EXISTS jobs_search_delete;",
    "DROP TRIGGER IF EXISTS jobs_search_update;", "DROP TABLE IF EXISTS jobs_search;",
    "DROP VIEW IF EXISTS jobs_search_text;",      "DROP TABLE IF EXISTS jobs_search_members;",
    "DROP TABLE IF EXISTS jobs_search_state;",
};

const char* const kObjectNames[] = {"jobs_search",        "jobs_search_text",   "jobs_search_members",
                                    "jobs_search_insert", "jobs_search_delete", "jobs_search_update",
                                    "jobs_search_state"};

// Every listing above the high-water mark is pending: ids only grow (AUTOINCREMENT), so a new
// listing needs no write of its own to be found, which is most of what storing one used to
// cost the index.
const char* const kAboveMark = "SELECT p.id FROM jobs p WHERE p.id>(SELECT indexed_through FROM jobs_search_state)";

// Enough trigrams to narrow a search to a handful of documents; more only cost time.
constexpr size_t kMaxTrigrams = 12;

} // namespace

bool JobSearchIndex::supported(SQLiteDatabase& db) {
    try {
        auto v = db.scalar("SELECT sqlite_compileoption_used('ENABLE_FTS5');");
        return v && std::get_if<int64_t>(&*v) && std::get<int64_t>(*v) == 1;
    } catch (const std::exception&) {
        return false;
    }
}

bool JobSearchIndex::present(SQLiteDatabase& db) {
    std::vector<std::string> marks;
    std::vector<SQLiteValue> names;
    for (const char* name : kObjectNames) {
        marks.push_back("?");
        names.push_back(SQLiteValue::text(name));
    }
    // The per-listing index of earlier versions had a five-column table under the same name.
    names.push_back(SQLiteValue::text("jobs_search"));
    auto v = db.scalar("SELECT (SELECT COUNT(*) FROM sqlite_master WHERE name IN (" + text::join(marks, ",") +
                           "))+(SELECT COUNT(*) FROM pragma_table_info(?) WHERE name='body');",
                       names);
    return v && std::get_if<int64_t>(&*v) && std::get<int64_t>(*v) == int64_t(std::size(kObjectNames)) + 1;
}

std::vector<std::string> JobSearchIndex::createStatements() {
    std::vector<std::string> out(std::begin(kDropStatements), std::end(kDropStatements));
    out.push_back("CREATE TABLE jobs_search_members (doc INTEGER NOT NULL, job_id INTEGER NOT NULL, "
                  "PRIMARY KEY (doc, job_id)) WITHOUT ROWID;");
    out.push_back(documentView());
    // detail=none keeps only document numbers: the index cannot answer phrases, so the filter
    // is an AND of single trigrams, and the exact LIKE does the rest.
    out.push_back("CREATE VIRTUAL TABLE jobs_search USING fts5(body,content='jobs_search_text',"
                  "content_rowid='doc',tokenize='trigram',detail='none');");
    out.push_back("CREATE TABLE jobs_search_state (indexed_through INTEGER NOT NULL);");
    out.push_back("INSERT INTO jobs_search_state(indexed_through) VALUES(0);");
    // Only a row written with an id of its own at or below the mark (never by this program)
    // needs marking.
    out.push_back(std::string("CREATE TRIGGER jobs_search_insert AFTER INSERT ON jobs WHEN new.id<="
                              "(SELECT indexed_through FROM jobs_search_state) BEGIN ") +
                  kMakePending);
    // A sync stores every listing it sees again; unchanged texts need no re-indexing.
    out.push_back(std::string("CREATE TRIGGER jobs_search_update AFTER UPDATE ON jobs WHEN ") + kTextChanged +
                  " BEGIN " + kMakePending);
    // Entries of indexed documents stay (they are false candidates at worst); a pending one
    // would only be indexed for nothing.
    out.push_back("CREATE TRIGGER jobs_search_delete AFTER DELETE ON jobs BEGIN "
                  "DELETE FROM jobs_search_members WHERE doc=0 AND job_id=old.id; END;");
    for (auto& sql : rebuildStatements()) out.push_back(std::move(sql));
    return out;
}

std::vector<std::string> JobSearchIndex::rebuildStatements() {
    return {
        "DELETE FROM jobs_search_members;",
        "INSERT INTO jobs_search_members(doc,job_id) SELECT 1+(ROW_NUMBER() OVER (ORDER BY id)-1)/" +
            std::to_string(kRowsPerDocument) + ",id FROM jobs;",
        "INSERT INTO jobs_search(jobs_search) VALUES('rebuild');",
        "UPDATE jobs_search_state SET indexed_through=(SELECT IFNULL(MAX(id),0) FROM jobs);",
    };
}

std::string JobSearchIndex::pendingSelect() {
    return std::string("SELECT job_id FROM jobs_search_members WHERE doc=0 UNION ") + kAboveMark;
}

void JobSearchIndex::flush(const SQLiteDatabase::StatementRunner& run, int64_t limit) {
    // The first pending listings in id order are numbered once, into documents of
    // kRowsPerDocument after every document number in use; the statements after it read that
    // numbering. They run in the caller's transaction, so nothing writes in between. Every
    // listing above the mark up to the highest one taken was taken, so the mark moves there.
    run("CREATE TEMP TABLE IF NOT EXISTS jobs_search_chunk (job_id INTEGER PRIMARY KEY, doc INTEGER NOT NULL);", {});
    run("DELETE FROM temp.jobs_search_chunk;", {});
    run("INSERT INTO temp.jobs_search_chunk(job_id,doc) SELECT job_id,(SELECT IFNULL(MAX(doc),0) FROM "
        "jobs_search_members)+1+(ROW_NUMBER() OVER (ORDER BY job_id)-1)/" +
            std::to_string(kRowsPerDocument) + " FROM (" + pendingSelect() + " ORDER BY 1 LIMIT ?1);",
        {SQLiteValue::integer(limit)});
    run(std::string("INSERT INTO jobs_search(rowid,body) SELECT c.doc,") + kDocumentText +
            " FROM temp.jobs_search_chunk c JOIN jobs j ON j.id=c.job_id GROUP BY c.doc;",
        {});
    run("DELETE FROM jobs_search_members WHERE doc=0 AND job_id IN (SELECT job_id FROM temp.jobs_search_chunk);", {});
    run("INSERT INTO jobs_search_members(doc,job_id) SELECT doc,job_id FROM temp.jobs_search_chunk;", {});
    run("UPDATE jobs_search_state SET indexed_through=(SELECT MAX(job_id) FROM temp.jobs_search_chunk) "
        "WHERE (SELECT MAX(job_id) FROM temp.jobs_search_chunk)>indexed_through;",
        {});
}

bool JobSearchIndex::needsRebuild(SQLiteDatabase& db) {
    auto v = db.scalar("SELECT (SELECT COUNT(*) FROM jobs_search_members) > 2*(SELECT COUNT(*) FROM jobs)+" +
                       std::to_string(kRebuildSlack) + ";");
    return v && std::get_if<int64_t>(&*v) && std::get<int64_t>(*v) == 1;
}

std::string JobSearchIndex::candidateCondition(const std::string& idColumn) {
    // Pending listings (document 0, or above the mark) are always candidates.
    return idColumn + " IN (SELECT job_id FROM jobs_search_members WHERE doc IN "
                      "(SELECT 0 UNION ALL SELECT rowid FROM jobs_search WHERE jobs_search MATCH ?) UNION ALL " +
           kAboveMark + ")";
}

std::optional<std::string> JobSearchIndex::matchExpression(std::string phrase) {
    // A row can match LIKE '%phrase%' only if it holds every three-character piece of the
    // phrase's literal runs. The trigram tokenizer folds case more widely than LIKE does
    // (beyond ASCII), which only widens the candidates.
    // A bound text ends at its first NUL, so the LIKE pattern does too.
    if (auto nul = phrase.find('\0'); nul != std::string::npos) phrase.resize(nul);
    if (!text::isValidUtf8(phrase)) return std::nullopt;
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(phrase);

    std::vector<std::string> terms;
    std::set<std::string> seen;
    std::vector<UChar32> run;
    auto flush = [&] {
        // Trigrams that tile the run (plus the last one) narrow as well as all overlapping
        // ones do, at a third of the index reads.
        std::vector<size_t> starts;
        for (size_t i = 0; i + 3 <= run.size(); i += 3) starts.push_back(i);
        if (run.size() >= 3 && run.size() % 3 != 0) starts.push_back(run.size() - 3);
        for (size_t i : starts) {
            if (terms.size() >= kMaxTrigrams) break;
            icu::UnicodeString tri;
            for (size_t k = 0; k < 3; ++k) tri.append(run[i + k]);
            std::string utf8;
            tri.toUTF8String(utf8);
            if (!seen.insert(utf8).second) continue;
            std::string term = "\"";
            term += text::replaceAll(utf8, "\"", "\"\"");
            term += '"';
            terms.push_back(std::move(term));
        }
        run.clear();
    };
    for (int32_t i = 0; i < u.length(); i = u.moveIndex32(i, 1)) {
        const UChar32 c = u.char32At(i);
        if (c == '%' || c == '_') {
            flush();
        } else {
            run.push_back(c);
        }
    }
    flush();
    if (terms.empty()) return std::nullopt;
    return text::join(terms, " AND ");
}

} // namespace velmora
