// Saving the profile when the disk fills up or the process is killed half-way. Each save runs
// in a forked child with its own connection; the parent then opens the files the way the
// next start of the program would.
#include "core/Clock.h"
#include "core/VelmoraError.h"
#include "profile/ApplicationProfileService.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <thread>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using velmora::testing::readFile;
using velmora::testing::ChildEnd;
using velmora::testing::diskFullAt;
using velmora::testing::inChild;
using velmora::testing::TempDir;
using velmora::testing::writeFile;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

struct Services {
    std::shared_ptr<AppPaths> paths;
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<ApplicationProfileService> profiles;
};

Services openServices(const fs::path& root) {
    Services s;
    s.paths = std::make_shared<AppPaths>(root);
    fs::create_directories(s.paths->applicationSupport());
    s.sqlite = std::make_shared<SQLiteDatabase>(s.paths->database().string());
    s.db = std::make_shared<DatabaseService>(s.sqlite);
    s.db->initialize();
    auto store = std::make_shared<SecureStoreService>(s.paths->secureStoreDirectory());
    s.profiles = std::make_shared<ApplicationProfileService>(s.db, store, s.paths);
    return s;
}

class FaultProfileSaveTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path root = dir / "Data";

    fs::path resume(const std::string& name, char fill, size_t size) {
        auto file = dir / name;
        writeFile(file, std::string(size, fill));
        return file;
    }

    static json form(const std::string& name, const std::optional<fs::path>& resumePath = std::nullopt) {
        json f{{"fullName", name}, {"email", "ana@example.com"}, {"phone", "+351 912 345 678"}};
        if (resumePath) f["resumePath"] = resumePath->string();
        return f;
    }

    // What the next start sees: a sound database, whole key files, and the profile and resume
    // of one complete save.
    void expectConsistent(const std::string& expectedName, const std::vector<std::string>& resumes) {
        auto s = openServices(root);
        EXPECT_EQ(std::get<std::string>(*s.sqlite->scalar("PRAGMA integrity_check;")), "ok");
        for (const char* account :
             {ApplicationProfileService::kProfileKeyAccount, ApplicationProfileService::kResumeKeyAccount}) {
            auto key = s.paths->secureStoreDirectory() / (std::string(account) + ".bin");
            if (fs::exists(key)) EXPECT_EQ(fs::file_size(key), 32u) << key;
        }
        ApplicationProfile profile;
        ASSERT_NO_THROW(profile = s.profiles->load(false));
        if (!expectedName.empty()) EXPECT_EQ(profile.fullName, expectedName);
        if (resumes.empty()) return;
        auto copy = s.profiles->createTemporaryResumeFile();
        ASSERT_TRUE(copy) << "the stored resume cannot be opened";
        auto content = readFile(*copy);
        EXPECT_NE(std::find(resumes.begin(), resumes.end(), content), resumes.end())
            << "a resume of " << content.size() << " bytes matches no save";
        s.profiles->deleteTemporaryFile(copy);
    }
};

} // namespace

TEST_F(FaultProfileSaveTest, AFullDiskKeepsThePreviousProfileAndResume) {
    auto first = resume("first.txt", 'a', 3000);
    {
        auto s = openServices(root);
        s.profiles->save(form("Ana Lima", first));
    }
    auto keyBefore = readFile(root / "SecureStore" / "profile.encryption.key.v1.bin");
    auto resumeBefore = readFile(AppPaths(root).encryptedResume());

    // A bigger resume than the disk can take, then a profile-only save that needs new pages.
    auto second = resume("second.txt", 'b', 200000);
    auto saveWithFullDisk = [&](const json& f, rlim_t room) {
        return inChild([&](int) {
            auto s = openServices(root);
            diskFullAt(room);
            s.profiles->save(f);
        });
    };
    EXPECT_EQ(saveWithFullDisk(form("Bruno Reis", second), 4096), ChildEnd::Failed);
    EXPECT_EQ(saveWithFullDisk(form(std::string(6000, 'B')), 4096), ChildEnd::Failed);

    expectConsistent("Ana Lima", {std::string(3000, 'a')});
    EXPECT_EQ(readFile(root / "SecureStore" / "profile.encryption.key.v1.bin"), keyBefore);
    EXPECT_EQ(readFile(AppPaths(root).encryptedResume()), resumeBefore);
    // No temporary file is left behind beside the resume or the keys.
    for (const auto& folder : {AppPaths(root).profileDirectory(), AppPaths(root).secureStoreDirectory()})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();

    // Once there is room again the same save goes through.
    auto s = openServices(root);
    EXPECT_EQ(s.profiles->save(form("Bruno Reis", second))["fullName"], "Bruno Reis");
}

TEST_F(FaultProfileSaveTest, AFullDiskOnTheFirstSaveLeavesNoPartialKey) {
    { openServices(root); } // the database exists; the keys do not yet
    EXPECT_EQ(inChild([&](int) {
                  auto s = openServices(root);
                  diskFullAt(16);
                  s.profiles->save(form("Ana Lima"));
              }),
              ChildEnd::Failed);
    auto key = root / "SecureStore" / "profile.encryption.key.v1.bin";
    EXPECT_FALSE(fs::exists(key)) << fs::file_size(key) << " bytes";
    expectConsistent("", {});
    auto s = openServices(root);
    EXPECT_EQ(s.profiles->save(form("Ana Lima"))["fullName"], "Ana Lima");
    EXPECT_EQ(fs::file_size(key), 32u);
}

TEST_F(FaultProfileSaveTest, KilledWhileSavingOverAndOverTheNextStartFindsOneWholeSave) {
    const std::vector<std::string> contents = {std::string(400000, 'x'), std::string(300000, 'y')};
    std::vector<fs::path> files = {dir / "x.txt", dir / "y.txt"};
    for (size_t i = 0; i < files.size(); ++i) writeFile(files[i], contents[i]);

    for (int delay : {0, 15, 60}) {
        auto end = inChild(
            [&](int readyFd) {
                auto s = openServices(root);
                for (int i = 0;; ++i) {
                    s.profiles->save(form("Run " + std::to_string(i % 2), files[i % 2]));
                    if (i == 0 && write(readyFd, "r", 1) != 1) return;
                }
            },
            std::chrono::milliseconds(delay));
        EXPECT_EQ(end, ChildEnd::Killed) << "after " << delay << " ms";
        expectConsistent("", contents);
        // The stored name, resume name and resume bytes all come from the same save.
        auto s = openServices(root);
        auto profile = s.profiles->load(false);
        ASSERT_TRUE(profile.fullName == "Run 0" || profile.fullName == "Run 1") << profile.fullName;
        const size_t run = profile.fullName == "Run 0" ? 0 : 1;
        EXPECT_EQ(profile.resumeName, files[run].filename().string());
        auto copy = s.profiles->createTemporaryResumeFile();
        ASSERT_TRUE(copy);
        EXPECT_TRUE(readFile(*copy) == contents[run]) << "the resume of the other save";
        s.profiles->deleteTemporaryFile(copy);
    }
}
