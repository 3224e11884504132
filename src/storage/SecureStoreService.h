#pragma once

#include "storage/SQLiteDatabase.h" // Bytes

#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace velmora {

// The private key store: one file per account holding the raw 32-byte key, in a folder only
// the user can enter (0700), each file 0600. Keys are plain bytes protected by file-system
// permissions; there is no keychain and nothing ever prompts the user.
//
// Key accounts in use: "profile.encryption.key.v1", "profile.resume.encryption.key.v1"
// (ApplicationProfileService) and "resume.library.encryption.key.v1" (Resume Studio).
class SecureStoreService {
public:
    // Prepares `directory` (created with 0700, and corrected to 0700 if it existed wider).
    // Never fails: a folder that cannot be prepared makes the first set() fail instead.
    explicit SecureStoreService(std::filesystem::path directory);

    const std::filesystem::path& directory() const { return directory_; }

    // The account's key file: every character outside [A-Za-z0-9._-] becomes "_", then ".bin".
    // Pure path computation; the file need not exist. Always directly inside directory().
    std::filesystem::path fileURL(const std::string& account) const;

    // Writes the key file atomically (temporary file, fsync, rename) with mode 0600, replacing
    // any key there: for restoring a key. New keys go through create().
    // `allowInteraction` has no effect in this store. Throws VelmoraError on a write failure.
    void set(std::span<const uint8_t> bytes, const std::string& account, bool allowInteraction = false);

    // Creates the account's key file with `bytes` unless one exists, and answers the bytes the
    // file holds afterwards: `bytes`, or those of a file that was already there, which is
    // adopted and never replaced. Throws VelmoraError on a write or read failure.
    Bytes create(std::span<const uint8_t> bytes, const std::string& account);

    // Moves a key file that cannot be used out of the way, to "<file>.damaged-<stamp>" (never
    // over another file), so that a new key can take its name without destroying it.
    // Answers the new path; throws VelmoraError when the file cannot be moved.
    std::filesystem::path setAside(const std::string& account, const std::string& stamp);

    // The key file's bytes (of any length), or nullopt when there is no file.
    // A read failure is thrown as VelmoraError.
    std::optional<Bytes> read(const std::string& account) const;

    // Serialises look-ups that may create a key: hold this lock from "is there a key file?"
    // until the new key is written and cached, so two threads never create two different
    // keys for one account (the second would make whatever the first sealed unreadable).
    // The lock is not recursive: release it before calling anything else that looks up a key.
    std::unique_lock<std::mutex> lockKeys() { return std::unique_lock<std::mutex>(keyMutex_); }

private:
    std::filesystem::path directory_;
    std::mutex keyMutex_;
};

} // namespace velmora
