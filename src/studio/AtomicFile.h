#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora {

// A file written beside its destination under a hidden temporary name and renamed over the
// destination only when every byte is on disk, so a failed or interrupted export never
// leaves a half-written file and never touches the file it was meant to replace.
class AtomicOutputFile {
public:
    // Creates the temporary file in the destination's folder; throws std::system_error when
    // the folder cannot hold it (missing, read-only, no permission).
    explicit AtomicOutputFile(std::filesystem::path destination);
    ~AtomicOutputFile(); // removes the temporary file unless committed
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Appends bytes. Never throws, so it can sit behind a C write callback; the first
    // failure is remembered and reported by commit().
    bool write(const void* data, size_t size) noexcept;
    bool failed() const { return static_cast<bool>(error_); }

    // Flushes to disk and renames over the destination; throws std::system_error.
    void commit();

    const std::filesystem::path& destination() const { return destination_; }
    const std::filesystem::path& temporaryPath() const { return temporary_; }

private:
    void discard() noexcept;

    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
    std::error_code error_;
};

// Whole-file convenience form of AtomicOutputFile.
void writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes);

// "Could not write <path>: <reason>." for an error of the two above.
std::string describeWriteError(const std::filesystem::path& destination, const std::system_error& error);

} // namespace velmora
