#include "studio/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

std::string randomSuffix() {
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) - 2);
    std::string out(8, 'x');
    for (char& c : out) c = alphabet[pick(rng)];
    return out;
}

void syncDirectory(const std::filesystem::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return; // the rename already happened; losing only its durability is acceptable
    ::fsync(fd);
    ::close(fd);
}

} // namespace

AtomicOutputFile::AtomicOutputFile(std::filesystem::path destination) : destination_(std::move(destination)) {
    std::filesystem::path folder = destination_.parent_path();
    std::string base = destination_.filename().string();
    if (base.empty()) throw std::system_error(std::make_error_code(std::errc::is_a_directory), destination_.string());
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary_ = folder / ("." + base + ".velmora-" + randomSuffix());
        // O_EXCL with mode 0666 lets the user's umask decide the permissions, as for any new file.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) break;
        if (errno != EEXIST) throw std::system_error(lastError(), destination_.string());
    }
    if (fd_ < 0) throw std::system_error(std::make_error_code(std::errc::file_exists), destination_.string());

    // A replaced file keeps the permissions the user gave it.
    struct stat existing {};
    if (::stat(destination_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd_, existing.st_mode & 07777);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (!committed_) discard();
}

void AtomicOutputFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool AtomicOutputFile::write(const void* data, size_t size) noexcept {
    if (error_ || fd_ < 0) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = lastError();
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void AtomicOutputFile::commit() {
    if (committed_) return;
    if (!error_ && fd_ >= 0 && ::fsync(fd_) != 0) error_ = lastError();
    if (fd_ >= 0 && ::close(fd_) != 0 && !error_) error_ = lastError();
    fd_ = -1;
    if (!error_ && ::rename(temporary_.c_str(), destination_.c_str()) != 0) error_ = lastError();
    if (error_) {
        discard();
        throw std::system_error(error_, destination_.string());
    }
    committed_ = true;
    syncDirectory(destination_.parent_path());
}

void writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes) {
    AtomicOutputFile out(destination);
    out.write(bytes.data(), bytes.size());
    out.commit();
}

std::string describeWriteError(const std::filesystem::path& destination, const std::system_error& error) {
    return "Could not write " + destination.string() + ": " + error.code().message() + ".";
}

} // namespace velmora
