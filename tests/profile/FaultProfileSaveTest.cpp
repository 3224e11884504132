// Saving the profile when the disk fills up or the process is killed half-way. Each save runs
// in a forked child with its own connection; the parent then opens the files the way the
// next start of the program would.
#include "ProfileBed.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
using namespace velmora::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class FaultProfileSaveTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path root = dir / "Data";

    // A form with the name and a resume of `content`.
    json form(const std::string& name, const std::string& content) {
        writeFile(dir / (name + ".txt"), content);
        return {{"fullName", name}, {"resumePath", (dir / (name + ".txt")).string()}};
    }
    ChildEnd saveWithFullDisk(const json& f, rlim_t room) {
        return inChild([&](int) {
            ProfileBed bed(root);
            diskFullAt(room);
            bed.service->save(f);
        });
    }

    // What the next start sees: a readable profile with the name and resume of one complete save.
    void expectOneWholeSave(const std::map<std::string, std::string>& saves) {
        ProfileBed next(root);
        const std::string name = next.service->load(false).fullName, resume = ProfileBed::resumeOf(*next.service);
        EXPECT_TRUE(saves.count(name) && saves.at(name) == resume) << name << ": no such save, or another's resume";
    }
};

} // namespace

TEST_F(FaultProfileSaveTest, AFullDiskLeavesNoPartialKeyAndKeepsThePreviousProfileAndResume) {
    EXPECT_EQ(saveWithFullDisk({{"fullName", "Ana Lima"}}, 16), ChildEnd::Failed); // the key is the first write
    EXPECT_FALSE(fs::exists(ProfileBed(root).keyFile()));

    const std::string first(3000, 'a');
    ProfileBed(root).service->save(form("Ana Lima", first));
    // A bigger resume than the disk can take, then a profile-only save that needs new pages.
    const json second = form("Bruno Reis", std::string(200000, 'b'));
    EXPECT_EQ(saveWithFullDisk(second, 4096), ChildEnd::Failed);
    EXPECT_EQ(saveWithFullDisk({{"fullName", std::string(6000, 'B')}}, 4096), ChildEnd::Failed);
    expectOneWholeSave({{"Ana Lima", first}});
    // Once there is room again the same save goes through.
    EXPECT_EQ(ProfileBed(root).service->save(second)["fullName"], "Bruno Reis");
}

TEST_F(FaultProfileSaveTest, KilledWhileSavingOverAndOverTheNextStartFindsOneWholeSave) {
    const std::map<std::string, std::string> saves = {{"Run 0", std::string(400000, 'x')},
                                                      {"Run 1", std::string(300000, 'y')}};
    const json forms[] = {form("Run 0", saves.at("Run 0")), form("Run 1", saves.at("Run 1"))};
    for (int delay : {0, 15, 60}) {
        auto end = inChild(
            [&](int readyFd) {
                ProfileBed bed(root);
                for (int i = 0;; ++i) {
                    bed.service->save(forms[i % 2]);
                    if (i == 0 && write(readyFd, "r", 1) != 1) return;
                }
            },
            std::chrono::milliseconds(delay));
        EXPECT_EQ(end, ChildEnd::Killed) << "after " << delay << " ms";
        expectOneWholeSave(saves);
    }
}
