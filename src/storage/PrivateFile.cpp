#include "storage/PrivateFile.h"

#include "core/VelmoraError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports close's own failure (a write error can surface only here).
    int close() {
        int rc = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return rc;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& verb, const fs::path& file, int error) {
    throw VelmoraError("Could not " + verb + " " + file.string() + ": " + std::strerror(error) + ".");
}

// Makes a rename in `folder` durable; a failure here does not undo the rename itself.
void syncFolder(const fs::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

// Writes `bytes` to a new temporary file beside `target` (mode `mode`, flushed to disk) and
// returns its path; the caller moves it into place. Nothing is left behind on failure.
fs::path writeTemporarySibling(const fs::path& target, std::span<const uint8_t> bytes, mode_t mode) {
    fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    // mkstemp creates the file 0600, so the bytes are never readable by others, even briefly.
    FileDescriptor fd(::mkstemp(pattern.data()));
    if (fd.get() < 0) fail("write", target, errno);
    const fs::path temporary = pattern;

    auto abandon = [&](int error) {
        fd.reset();
        ::unlink(temporary.c_str());
        fail("write", target, error);
    };
    if (::fchmod(fd.get(), mode) != 0) abandon(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0) abandon(errno);
    if (fd.close() != 0) abandon(errno);
    return temporary;
}

} // namespace

void writePrivateFileAtomically(const fs::path& target, std::span<const uint8_t> bytes, mode_t mode) {
    const fs::path temporary = writeTemporarySibling(target, bytes, mode);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        fail("write", target, error);
    }
    syncFolder(target.has_parent_path() ? target.parent_path() : fs::path("."));
}

bool createPrivateFileExclusively(const fs::path& target, std::span<const uint8_t> bytes, mode_t mode) {
    const fs::path temporary = writeTemporarySibling(target, bytes, mode);
    // The complete file appears under its name in one step, and only if no file has that
    // name yet: whoever comes second finds the first one's file and must use it.
    bool created = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
    int error = created ? 0 : errno;
    if (!created && (error == EINVAL || error == ENOSYS)) {
        // A file system without RENAME_NOREPLACE: a hard link refuses an existing name as well.
        created = ::link(temporary.c_str(), target.c_str()) == 0;
        error = created ? 0 : errno;
    }
    ::unlink(temporary.c_str()); // after the link it is a second name; after a rename it is gone
    if (!created && error != EEXIST) fail("write", target, error);
    if (created) syncFolder(target.has_parent_path() ? target.parent_path() : fs::path("."));
    return created;
}

fs::path moveAsideWithoutReplacing(const fs::path& file, const std::string& suffix) {
    for (int n = 0;; ++n) {
        fs::path aside = file;
        aside += suffix + (n == 0 ? std::string() : "-" + std::to_string(n));
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            syncFolder(file.has_parent_path() ? file.parent_path() : fs::path("."));
            return aside;
        }
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) fail("move aside", file, errno);
        if (::link(file.c_str(), aside.c_str()) != 0) {
            if (errno == EEXIST) continue;
            fail("move aside", file, errno);
        }
        ::unlink(file.c_str());
        syncFolder(file.has_parent_path() ? file.parent_path() : fs::path("."));
        return aside;
    }
}

void renameDurably(const fs::path& from, const fs::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) fail("write", to, errno);
    syncFolder(to.has_parent_path() ? to.parent_path() : fs::path("."));
}

size_t removeInterruptedWrites(const fs::path& folder) {
    size_t removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // The temporary names writeTemporarySibling makes: "." + target + ".tmp-" + 6 characters.
        const size_t mark = name.size() >= 12 ? name.size() - 11 : std::string::npos;
        if (name.front() != '.' || mark == std::string::npos || name.compare(mark, 5, ".tmp-") != 0) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || it->is_symlink(typeError)) continue;
        if (::unlink(it->path().c_str()) == 0) ++removed;
    }
    return removed;
}

Bytes readWholeFile(const fs::path& file) {
    // O_NONBLOCK so that a FIFO given by mistake is refused below instead of blocking forever.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) fail("read", file, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) fail("read", file, errno);
    if (!S_ISREG(st.st_mode)) fail("read", file, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    Bytes out;
    out.reserve(static_cast<size_t>(st.st_size));
    uint8_t buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("read", file, errno);
        }
        if (n == 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

} // namespace velmora
