// Both whole-file writers must put the bytes on disk before the new name exists, and sync the
// folder after it: a power cut then leaves the old file or the complete new one. A killed
// process cannot show a skipped fsync (the page cache survives it), so this test watches the
// system calls themselves.
#include "storage/PrivateFile.h"
#include "studio/AtomicFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The writers run on the test's own thread, so the record needs no lock.
bool watching = false;
std::vector<std::string> calls;

} // namespace

// Every fsync and rename of this program passes through here on its way to the C library.
extern "C" int fsync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    char target[4096];
    ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof(target) - 1);
    if (watching) calls.push_back("fsync " + std::string(target, n < 0 ? 0 : static_cast<size_t>(n)));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    if (watching) calls.push_back(std::string("rename ") + from + " -> " + to);
    return real(from, to);
}

namespace fs = std::filesystem;
using velmora::testing::fileMode;
using velmora::testing::readFile;

TEST(DurableWrite, BytesReachTheDiskBeforeTheRenameAndTheFolderAfterIt) {
    // Each writer, and the mode of a new file: 0 when the user's umask decides.
    const std::vector<std::tuple<const char*, std::function<void(const fs::path&, const std::string&)>, unsigned>> writers = {
        {"private file",
         [](const fs::path& p, const std::string& bytes) {
             velmora::writePrivateFileAtomically(p, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
         },
         0600},
        {"export", [](const fs::path& p, const std::string& bytes) { velmora::writeFileAtomically(p, bytes); }, 0},
    };
    for (const auto& [name, write, newFileMode] : writers) {
        SCOPED_TRACE(name);
        velmora::testing::TempDir dir;
        const fs::path folder = fs::canonical(dir.path()), target = folder / "out.bin";
        calls.clear(), watching = true;
        write(target, "first");
        watching = false;
        EXPECT_EQ(readFile(target), "first");
        // The descriptor was opened on the temporary name; it reads back as that name before the rename.
        const auto renamed = std::find_if(calls.begin(), calls.end(), [&](const std::string& c) {
            return c.starts_with("rename ") && c.ends_with(" -> " + target.string());
        });
        ASSERT_NE(renamed, calls.end()) << "never renamed onto the target";
        const std::string temporary = renamed->substr(7, renamed->find(" -> ") - 7);
        EXPECT_NE(std::find(calls.begin(), renamed, "fsync " + temporary), renamed) << "bytes not synced before the rename";
        EXPECT_NE(std::find(renamed, calls.end(), "fsync " + folder.string()), calls.end())
            << "the folder was not synced after the rename";

        // Replacing a file keeps the permissions its owner gave it.
        if (newFileMode) { EXPECT_EQ(fileMode(target), newFileMode); }
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        write(target, "second");
        EXPECT_EQ(readFile(target), "second");
        if (!newFileMode) { EXPECT_EQ(fileMode(target), 0640u); }
    }
}
