#include "storage/PrivateFile.h"

#include "core/VelmoraError.h"

#include <cerrno>
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

} // namespace

void writePrivateFileAtomically(const fs::path& target, std::span<const uint8_t> bytes, mode_t mode) {
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
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        fail("write", target, error);
    }
    syncFolder(folder);
}

void renameDurably(const fs::path& from, const fs::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) fail("write", to, errno);
    syncFolder(to.has_parent_path() ? to.parent_path() : fs::path("."));
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
