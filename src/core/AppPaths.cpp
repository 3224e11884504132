#include "core/AppPaths.h"

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The database and its journals hold every listing, application and setting; SQLite would
// create them 0644 (less the umask), and its journals copy the database file's mode.
void makePrivateFile(const fs::path& file, bool create) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_CREAT : 0), 0600);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) ::fchmod(fd, st.st_mode & 0700);
    ::close(fd);
}

} // namespace

void AppPaths::makePrivateFolder(const fs::path& folder) {
    // Failures are ignored on purpose: the first operation that needs the folder reports its own error.
    std::error_code ec;
    if (folder.has_parent_path()) fs::create_directories(folder.parent_path(), ec);
    // Made 0700 from the start rather than narrowed afterwards, so others never see inside.
    ::mkdir(folder.c_str(), 0700);
    // A folder from an earlier run (or an older Velmora) may still be open to others.
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        ::chmod(folder.c_str(), st.st_mode & 0700);
}

AppPaths::AppPaths(fs::path applicationSupport) : applicationSupport_(std::move(applicationSupport)) {
    makePrivateFolder(applicationSupport_);
    for (const fs::path& folder : {profileDirectory(), tempDirectory(), browserDirectory()}) makePrivateFolder(folder);
    makePrivateFile(database(), true);
    for (const char* journal : {"-wal", "-shm", "-journal"}) {
        fs::path file = database();
        file += journal;
        makePrivateFile(file, false);
    }
}

fs::path AppPaths::defaultApplicationSupport() {
    if (const char* dir = std::getenv("VELMORA_DATA_DIR"); dir && *dir) return fs::path(dir);
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
        }
        base = fs::path(home ? home : "/tmp") / ".local" / "share";
    }
    return base / "Quorvane" / "Velmora";
}

const AppPaths& AppPaths::shared() {
    static const AppPaths paths(defaultApplicationSupport());
    return paths;
}

} // namespace velmora
