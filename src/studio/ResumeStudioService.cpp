#include "studio/ResumeStudioService.h"

#include "core/DateUtil.h"
#include "core/Log.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "storage/Sealing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

namespace {
const char* const kNotFound = "Resume was not found.";
} // namespace

const std::array<const char*, 16>& ResumeStudioService::factLabels() {
    static const std::array<const char*, 16> labels = {
        "Full name",      "Email",          "Phone",         "Location",           "LinkedIn",
        "GitHub",         "Portfolio",      "Current employer", "Current title", "Employment history",
        "Education",      "Certifications", "Skills",        "Years of experience", "Preferred job titles",
        "Preferred industries"};
    return labels;
}

ResumeStudioService::ResumeStudioService(std::shared_ptr<SQLiteDatabase> database,
                                         std::shared_ptr<ResumeService> resumes,
                                         std::shared_ptr<ApplicationProfileService> profiles,
                                         std::shared_ptr<SecureStoreService> secureStore, std::shared_ptr<Clock> clock)
    : database_(std::move(database)),
      resumes_(std::move(resumes)),
      profiles_(std::move(profiles)),
      secureStore_(std::move(secureStore)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()) {}

std::string ResumeStudioService::now() const { return DateUtil::withFractional(clock_->now()); }

// ---- normalisers ------------------------------------------------------------------------

std::string ResumeStudioService::normalizeLanguage(const std::string& value) {
    std::string code = text::lower(text::trim(value));
    for (const char* known : {"es", "fr", "de", "it", "pt"})
        if (code == known) return code;
    return "en";
}

std::string ResumeStudioService::normalizeTemplate(const std::string& style) {
    std::string lower = text::lower(style);
    if (text::contains(lower, "classic")) return "classic";
    if (text::contains(lower, "compact")) return "compact";
    return "modern";
}

std::string ResumeStudioService::languageName(const std::string& code) {
    std::string normalized = normalizeLanguage(code);
    if (normalized == "es") return "Spanish";
    if (normalized == "fr") return "French";
    if (normalized == "de") return "German";
    if (normalized == "it") return "Italian";
    if (normalized == "pt") return "Portuguese";
    return "English";
}

// ---- library ----------------------------------------------------------------------------

void ResumeStudioService::initialize() {
    database_->execute(
        "CREATE TABLE IF NOT EXISTS resume_library (\n  id INTEGER PRIMARY KEY AUTOINCREMENT,\n  name TEXT NOT NULL,\n  "
        "resume_json TEXT NOT NULL,\n  created_at TEXT NOT NULL,\n  updated_at TEXT NOT NULL\n);");
    database_->execute("CREATE INDEX IF NOT EXISTS idx_resume_library_updated ON resume_library(updated_at DESC);");
}

bool ResumeStudioService::hasSealedRows() {
    try {
        return database_
            ->scalar("SELECT 1 FROM resume_library WHERE substr(ltrim(resume_json,' '||char(9,10,13)),1,1)<>'{' LIMIT 1;")
            .has_value();
    } catch (const std::exception&) {
        return false;
    }
}

SymmetricKey ResumeStudioService::libraryKey() {
    // Held from the cache check until the new key is written and cached: two overlapping first
    // uses must not each create a key, or whatever the first one sealed would become unreadable.
    auto lock = secureStore_->lockKeys();
    if (libraryKeyCache_) return *libraryKeyCache_;

    std::optional<Bytes> stored = secureStore_->read(libraryKeyAccount_);
    for (int attempt = 0;; ++attempt) {
        if (stored) {
            if (auto key = SymmetricKey::fromBytes(*stored)) {
                libraryKeyCache_ = *key;
                return *key;
            }
            if (attempt > 0) throw VelmoraError("The stored Velmora encryption key is invalid.");
            // A key file of the wrong length cannot open anything, but it may still be someone's
            // only copy of key material: move it aside rather than overwrite it.
            std::string stamp = DateUtil::withFractional(clock_->now());
            stamp.erase(std::remove_if(stamp.begin(), stamp.end(), [](char c) { return c == ':' || c == '-'; }),
                        stamp.end());
            try {
                keyTrouble_ = KeyTrouble{"damaged_key", secureStore_->setAside(libraryKeyAccount_, stamp).string()};
            } catch (const VelmoraError& e) {
                throw VelmoraError("Could not set aside the invalid Resume Studio library key: " + e.message());
            }
        } else if (!keyTrouble_ && hasSealedRows()) {
            // Rows were sealed before, so a key existed and is gone now.
            keyTrouble_ = KeyTrouble{"missing_key", ""};
        }
        // Another process that created the key meanwhile wins; its key is used.
        stored = secureStore_->create(SymmetricKey::random().bytes(), libraryKeyAccount_);
    }
}

std::string ResumeStudioService::sealDocument(const ResumeDocument& document) {
    std::string plain = document.toJsonText();
    SymmetricKey key = libraryKey();
    Bytes box;
    try {
        box = sealing::seal(sealing::asBytes(plain), key);
    } catch (const sealing::SealingError&) {
        throw VelmoraError("Could not encrypt the Resume Studio library.");
    }
    if (box.size() < sealing::kOverhead) throw VelmoraError("Could not encrypt the Resume Studio library.");
    return sealing::base64Encode(box);
}

std::optional<ResumeDocument> ResumeStudioService::deserializeStored(const std::string& stored) {
    try {
        if (text::startsWith(text::trim(stored), "{")) return ResumeDocument::fromJsonText(stored);
        std::optional<Bytes> box = sealing::base64Decode(stored);
        if (!box) return std::nullopt;
        Bytes plain = sealing::open(*box, libraryKey());
        return ResumeDocument::fromJsonText(sealing::asString(plain));
    } catch (const std::exception& e) {
        logLine(std::string("Velmora Resume Studio library decode error: ") + e.what());
        return std::nullopt;
    }
}

ResumeStudioService::LibraryScan ResumeStudioService::scanLibrary() {
    LibraryScan scan;
    std::vector<SQLiteRow> rows;
    try {
        rows = database_->query("SELECT id,name,resume_json,updated_at FROM resume_library ORDER BY updated_at DESC;");
    } catch (const std::exception&) {
        return scan;
    }
    for (const SQLiteRow& row : rows) {
        std::optional<std::string> stored = sqlite_row::text(row, "resume_json");
        std::optional<int64_t> id = sqlite_row::integer(row, "id");
        std::optional<ResumeDocument> document = stored && id ? deserializeStored(*stored) : std::nullopt;
        if (!document) {
            // Kept in the table: a restored key file makes it readable again.
            ++scan.unreadable;
            continue;
        }
        document->id = *id;
        json resume = json::parse(document->toJsonText(), nullptr, false);
        if (resume.is_discarded() || !resume.is_object()) resume = json::object();
        scan.documents.push_back(json{
            {"id", *id},
            {"name", sqlite_row::text(row, "name").value_or(document->name)},
            {"targetRole", document->targetRole},
            {"atsScore", document->atsScore},
            {"updatedAt", sqlite_row::text(row, "updated_at").value_or(document->updatedAt)},
            {"resume", std::move(resume)},
        });
    }
    return scan;
}

json ResumeStudioService::list() { return scanLibrary().documents; }

json ResumeStudioService::libraryStatus() {
    LibraryScan scan = scanLibrary();
    json out{{"documents", scan.documents.size()}, {"unreadableCount", scan.unreadable}, {"reason", ""},
             {"message", ""}};
    if (scan.unreadable == 0) return out;
    std::optional<KeyTrouble> trouble;
    {
        auto lock = secureStore_->lockKeys();
        trouble = keyTrouble_;
    }
    const std::string count = std::to_string(scan.unreadable);
    if (trouble && trouble->reason == "damaged_key") {
        out["reason"] = "damaged_key";
        out["setAsideKey"] = trouble->setAsidePath;
        out["message"] = count + " saved resume(s) cannot be opened: the Resume Studio library key was damaged and "
                                 "was moved to " + trouble->setAsidePath + ". The resumes are kept.";
    } else if (trouble) {
        out["reason"] = "missing_key";
        out["message"] = count + " saved resume(s) cannot be opened: the Resume Studio library key is missing. "
                                 "The resumes are kept; restoring the key file makes them readable again.";
    } else {
        out["reason"] = "undecryptable";
        out["message"] = count + " saved resume(s) cannot be opened: they were sealed with a library key this "
                                 "Velmora does not have, or were altered. The resumes are kept.";
    }
    return out;
}

std::optional<ResumeDocument> ResumeStudioService::get(int64_t id) {
    std::vector<SQLiteRow> rows;
    try {
        rows = database_->query("SELECT resume_json FROM resume_library WHERE id=? LIMIT 1;", {SQLiteValue::integer(id)});
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (rows.empty()) return std::nullopt;
    std::optional<std::string> stored = sqlite_row::text(rows.front(), "resume_json");
    if (!stored) return std::nullopt;
    std::optional<ResumeDocument> document = deserializeStored(*stored);
    if (document) document->id = id;
    return document;
}

ResumeDocument ResumeStudioService::save(ResumeDocument& document) {
    std::string timestamp = now();
    document.updatedAt = timestamp;
    if (document.createdAt.empty()) document.createdAt = timestamp;

    if (document.id <= 0) {
        document.id = 0;
        std::string sealed = sealDocument(document);
        // The insert and its row id are read under one lock: another thread's insert cannot
        // slip in between and hand us its id.
        int64_t rowId = database_->insertReturningRowId(
            "INSERT INTO resume_library(name,resume_json,created_at,updated_at) VALUES(?,?,?,?);",
            {SQLiteValue::text(document.name), SQLiteValue::text(sealed), SQLiteValue::text(document.createdAt),
             SQLiteValue::text(document.updatedAt)});
        document.id = rowId;
        // The sealed JSON just stored still says id 0; store it again carrying the real id.
        database_->execute("UPDATE resume_library SET resume_json=? WHERE id=?;",
                           {SQLiteValue::text(sealDocument(document)), SQLiteValue::integer(rowId)});
    } else {
        int64_t changed = database_->executeReturningChanges(
            "UPDATE resume_library SET name=?,resume_json=?,updated_at=? WHERE id=?;",
            {SQLiteValue::text(document.name), SQLiteValue::text(sealDocument(document)),
             SQLiteValue::text(document.updatedAt), SQLiteValue::integer(document.id)});
        // Deleted meanwhile (another window of the page, say): answering ok would report a
        // save that stored nothing.
        if (changed == 0) throw VelmoraError(kNotFound);
    }
    return document;
}

ResumeDocument ResumeStudioService::updateAndSave(ResumeDocument document) {
    document.updatedAt = now();
    recalculateAts(document);
    return save(document);
}

ResumeDocument ResumeStudioService::duplicate(int64_t id, const std::string& name) {
    std::optional<ResumeDocument> source = get(id);
    if (!source) throw VelmoraError(kNotFound);
    ResumeDocument copy = *source;
    copy.id = 0;
    std::string trimmed = text::trim(name);
    copy.name = trimmed.empty() ? source->name + " Copy" : trimmed;
    copy.createdAt = now();
    copy.updatedAt = copy.createdAt;
    return save(copy);
}

void ResumeStudioService::remove(int64_t id) {
    if (database_->executeReturningChanges("DELETE FROM resume_library WHERE id=?;", {SQLiteValue::integer(id)}) == 0)
        throw VelmoraError(kNotFound);
}

} // namespace velmora
