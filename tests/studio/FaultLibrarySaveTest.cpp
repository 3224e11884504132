// Saving a library document when the disk fills up or the process is killed half-way. Each
// save runs in a forked child with its own connection; the parent then opens the files the
// way the next start of the program would.
#include "StudioTestEnv.h"

#include "core/VelmoraError.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace velmora;
using velmora::testing::ChildEnd;
using velmora::testing::diskFullAt;
using velmora::testing::inChild;
using velmora::testing::TempDir;
namespace fs = std::filesystem;

namespace {

struct Library {
    std::shared_ptr<AppPaths> paths;
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<ResumeStudioService> studio;
};

Library openLibrary(const fs::path& root) {
    Library l;
    l.paths = std::make_shared<AppPaths>(root);
    fs::create_directories(root);
    auto clock = std::make_shared<FixedClock>(std::chrono::system_clock::now());
    l.sqlite = std::make_shared<SQLiteDatabase>(l.paths->database().string());
    auto db = std::make_shared<DatabaseService>(l.sqlite, clock);
    db->initialize();
    auto store = std::make_shared<SecureStoreService>(l.paths->secureStoreDirectory());
    auto profiles = std::make_shared<ApplicationProfileService>(db, store, l.paths, clock);
    l.studio = std::make_shared<ResumeStudioService>(l.sqlite, std::make_shared<ResumeService>(db), profiles, store, clock);
    l.studio->initialize();
    return l;
}

ResumeDocument document(const std::string& name, size_t experienceLines) {
    ResumeDocument d;
    d.name = name;
    d.targetRole = "Data Engineer";
    d.summary = "Builds pipelines.";
    for (size_t i = 0; i < experienceLines; ++i) d.experience += "- Shipped pipeline number " + std::to_string(i) + "\n";
    return d;
}

} // namespace

TEST(FaultLibrarySave, AFullDiskKeepsEveryStoredDocument) {
    TempDir dir;
    const fs::path root = dir / "Data";
    int64_t id = 0;
    {
        auto l = openLibrary(root);
        auto d = document("First", 20);
        id = l.studio->save(d).id;
    }
    // A bigger version of the same document, and a new one, on a disk with no room left.
    EXPECT_EQ(inChild([&](int) {
                  auto l = openLibrary(root);
                  diskFullAt(4096);
                  auto d = document("First, longer", 3000);
                  d.id = id;
                  l.studio->save(d);
              }),
              ChildEnd::Failed);
    EXPECT_EQ(inChild([&](int) {
                  auto l = openLibrary(root);
                  diskFullAt(4096);
                  auto d = document("Second", 3000);
                  l.studio->save(d);
              }),
              ChildEnd::Failed);

    auto l = openLibrary(root);
    EXPECT_EQ(std::get<std::string>(*l.sqlite->scalar("PRAGMA integrity_check;")), "ok");
    auto stored = l.studio->get(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, "First");
    EXPECT_EQ(stored->experience, document("First", 20).experience);
    EXPECT_EQ(l.studio->list().size(), 1u);
}

TEST(FaultLibrarySave, KilledWhileSavingOverAndOverTheNextStartOpensEveryDocument) {
    TempDir dir;
    const fs::path root = dir / "Data";
    for (int delay : {0, 20, 80}) {
        ChildEnd end = inChild(
            [&](int readyFd) {
                auto l = openLibrary(root);
                for (int i = 0;; ++i) {
                    auto d = document("Run " + std::to_string(i), 200 + static_cast<size_t>(i % 7) * 50);
                    l.studio->save(d);
                    if (i == 0 && write(readyFd, "r", 1) != 1) return;
                }
            },
            std::chrono::milliseconds(delay));
        EXPECT_EQ(end, ChildEnd::Killed) << "after " << delay << " ms";

        auto l = openLibrary(root);
        EXPECT_EQ(std::get<std::string>(*l.sqlite->scalar("PRAGMA integrity_check;")), "ok");
        auto key = l.paths->secureStoreDirectory() / (std::string(ResumeStudioService::kLibraryKeyAccount) + ".bin");
        EXPECT_EQ(fs::file_size(key), 32u); // never a partial key
        // Every stored row opens: none was written half.
        auto rows = std::get<int64_t>(*l.sqlite->scalar("SELECT COUNT(*) FROM resume_library;"));
        EXPECT_EQ(static_cast<int64_t>(l.studio->list().size()), rows);
        EXPECT_GT(rows, 0);
    }
}
