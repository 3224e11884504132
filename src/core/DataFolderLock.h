#pragma once

#include <filesystem>

namespace velmora {

// Keeps one running Velmora per data folder. Two processes on one folder would each create
// keys, write the profile and sweep the other's temporary files; so the folder is claimed with
// an exclusive lock on a file inside it before anything else in it is created or opened. The
// lock goes with the process (closing the descriptor, or dying), so a crash never leaves the
// folder claimed.
class DataFolderLock {
public:
    static constexpr const char* kFileName = "velmora.lock";

    // Creates the folder (0700) when missing and claims it. Throws VelmoraError
    // "Velmora is already running with this data folder: <folder>" when another process holds
    // it, or a sentence naming the system's reason when the lock file cannot be made.
    explicit DataFolderLock(const std::filesystem::path& folder);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace velmora
