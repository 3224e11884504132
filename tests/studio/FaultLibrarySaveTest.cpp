// Saving a library document when the disk fills up or the process is killed half-way. Each
// save runs in a forked child with its own connection; the parent then opens the files the
// way the next start of the program would.
#include "StudioTestEnv.h"

#include "support/ChildProcess.h"

#include <unistd.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

ResumeDocument document(const std::string& name, size_t experienceLines, int64_t id = 0) {
    ResumeDocument d{.id = id, .name = name};
    for (size_t i = 0; i < experienceLines; ++i) d.experience += "- Shipped pipeline number " + std::to_string(i) + "\n";
    return d;
}

// The library as the next start finds it: an intact file, a whole key, and every row opens.
void expectIntactLibrary(const std::filesystem::path& data, size_t documents = 0) {
    StudioEnv next(data);
    EXPECT_EQ(std::get<std::string>(*next.sqlite->scalar("PRAGMA integrity_check;")), "ok");
    EXPECT_EQ(next.store->read(ResumeStudioService::kLibraryKeyAccount).value_or(Bytes{}).size(), 32u) << "a partial key";
    auto rows = std::get<int64_t>(*next.sqlite->scalar("SELECT COUNT(*) FROM resume_library;"));
    EXPECT_GT(rows, 0);
    EXPECT_EQ(static_cast<int64_t>(next.studio->list().size()), rows);
    if (documents) { EXPECT_EQ(static_cast<size_t>(rows), documents); }
}

} // namespace

TEST(FaultLibrarySave, AFullDiskKeepsEveryStoredDocument) {
    TempDir dir;
    ResumeDocument first = document("First", 20);
    StudioEnv(dir / "Data").studio->save(first);
    // A bigger version of the same document, and a new one, on a disk with no room left.
    for (int64_t savedId : {first.id, int64_t{0}}) {
        EXPECT_EQ(inChild([&](int) {
                      StudioEnv child(dir / "Data");
                      diskFullAt(4096);
                      auto d = document("Longer", 3000, savedId);
                      child.studio->save(d);
                  }),
                  ChildEnd::Failed);
    }
    expectIntactLibrary(dir / "Data", 1);
    EXPECT_EQ(*StudioEnv(dir / "Data").studio->get(first.id), first);
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
        expectIntactLibrary(dir / "Data");
    }
}
