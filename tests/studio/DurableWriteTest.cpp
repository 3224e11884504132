// Both whole-file writers must put the bytes on disk before the new name exists, and sync the
// folder after it: a power cut then leaves the old file or the complete new one. A killed
// process cannot show a skipped fsync (the page cache survives it), so this test watches the
// system calls themselves.
#include "storage/PrivateFile.h"
#include "studio/AtomicFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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

std::string pathOf(int fd) {
    char target[4096];
    ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof(target) - 1);
    return n < 0 ? std::string("?") : std::string(target, static_cast<size_t>(n));
}

void record(const std::string& call) {
    std::lock_guard lock(callsMutex);
    if (watching) calls.push_back(call);
}

} // namespace

// Every fsync and rename of this program passes through here on its way to the C library.
extern "C" int fsync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    record("fsync " + pathOf(fd));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    record(std::string("rename ") + from + " -> " + to);
    return real(from, to);
}

namespace fs = std::filesystem;
using velmora::testing::readFile;
using velmora::testing::TempDir;

namespace {

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

struct Writer {
    const char* name;
    std::function<void(const fs::path&, const std::string&)> write;
    mode_t newFileMode; // 0 when the user's umask decides
};

} // namespace

TEST(DurableWrite, BytesReachTheDiskBeforeTheRenameAndTheFolderAfterIt) {
    const Writer writers[] = {
        {"private file",
         [](const fs::path& p, const std::string& bytes) {
             velmora::writePrivateFileAtomically(p, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
         },
         0600},
        {"export", [](const fs::path& p, const std::string& bytes) { velmora::writeFileAtomically(p, bytes); }, 0},
    };
    for (const auto& writer : writers) {
        TempDir dir;
        const fs::path target = fs::canonical(dir.path()) / "out.bin";
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
        EXPECT_EQ(readFile(target), "first") << writer.name;
        std::string temporary;
        size_t renamed = calls.size(), fileSynced = calls.size(), folderSynced = calls.size();
        for (size_t i = 0; i < calls.size(); ++i) {
            const std::string& call = calls[i];
            if (call.rfind("rename ", 0) == 0 && call.size() > target.string().size() &&
                call.compare(call.size() - target.string().size(), std::string::npos, target.string()) == 0) {
                renamed = i;
                temporary = call.substr(7, call.find(" -> ") - 7);
            }
        }
        ASSERT_LT(renamed, calls.size()) << writer.name << " never renamed onto the target";
        for (size_t i = 0; i < calls.size(); ++i) {
            // The descriptor was opened on the temporary name; it reads back as that name before the rename.
            if (i < renamed && calls[i] == "fsync " + temporary) fileSynced = i;
            if (i > renamed && calls[i] == "fsync " + dir.path().string()) folderSynced = i;
            if (i > renamed && calls[i] == "fsync " + fs::canonical(dir.path()).string()) folderSynced = i;
        }
        EXPECT_LT(fileSynced, renamed) << writer.name << ": the bytes were not synced before the rename";
        EXPECT_LT(folderSynced, calls.size()) << writer.name << ": the folder was not synced after the rename";
        if (writer.newFileMode) EXPECT_EQ(modeOf(target), writer.newFileMode) << writer.name;

        // Replacing a file keeps the permissions its owner gave it.
        ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        writer.write(target, "second");
        EXPECT_EQ(readFile(target), "second") << writer.name;
        if (!writer.newFileMode) EXPECT_EQ(modeOf(target), 0640u) << writer.name;
    }
}
