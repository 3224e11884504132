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
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex callsMutex;
bool watching = false;
std::vector<std::string> calls;

void record(const std::string& call) {
    std::lock_guard lock(callsMutex);
    if (watching) calls.push_back(call);
}

} // namespace

// Every fsync and rename of this program passes through here on its way to the C library.
extern "C" int fsync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    char target[4096];
    ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof(target) - 1);
    record("fsync " + std::string(target, n < 0 ? 0 : static_cast<size_t>(n)));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    record(std::string("rename ") + from + " -> " + to);
    return real(from, to);
}

namespace fs = std::filesystem;
using velmora::testing::fileMode;
using velmora::testing::readFile;

TEST(DurableWrite, BytesReachTheDiskBeforeTheRenameAndTheFolderAfterIt) {
    struct Writer {
        const char* name;
        std::function<void(const fs::path&, const std::string&)> write;
        unsigned newFileMode; // 0 when the user's umask decides
    };
    const Writer writers[] = {
        {"private file",
         [](const fs::path& p, const std::string& bytes) {
             velmora::writePrivateFileAtomically(p, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
         },
         0600},
        {"export", [](const fs::path& p, const std::string& bytes) { velmora::writeFileAtomically(p, bytes); }, 0},
    };
    for (const Writer& writer : writers) {
        SCOPED_TRACE(writer.name);
        velmora::testing::TempDir dir;
        const fs::path folder = fs::canonical(dir.path());
        const fs::path target = folder / "out.bin";
        {
            std::lock_guard lock(callsMutex);
            calls.clear();
            watching = true;
        }
        writer.write(target, "first");
        {
            std::lock_guard lock(callsMutex);
            watching = false;
        }
        EXPECT_EQ(readFile(target), "first");
        // The descriptor was opened on the temporary name; it reads back as that name before the rename.
        size_t renamed = calls.size();
        std::string temporary;
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i].starts_with("rename ") && calls[i].ends_with(" -> " + target.string())) {
                renamed = i;
                temporary = calls[i].substr(7, calls[i].find(" -> ") - 7);
            }
        ASSERT_LT(renamed, calls.size()) << "never renamed onto the target";
        auto synced = [&](const std::string& path, size_t from, size_t to) {
            return std::find(calls.begin() + from, calls.begin() + to, "fsync " + path) != calls.begin() + to;
        };
        EXPECT_TRUE(synced(temporary, 0, renamed)) << "the bytes were not synced before the rename";
        EXPECT_TRUE(synced(folder.string(), renamed, calls.size())) << "the folder was not synced after the rename";
        if (writer.newFileMode) {
            EXPECT_EQ(fileMode(target), writer.newFileMode);
        }

        // Replacing a file keeps the permissions its owner gave it.
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        writer.write(target, "second");
        EXPECT_EQ(readFile(target), "second");
        if (!writer.newFileMode) {
            EXPECT_EQ(fileMode(target), 0640u);
        }
    }
}
