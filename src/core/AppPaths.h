#pragma once

#include <filesystem>

namespace velmora {

// Where Velmora keeps its data. Computed once, on first use. The folder is
// $XDG_DATA_HOME/Quorvane/Velmora (default ~/.local/share/...), or exactly $VELMORA_DATA_DIR.
class AppPaths {
public:
    static const AppPaths& shared();

    // For the headless host's --data-dir and for tests; folders are created like shared().
    explicit AppPaths(std::filesystem::path applicationSupport);

    const std::filesystem::path& applicationSupport() const { return applicationSupport_; }
    std::filesystem::path database() const { return applicationSupport_ / "velmora.db"; }
    std::filesystem::path profileDirectory() const { return applicationSupport_ / "Profile"; }
    std::filesystem::path tempDirectory() const { return applicationSupport_ / "Temp"; }
    std::filesystem::path encryptedResume() const { return profileDirectory() / ".resume.bin"; }
    // A new resume copy waits here until the profile that names it is stored.
    std::filesystem::path stagedResume() const { return profileDirectory() / ".resume.bin.staged"; }
    std::filesystem::path secureStoreDirectory() const { return applicationSupport_ / "SecureStore"; }

    static std::filesystem::path defaultApplicationSupport();

private:
    std::filesystem::path applicationSupport_;
};

} // namespace velmora
