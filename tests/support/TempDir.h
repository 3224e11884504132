#pragma once

#include <filesystem>
#include <string>

namespace velmora::testing {

// A fresh folder under the system temp folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& content);
// The permission bits of `p` (following links); a missing file fails the test and gives 0.
unsigned fileMode(const std::filesystem::path& p);

} // namespace velmora::testing
