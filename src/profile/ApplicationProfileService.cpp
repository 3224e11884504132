#include "profile/ApplicationProfileService.h"

#include "core/DateUtil.h"
#include "core/Log.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "profile/ApplicationProfileValidation.h"
#include "storage/PrivateFile.h"
#include "storage/Sealing.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <sys/stat.h>

namespace velmora {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* const kMissingKey =
    "Velmora cannot decrypt this older Application Profile because its local encryption key is unavailable. "
    "Re-enter the profile and click Save Profile to create a new record.";
const char* const kInvalidKey = "The stored Velmora encryption key is invalid.";
const char* const kUnreadableRecord =
    "The saved Application Profile was created by an older build or its local encryption key is unavailable. "
    "Re-enter the profile and click Save Profile to create a new local record.";
const char* const kNotVerified =
    "Velmora could not verify the saved Application Profile. No success message was shown because the stored "
    "data did not match the form.";
const char* const kEncryptFailed = "Could not encrypt Velmora profile data.";
// Set in the transaction that stores a profile naming a staged resume copy; cleared once the
// copy is in place. Its presence after a crash means the stored profile names the staged copy.
const char* const kStagedResumeMark = "stagedResumeCommitted";
const char* const kUpsertProfileSql =
    "INSERT INTO application_profile(id,profile_cipher,updated_at) VALUES(1,?,?) ON CONFLICT(id) DO UPDATE SET "
    "profile_cipher=excluded.profile_cipher,updated_at=excluded.updated_at;";

// The plain text form of any payload value.
std::string describe(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

ApplicationProfileService::ApplicationProfileService(std::shared_ptr<DatabaseService> db,
                                                     std::shared_ptr<SecureStoreService> secureStore,
                                                     std::shared_ptr<AppPaths> paths, std::shared_ptr<Clock> clock)
    : db_(std::move(db)), secureStore_(std::move(secureStore)), paths_(std::move(paths)),
      clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()) {}

// ---- keys and sealing ----

SymmetricKey ApplicationProfileService::encryptionKey(const std::string& account, bool /*allowStoreInteraction*/,
                                                      bool createIfMissing) {
    // One lock from the cache look-up to the cached new key: a second thread asking for the
    // same account waits and then finds the first thread's key instead of writing its own.
    auto lock = secureStore_->lockKeys();
    if (auto it = keyCache_.find(account); it != keyCache_.end()) return it->second;

    std::optional<Bytes> stored = secureStore_->read(account);
    if (!stored) {
        if (!createIfMissing) throw VelmoraError(kMissingKey);
        // A key that appeared meanwhile (another process) is adopted, never replaced: whatever
        // was sealed with it stays readable. A failed write caches nothing.
        stored = secureStore_->create(SymmetricKey::random().bytes(), account);
    }
    std::optional<SymmetricKey> key = SymmetricKey::fromBytes(*stored);
    std::fill(stored->begin(), stored->end(), 0);
    if (!key) throw VelmoraError(kInvalidKey);
    keyCache_.insert_or_assign(account, *key);
    return *key;
}

Bytes ApplicationProfileService::encrypt(std::span<const uint8_t> plaintext, const std::string& keyAccount) {
    SymmetricKey key = encryptionKey(keyAccount, true, true);
    try {
        return sealing::seal(plaintext, key);
    } catch (const sealing::SealingError&) {
        throw VelmoraError(kEncryptFailed);
    }
}

// ---- reading the record ----

std::optional<std::string> ApplicationProfileService::storedCipher() {
    auto rows = db_->db().query("SELECT profile_cipher FROM application_profile WHERE id=1 LIMIT 1;");
    if (rows.empty()) return std::nullopt;
    auto it = rows.front().find("profile_cipher");
    if (it == rows.front().end() || std::holds_alternative<SQLiteNull>(it->second)) return std::nullopt;
    if (const auto* textValue = std::get_if<std::string>(&it->second)) return *textValue;
    // A value of another kind was not written by us; the record is damaged, not absent.
    throw VelmoraError(kUnreadableRecord);
}

ApplicationProfile ApplicationProfileService::load(bool allowStoreInteraction) {
    std::lock_guard lock(resumeMutex_);
    try {
        settleStagedResume();
    } catch (const std::exception& e) {
        // The profile itself is still readable; the next load tries again.
        logLine(std::string("Velmora could not settle the staged resume copy: ") + e.what());
    }
    std::optional<std::string> cipher = storedCipher();
    if (!cipher) return ApplicationProfile{};
    // Sealed text that is not even base64 is a damaged record. Showing it as "no profile"
    // would hide the loss from the user, so it is reported like any other unreadable record.
    std::optional<Bytes> box = sealing::base64Decode(*cipher);
    if (!box) throw VelmoraError(kUnreadableRecord);
    try {
        SymmetricKey key = encryptionKey(profileKeyAccount_, allowStoreInteraction, false);
        Bytes plain = sealing::open(*box, key);
        return ApplicationProfile::fromStoredJson(sealing::asString(plain));
    } catch (const VelmoraError&) {
        throw;
    } catch (const std::exception&) {
        throw VelmoraError(kUnreadableRecord);
    }
}

ApplicationProfile ApplicationProfileService::get() {
    try {
        return load(false);
    } catch (const std::exception& e) {
        logLine(std::string("Velmora Application Profile load error: ") + e.what());
        return ApplicationProfile{};
    }
}

json ApplicationProfileService::getPublic() {
    ApplicationProfile profile;
    std::optional<std::string> warning;
    try {
        profile = load(false);
    } catch (const std::exception& e) {
        logLine(std::string("Velmora Application Profile load error: ") + e.what());
        warning = e.what();
    }
    std::string updated;
    try {
        auto value = db_->db().scalar("SELECT updated_at FROM application_profile WHERE id=1 LIMIT 1;");
        if (value)
            if (const auto* textValue = std::get_if<std::string>(&*value)) updated = *textValue;
    } catch (const std::exception&) {
        // The time is only shown; a failing read leaves it empty.
    }
    json out = view(profile, updated);
    if (warning) out["storageWarning"] = *warning;
    return out;
}

bool ApplicationProfileService::hasStoredResumeFile() const {
    std::error_code ec;
    return fs::exists(paths_->encryptedResume(), ec);
}

json ApplicationProfileService::view(const ApplicationProfile& profile, const std::string& updated) const {
    json out = json::object();
    out["hasResume"] = hasStoredResumeFile() && !profile.resumeName.empty();
    for (const auto& field : profileTextFields()) out[field.key] = profile.*(field.member);
    for (const auto& flag : profileFlagFields()) {
        const auto& value = profile.*(flag.member);
        out[flag.key] = value ? json(*value) : json(nullptr);
    }
    out["updatedAt"] = updated;
    return out;
}

// ---- the form ----

std::string ApplicationProfileService::readString(const json& payload, const std::string& key) {
    if (!payload.is_object()) return {};
    auto it = payload.find(key);
    if (it == payload.end() || it->is_null()) return {};
    return text::trim(describe(*it));
}

std::optional<bool> ApplicationProfileService::readOptionalBool(const json& payload, const std::string& key) {
    if (!payload.is_object()) return std::nullopt;
    auto it = payload.find(key);
    if (it == payload.end() || it->is_null()) return std::nullopt;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number()) return it->get<double>() != 0.0;
    std::string word = text::lower(text::trim(describe(*it)));
    if (word == "true" || word == "1" || word == "yes") return true;
    if (word == "false" || word == "0" || word == "no") return false;
    return std::nullopt;
}

ApplicationProfile ApplicationProfileService::normalize(ApplicationProfile profile) {
    for (const auto& field : profileTextFields()) {
        std::string& value = profile.*(field.member);
        value = text::trim(value);
        // Cut in user-perceived characters, so an accent or an emoji is never split. The cut
        // stops at the limit: counting a huge field to the end would hold the UI for seconds.
        if (value.size() > field.maxCharacters) value = text::prefixCharacters(value, field.maxCharacters);
    }
    return profile;
}

void ApplicationProfileService::stageResume(const std::string& path, ApplicationProfile& profile) {
    const fs::path file(path);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw VelmoraError("The selected resume could not be found.");
        throw VelmoraError("The selected resume could not be read: " + std::string(std::strerror(errno)) + ".");
    }
    std::string extension = file.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    extension = text::lower(extension);
    if (extension != "pdf" && extension != "docx" && extension != "txt" && extension != "md" && extension != "rtf")
        throw VelmoraError("Resume must be PDF, DOCX, TXT, MD, or RTF.");
    // A folder or a device named like a resume is refused before anything tries to read it.
    if (!S_ISREG(st.st_mode)) throw VelmoraError("The selected resume is not a regular file.");
    if (static_cast<uintmax_t>(st.st_size) > kMaxResumeBytes) throw VelmoraError("Resume must be 10 MB or smaller.");

    Bytes content;
    try {
        content = readWholeFile(file);
    } catch (const VelmoraError& e) {
        throw VelmoraError("The selected resume could not be read: " + e.message());
    }
    // The file may have changed since it was measured.
    if (content.size() > kMaxResumeBytes) throw VelmoraError("Resume must be 10 MB or smaller.");
    // An empty file is no resume; storing it would later hand an empty upload to a form.
    if (content.empty()) throw VelmoraError("The selected resume is empty.");

    Bytes box = encrypt(content, resumeKeyAccount_);
    std::fill(content.begin(), content.end(), 0);
    writePrivateFileAtomically(paths_->stagedResume(), box, 0600);
    profile.resumeName = file.filename().string();
}

void ApplicationProfileService::settleStagedResume() {
    std::error_code ec;
    const bool staged = fs::exists(paths_->stagedResume(), ec);
    if (ec) throw VelmoraError("Could not read " + paths_->stagedResume().string() + ": " + ec.message() + ".");
    // Read directly (not through getSetting's fallback): a failed read must not pass for "no mark".
    const bool marked = db_->db().scalar("SELECT 1 FROM settings WHERE key=?;", {kStagedResumeMark}).has_value();
    if (marked) {
        // The stored profile names the staged copy: put it in place, then forget the mark.
        if (staged) renameDurably(paths_->stagedResume(), paths_->encryptedResume());
        db_->db().execute("DELETE FROM settings WHERE key=?;", {kStagedResumeMark});
    } else if (staged) {
        // The profile naming it was never stored; the previous resume stays.
        fs::remove(paths_->stagedResume(), ec);
    }
}

json ApplicationProfileService::save(const json& payload) {
    std::lock_guard lock(resumeMutex_);
    const std::string resumePath = readString(payload, "resumePath");

    ApplicationProfile profile;
    if (resumePath.empty()) {
        try {
            profile.resumeName = load(false).resumeName; // the stored resume stays attached
        } catch (const std::exception&) {
            // An unreadable record is being replaced; it has no resume worth keeping.
        }
    }
    for (const auto& field : profileTextFields()) {
        if (field.member == &ApplicationProfile::resumeName) continue; // set by the service only
        profile.*(field.member) = readString(payload, field.key);
    }
    for (const auto& flag : profileFlagFields()) profile.*(flag.member) = readOptionalBool(payload, flag.key);
    profile = normalize(std::move(profile));
    // Refused before anything is written: a bad value must not replace a good one.
    requireValidProfile(profile);

    // A new resume is staged first; the profile naming it and a mark go into the database in
    // one transaction; then the copy replaces the old one and the mark goes. A crash at any
    // point leaves either the old profile with the old copy, or a mark that the next load
    // follows to finish the move: never a name beside the wrong file.
    settleStagedResume();
    const bool newResume = !resumePath.empty();
    if (newResume) stageResume(resumePath, profile);

    const std::string written = profile.storedJson();
    const std::string updated = DateUtil::withFractional(clock_->now());
    try {
        const std::string sealedText =
            sealing::base64Encode(encrypt(sealing::asBytes(written), profileKeyAccount_));
        db_->db().transaction([&](const SQLiteDatabase::StatementRunner& run) {
            run(kUpsertProfileSql, {SQLiteValue::text(sealedText), SQLiteValue::text(updated)});
            if (newResume)
                run(DatabaseService::kSetSettingSql,
                    {SQLiteValue::text(kStagedResumeMark), SQLiteValue::text(updated)});
        });
    } catch (...) {
        std::error_code ec;
        if (newResume) fs::remove(paths_->stagedResume(), ec);
        throw;
    }
    if (newResume) settleStagedResume();

    ApplicationProfile loaded = load(false);
    if (loaded.storedJson() != written) throw VelmoraError(kNotVerified);
    json out = view(loaded, updated);
    out["saveVerified"] = true;
    return out;
}

// ---- temporary resume copies ----

std::string ApplicationProfileService::temporaryResumeName(const std::string& resumeName) {
    // Employers see this name in their upload field, so it is the user's own file name, made
    // safe as a single file name: no folders, controls, invisible format characters or
    // characters other systems refuse, not hidden, and short enough for any file system.
    static const text::Regex unsafe("[\\p{Cc}\\p{Cf}\\p{Zl}\\p{Zp}/\\\\:*?\"<>|]+");
    const fs::path original(unsafe.replaceAll(resumeName, "_"));
    std::string extension = original.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    std::string stem = extension.empty() ? original.filename().string() : original.stem().string();
    if (extension.empty() || text::characterCount(extension) >= 11) extension = "pdf";
    stem = text::trim(stem);
    while (!stem.empty() && stem.front() == '.') stem = text::trim(stem.substr(1));
    if (text::characterCount(stem) > 100) stem = text::trim(text::prefixCharacters(stem, 100));
    if (stem.empty()) stem = "resume";
    return stem + "." + extension;
}

std::optional<fs::path> ApplicationProfileService::createTemporaryResumeFile() {
    ApplicationProfile profile = get();
    if (profile.resumeName.empty() || !hasStoredResumeFile()) return std::nullopt;
    std::optional<fs::path> folder;
    try {
        Bytes box = readWholeFile(paths_->encryptedResume());
        SymmetricKey key = encryptionKey(resumeKeyAccount_, true, false);
        Bytes plain;
        try {
            plain = sealing::open(box, key);
        } catch (const sealing::SealingError&) {
            throw VelmoraError("The stored resume copy could not be decrypted.");
        }
        AppPaths::makePrivateFolder(paths_->tempDirectory());
        // A folder of its own (0700) per copy, so the file can keep the user's own name.
        std::string pattern = (paths_->tempDirectory() / "resume-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw VelmoraError("Could not create a temporary folder: " + std::string(std::strerror(errno)) + ".");
        folder = fs::path(pattern);
        fs::path target = *folder / temporaryResumeName(profile.resumeName);
        writePrivateFileAtomically(target, plain, 0600);
        std::fill(plain.begin(), plain.end(), 0);
        return target;
    } catch (const std::exception& e) {
        std::error_code ec;
        if (folder) fs::remove_all(*folder, ec);
        logLine(std::string("Velmora temporary resume decrypt error: ") + e.what());
        return std::nullopt;
    }
}

void ApplicationProfileService::deleteTemporaryFile(const std::optional<fs::path>& url) {
    if (!url || url->empty()) return;
    std::error_code ec;
    // Both sides fully resolved ("..", "." and symbolic links), so neither a parent step nor a
    // link placed in Temp can point the removal at a file elsewhere.
    fs::path temp = fs::weakly_canonical(paths_->tempDirectory(), ec);
    if (ec) return;
    fs::path absolute = fs::absolute(*url, ec);
    if (ec) return;
    fs::path target = fs::weakly_canonical(absolute, ec);
    if (ec) return;
    const std::string prefix = temp.string() + "/";
    const std::string candidate = target.string();
    if (candidate.size() <= prefix.size() || candidate.compare(0, prefix.size(), prefix) != 0) return;
    fs::remove(target, ec);
    // The copy's own folder goes with it (only when empty: never anything else in Temp).
    if (target.parent_path() != temp && target.parent_path().parent_path() == temp) fs::remove(target.parent_path(), ec);
}

void ApplicationProfileService::sweepTemporaryFiles() {
    std::error_code ec;
    // Everything in Temp is a decrypted copy made by this program; the data-folder lock says
    // no other Velmora is using one right now.
    for (fs::directory_iterator it(paths_->tempDirectory(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code removeError;
        fs::remove_all(it->path(), removeError);
        if (removeError) logLine("Velmora temporary file clean-up error: " + removeError.message());
    }
    removeInterruptedWrites(paths_->profileDirectory());
}

} // namespace velmora
