#pragma once

#include <filesystem>

namespace velmora {

// Where Velmora keeps its data. Computed once, on first use. The folder is
// $XDG_DATA_HOME/Quorvane/Velmora (default ~/.local/share/...), or exactly $VELMORA_DATA_DIR.
// Everything in it is private to its owner: folders 0700, the database and its journals 0600,
// and modes left wider by an earlier run are narrowed when the paths are made. Claim the folder
// with DataFolderLock first.
class AppPaths {
public:
    static const AppPaths& shared();

    // For the headless host's --data-dir and for tests; folders are created like shared(), and
    // an empty database file (0600) when there is none, so SQLite's journals are 0600 too.
    explicit AppPaths(std::filesystem::path applicationSupport);

    const std::filesystem::path& applicationSupport() const { return applicationSupport_; }
    std::filesystem::path database() const { return applicationSupport_ / "velmora.db"; }
    std::filesystem::path profileDirectory() const { return applicationSupport_ / "Profile"; }
    std::filesystem::path tempDirectory() const { return applicationSupport_ / "Temp"; }
    std::filesystem::path encryptedResume() const { return profileDirectory() / ".resume.bin"; }
    // A new resume copy waits here until the profile that names it is stored.
    std::filesystem::path stagedResume() const { return profileDirectory() / ".resume.bin.staged"; }
    std::filesystem::path secureStoreDirectory() const { return applicationSupport_ / "SecureStore"; }
    // The application browser's cookies and cache: employer sign-ins.
    std::filesystem::path browserDirectory() const { return applicationSupport_ / "Browser"; }

    // Creates `folder` (and missing parents) 0700, or narrows an existing one of ours to 0700.
    // Never fails: the first operation that needs the folder reports the trouble.
    static void makePrivateFolder(const std::filesystem::path& folder);

    static std::filesystem::path defaultApplicationSupport();

private:
    std::filesystem::path applicationSupport_;
};

} // namespace velmora
