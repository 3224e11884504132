#include "storage/SecureStoreService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "storage/PrivateFile.h"

#include <sys/stat.h>

namespace velmora {

namespace fs = std::filesystem;

SecureStoreService::SecureStoreService(fs::path directory) : directory_(std::move(directory)) {
    // Failures are ignored: a store that cannot be prepared makes the first set() report the
    // file system's error through the operation the user started.
    std::error_code ec;
    if (directory_.has_parent_path()) fs::create_directories(directory_.parent_path(), ec);
    // Created 0700 from the start rather than narrowed afterwards, so there is no moment at
    // which others may enter it.
    ::mkdir(directory_.c_str(), 0700);
    // A folder left from an earlier run with wider permissions is narrowed again.
    ::chmod(directory_.c_str(), 0700);
}

fs::path SecureStoreService::fileURL(const std::string& account) const {
    static const text::Regex outsideSafeSet("[^A-Za-z0-9._-]");
    return directory_ / (outsideSafeSet.replaceAll(account, "_") + ".bin");
}

void SecureStoreService::set(std::span<const uint8_t> bytes, const std::string& account, bool /*allowInteraction*/) {
    const fs::path file = fileURL(account);
    writePrivateFileAtomically(file, bytes, 0600);
    // The file was created 0600 already; this only matters if a umask or ACL interfered.
    ::chmod(file.c_str(), 0600);
}

Bytes SecureStoreService::create(std::span<const uint8_t> bytes, const std::string& account) {
    const fs::path file = fileURL(account);
    if (createPrivateFileExclusively(file, bytes, 0600)) return Bytes(bytes.begin(), bytes.end());
    return readWholeFile(file);
}

fs::path SecureStoreService::setAside(const std::string& account, const std::string& stamp) {
    return moveAsideWithoutReplacing(fileURL(account), ".damaged-" + stamp);
}

std::optional<Bytes> SecureStoreService::read(const std::string& account) const {
    const fs::path file = fileURL(account);
    std::error_code ec;
    bool present = fs::exists(file, ec);
    // Only a definite "no such file" may lead a caller to create a new key; any other doubt
    // (an unreadable folder, say) must not end with a readable key being replaced.
    if (ec) throw VelmoraError("Could not read " + file.string() + ": " + ec.message() + ".");
    if (!present) return std::nullopt;
    return readWholeFile(file);
}

} // namespace velmora
