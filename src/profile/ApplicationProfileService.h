#pragma once

#include "core/AppPaths.h"
#include "core/Clock.h"
#include "profile/ApplicationProfile.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h" // Bytes
#include "storage/SecureStoreService.h"
#include "storage/SymmetricKey.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>

namespace velmora {

// Keeps the one Application Profile: encoded as JSON, sealed with AES-256-GCM under the profile
// key and stored as sealed text in the single row of `application_profile`. The user's resume is
// copied, sealed under a second key, to Profile/.resume.bin and decrypted to a short-lived file
// in Temp only when a form (or Resume Studio) needs it.
class ApplicationProfileService {
public:
    static constexpr const char* kProfileKeyAccount = "profile.encryption.key.v1";
    static constexpr const char* kResumeKeyAccount = "profile.resume.encryption.key.v1";
    static constexpr uintmax_t kMaxResumeBytes = 10485760; // 10 MB

    ApplicationProfileService(std::shared_ptr<DatabaseService> db, std::shared_ptr<SecureStoreService> secureStore,
                              std::shared_ptr<AppPaths> paths, std::shared_ptr<Clock> clock = nullptr);

    // The stored profile; the empty profile when nothing (readable as base64) is stored.
    // Throws VelmoraError when a stored record cannot be opened (missing or invalid key,
    // altered or undecodable data) or the database fails.
    ApplicationProfile load(bool allowStoreInteraction);
    // load(false), or the empty profile (and a log line) on any failure.
    ApplicationProfile get();
    // The profile view for the page, with `storageWarning` when the stored record is unreadable.
    nlohmann::json getPublic();
    // Saves the form (`payload` as sent by the page; every value type is read leniently) and
    // returns the view of what was read back, with `saveVerified` = true. When the payload has a
    // non-empty `resumePath`, that file is sealed into the stored resume copy first; if that
    // fails nothing is written.
    nlohmann::json save(const nlohmann::json& payload);
    // `hasResume`, the 26 fields (unset flags as null), then `updatedAt`.
    nlohmann::json view(const ApplicationProfile& profile, const std::string& updated) const;

    // Decrypts the stored resume to Temp/resume-<random>/<the user's file name> (folder 0700,
    // file 0600) and returns its path; nullopt (and a log line) when there is no resume or it
    // cannot be decrypted. The caller deletes the file with deleteTemporaryFile when done.
    std::optional<std::filesystem::path> createTemporaryResumeFile();
    // Removes the file only when it lies inside Temp once "..", "." and symbolic links are
    // resolved; anything else is left alone. Never throws.
    // Its folder inside Temp goes too once empty.
    void deleteTemporaryFile(const std::optional<std::filesystem::path>& url);
    // Removes every decrypted copy left in Temp and the half-written files that interrupted
    // saves leave in Profile. For start-up, while this process holds the data-folder lock.
    void sweepTemporaryFiles();
    // The file name a decrypted copy gets: the stored resume name made safe for one path component.
    static std::string temporaryResumeName(const std::string& resumeName);

    // The account's key: from the cache, else from its key file (exactly 32 bytes, else
    // "The stored Velmora encryption key is invalid."), else newly created when
    // `createIfMissing`, else the "cannot decrypt this older Application Profile" error.
    // Safe to call from several threads.
    SymmetricKey encryptionKey(const std::string& account, bool allowStoreInteraction, bool createIfMissing);
    // Combined box of `plaintext` under the account's key (created on first use).
    Bytes encrypt(std::span<const uint8_t> plaintext, const std::string& keyAccount);

    // True when the stored resume copy file exists (whatever the profile says).
    bool hasStoredResumeFile() const;

    // Form readers, exposed for the bridge and tests: lenient about every JSON type.
    static std::string readString(const nlohmann::json& payload, const std::string& key);
    static std::optional<bool> readOptionalBool(const nlohmann::json& payload, const std::string& key);
    // Trims every text field and cuts it to its limit in user-perceived characters.
    static ApplicationProfile normalize(ApplicationProfile profile);

private:
    // Seals the chosen resume into the staged copy and names it in `profile`.
    void stageResume(const std::string& path, ApplicationProfile& profile);
    // Finishes or undoes a save that a crash interrupted (see save()). Throws when the
    // database cannot say which, leaving both files as they are.
    void settleStagedResume();
    std::optional<std::string> storedCipher();

    std::shared_ptr<DatabaseService> db_;
    std::shared_ptr<SecureStoreService> secureStore_;
    std::shared_ptr<AppPaths> paths_;
    std::shared_ptr<Clock> clock_;
    std::string profileKeyAccount_ = kProfileKeyAccount;
    std::string resumeKeyAccount_ = kResumeKeyAccount;
    std::map<std::string, SymmetricKey> keyCache_; // guarded by the store's key lock
    // Held from staging a resume copy until it is in place, so no reader takes the staged
    // copy of a save in progress for the leftover of a crash. Recursive: save() reads back.
    std::recursive_mutex resumeMutex_;
};

} // namespace velmora
