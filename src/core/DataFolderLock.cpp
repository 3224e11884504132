#include "core/DataFolderLock.h"

#include "core/AppPaths.h"
#include "core/VelmoraError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;

DataFolderLock::DataFolderLock(const fs::path& folder) {
    AppPaths::makePrivateFolder(folder);
    const fs::path file = folder / kFileName;
    // O_CLOEXEC: a child process (WebKit's helpers) must not inherit the claim and keep the
    // folder locked after this process is gone.
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        throw VelmoraError("Could not lock the Velmora data folder " + folder.string() + ": " + std::strerror(errno) +
                           ".");
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd_);
        fd_ = -1;
        if (error == EWOULDBLOCK) throw VelmoraError("Velmora is already running with this data folder: " + folder.string());
        throw VelmoraError("Could not lock the Velmora data folder " + folder.string() + ": " + std::strerror(error) + ".");
    }
    ::fchmod(fd_, 0600);
    // The holder's process id, for whoever wonders which process has the folder.
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, pid.data(), pid.size(), 0) < 0) {
        // Only informative; the lock itself is what counts.
    }
}

DataFolderLock::~DataFolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

} // namespace velmora
