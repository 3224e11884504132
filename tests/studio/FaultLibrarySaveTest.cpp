// Saving a library document when the disk fills up or the process is killed half-way. Each
// save runs in a forked child with its own connection; the parent then opens the files the
// way the next start of the program would.
#include "StudioTestEnv.h"

#include "support/ChildProcess.h"

#include <unistd.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

ResumeDocument document(const std::string& name, size_t experienceLines) {
    ResumeDocument d;
    d.name = name;
    for (size_t i = 0; i < experienceLines; ++i) d.experience += "- Shipped pipeline number " + std::to_string(i) + "\n";
    return d;
}

void expectIntactLibrary(StudioEnv& next) {
    EXPECT_EQ(std::get<std::string>(*next.sqlite->scalar("PRAGMA integrity_check;")), "ok");
    auto key = next.store->read(ResumeStudioService::kLibraryKeyAccount);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->size(), 32u) << "a partial key";
    // Every stored row opens: none was written half.
    auto rows = std::get<int64_t>(*next.sqlite->scalar("SELECT COUNT(*) FROM resume_library;"));
    EXPECT_GT(rows, 0);
    EXPECT_EQ(static_cast<int64_t>(next.studio->list().size()), rows);
}

} // namespace

TEST(FaultLibrarySave, AFullDiskKeepsEveryStoredDocument) {
    TempDir dir;
    int64_t id = 0;
    {
        StudioEnv first(dir / "Data");
        auto d = document("First", 20);
        id = first.studio->save(d).id;
    }
    // A bigger version of the same document, and a new one, on a disk with no room left.
    for (int64_t savedId : {id, int64_t{0}}) {
        EXPECT_EQ(inChild([&](int) {
                      StudioEnv child(dir / "Data");
                      diskFullAt(4096);
                      auto d = document("Longer", 3000);
                      d.id = savedId;
                      child.studio->save(d);
                  }),
                  ChildEnd::Failed);
    }
    StudioEnv next(dir / "Data");
    expectIntactLibrary(next);
    EXPECT_EQ(next.studio->list().size(), 1u);
    auto stored = next.studio->get(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, "First");
    EXPECT_EQ(stored->experience, document("First", 20).experience);
}

TEST(FaultLibrarySave, KilledWhileSavingOverAndOverTheNextStartOpensEveryDocument) {
    TempDir dir;
    for (int delay : {0, 20, 80}) {
        ChildEnd end = inChild(
            [&](int readyFd) {
                StudioEnv child(dir / "Data");
                for (int i = 0;; ++i) {
                    auto d = document("Run " + std::to_string(i), 200 + static_cast<size_t>(i % 7) * 50);
                    child.studio->save(d);
                    if (i == 0 && write(readyFd, "r", 1) != 1) return;
                }
            },
            std::chrono::milliseconds(delay));
        EXPECT_EQ(end, ChildEnd::Killed) << "after " << delay << " ms";
        StudioEnv next(dir / "Data");
        expectIntactLibrary(next);
    }
}
