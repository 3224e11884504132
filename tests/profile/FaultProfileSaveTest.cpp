// Saving the profile when the disk fills up or the process is killed half-way. Each save runs
// in a forked child with its own connection; the parent then opens the files the way the
// next start of the program would.
#include "ProfileBed.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <map>
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

    // A form with the name, and with a resume of `content` when there is one.
    json form(const std::string& name, const std::string& content = "") {
        if (content.empty()) return {{"fullName", name}};
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

    // What the next start sees: a sound database, a readable profile, and the name and resume
    // of one complete save (the resume is "(none)" when there is none).
    void expectOneWholeSave(const std::map<std::string, std::string>& saves) {
        ProfileBed next(root);
        EXPECT_EQ(std::get<std::string>(*next.sqlite->scalar("PRAGMA integrity_check;")), "ok");
        ApplicationProfile profile;
        ASSERT_NO_THROW(profile = next.service->load(false));
        auto save = saves.find(profile.fullName);
        ASSERT_NE(save, saves.end()) << "no save was named " << profile.fullName;
        EXPECT_TRUE(ProfileBed::resumeOf(*next.service) == save->second) << "the resume of another save";
    }
};

} // namespace

TEST_F(FaultProfileSaveTest, AFullDiskLeavesNoPartialKeyAndKeepsThePreviousProfileAndResume) {
    ProfileBed{root}; // the database exists; the keys do not yet
    const fs::path key = root / "SecureStore" / "profile.encryption.key.v1.bin";
    EXPECT_EQ(saveWithFullDisk(form("Ana Lima"), 16), ChildEnd::Failed);
    EXPECT_FALSE(fs::exists(key));
    expectOneWholeSave({{"", "(none)"}});

    const std::string first(3000, 'a');
    ProfileBed(root).service->save(form("Ana Lima", first));
    const std::string keyBefore = readFile(key), resumeBefore = readFile(AppPaths(root).encryptedResume());
    // A bigger resume than the disk can take, then a profile-only save that needs new pages.
    const json second = form("Bruno Reis", std::string(200000, 'b'));
    EXPECT_EQ(saveWithFullDisk(second, 4096), ChildEnd::Failed);
    EXPECT_EQ(saveWithFullDisk(form(std::string(6000, 'B')), 4096), ChildEnd::Failed);
    expectOneWholeSave({{"Ana Lima", first}});
    EXPECT_EQ(readFile(key), keyBefore);
    EXPECT_EQ(readFile(AppPaths(root).encryptedResume()), resumeBefore);
    for (const auto& folder : {AppPaths(root).profileDirectory(), AppPaths(root).secureStoreDirectory()})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
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
