// One Velmora per data folder, a folder only its owner can read, and a damaged database set
// aside whole: real velmora-bridge processes on real folders.

#include "support/BridgeProcess.h"
#include "app/AppContext.h"
#include "app/DamagedDatabase.h"
#include "core/DateUtil.h"
#include "studio/ResumeDocument.h"

#include <set>

using namespace velmora;
using namespace velmora::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

json saveRequest(const std::string& id, const std::string& name) {
    ResumeDocument document;
    document.name = name;
    return {{"action", "saveResumeStudio"}, {"id", id}, {"payload", json::parse(document.toJsonText())}};
}

// The library's names and the profile a fresh bridge finds in the folder, all of it readable.
std::pair<std::set<std::string>, json> readBack(const fs::path& data, const fs::path& err) {
    BridgeProcess reader(data, err);
    reader.send({{"action", "listResumeStudio"}, {"id", "list"}});
    reader.send({{"action", "getResumeStudioStatus"}, {"id", "status"}});
    reader.send({{"action", "getApplicationProfile"}, {"id", "profile"}});
    std::set<std::string> names;
    const json listed = reader.reply("list");
    for (const auto& item : listed["data"]) names.insert(item["name"].get<std::string>());
    EXPECT_EQ(reader.reply("status")["data"]["unreadableCount"], 0);
    const json profile = reader.reply("profile")["data"];
    EXPECT_FALSE(profile.contains("storageWarning")) << profile.dump();
    EXPECT_EQ(reader.finish(), 0) << reader.errors();
    return {names, profile};
}

} // namespace

TEST(DataFolderTest, ASecondBridgeRefusesTheFolderAndNothingConfirmedIsLost) {
    TempDir dir;
    const fs::path data = dir / "data";
    BridgeProcess first(data, dir / "first.err");
    first.send(saveRequest("save", "Kept"));
    ASSERT_EQ(first.reply("save")["ok"], true) << readFile(dir / "first.err");

    BridgeProcess second(data, dir / "second.err");
    EXPECT_NE(second.finish(), 0);
    EXPECT_NE(second.errors().find("Velmora is already running with this data folder: " + data.string()), std::string::npos);

    // The first one carries on undisturbed, and what it confirmed is there after it ends.
    first.send(saveRequest("again", "Also kept"));
    EXPECT_EQ(first.reply("again")["ok"], true);
    EXPECT_EQ(first.finish(), 0);
    EXPECT_EQ(readBack(data, dir / "reader.err").first, (std::set<std::string>{"Kept", "Also kept"}));
}

// One race per run: across CI runs it covers either bridge winning the lock.
TEST(DataFolderTest, BridgesStartedTogetherNeverLoseAConfirmedDocumentOrProfile) {
    TempDir dir;
    std::vector<std::unique_ptr<BridgeProcess>> racers;
    for (int i = 0; i < 2; ++i) racers.push_back(std::make_unique<BridgeProcess>(dir / "data", dir / ("racer" + std::to_string(i))));
    for (int i = 0; i < 2; ++i) {
        const std::string name = "R" + std::to_string(i);
        racers[i]->send(saveRequest("save", name));
        racers[i]->send({{"action", "saveApplicationProfile"}, {"id", "profile"}, {"payload", {{"fullName", name}}}});
        racers[i]->closeInput();
    }
    std::set<std::string> confirmed;
    for (int i = 0; i < 2; ++i) {
        const json saved = racers[i]->reply("save"), profile = racers[i]->reply("profile");
        if (racers[i]->finish() != 0) {
            EXPECT_NE(racers[i]->errors().find("Velmora is already running with this data folder"), std::string::npos);
            continue;
        }
        ASSERT_TRUE(saved["ok"] == true && profile["ok"] == true) << racers[i]->errors();
        confirmed.insert("R" + std::to_string(i));
    }
    ASSERT_FALSE(confirmed.empty());
    const auto [names, profile] = readBack(dir / "data", dir / "reader.err");
    EXPECT_EQ(names, confirmed);
    // Whichever bridge saved last, the profile reads back as one of the confirmed saves.
    EXPECT_TRUE(confirmed.count(profile["fullName"].get<std::string>())) << profile.dump();
}

TEST(DataFolderTest, StartNarrowsModesAndSweepsLeftovers) {
    TempDir dir;
    const fs::path data = dir / "data";
    { AppContext::create(AppPaths(data))->profiles->save({{"fullName", "Ana"}}); }

    // As an older Velmora, a crash and a default umask leave the folder.
    for (const char* folder : {"", "Profile", "Temp", "SecureStore", "Browser"}) fs::permissions(data / folder, fs::perms(0755));
    fs::permissions(data / "velmora.db", fs::perms(0644));
    const char* leftovers[] = {"Temp/resume-a1b2c3/Ana CV.pdf", "Temp/velmora-resume-1B4E28BA.pdf",
                               "Profile/..resume.bin.staged.tmp-Ab12Cd", "SecureStore/.profile.encryption.key.v1.bin.tmp-Zz9Yy8"};
    fs::create_directories(data / "Temp" / "resume-a1b2c3");
    for (const char* file : leftovers) writeFile(data / file, "half a resume or key");
    writeFile(data / "Profile" / "notes.tmp-kept", "not ours to remove");

    auto ctx = AppContext::create(AppPaths(data));
    ctx->db->setSetting("keywords", "rust"); // the journals exist while the connection is open
    for (const char* folder : {"", "Profile", "Temp", "SecureStore", "Browser"})
        EXPECT_EQ(fileMode(data / folder), 0700u) << folder;
    for (const char* file : {"velmora.db", "velmora.db-wal", "velmora.db-shm", "SecureStore/profile.encryption.key.v1.bin"})
        EXPECT_EQ(fileMode(data / file), 0600u) << file;
    EXPECT_TRUE(fs::is_empty(data / "Temp"));
    for (const char* file : leftovers) EXPECT_FALSE(fs::exists(data / file)) << file;
    EXPECT_TRUE(fs::exists(data / "Profile" / "notes.tmp-kept"));
    EXPECT_EQ(ctx->profiles->get().fullName, "Ana");
}

TEST(DamagedDatabase, StartUpNamesItAndMovingItAsideKeepsEveryByteAndStartsFresh) {
    TempDir dir;
    const AppPaths paths(dir.path());
    const std::string db = paths.database().string(), garbage(8192, 'x');
    writeFile(db, garbage);
    EXPECT_THROW(AppContext::create(paths), DatabaseDamagedError); // the file itself is the smoke run's to compare
    writeFile(db + "-wal", "log"); // a log left by the run that damaged it travels with it

    const TimePoint now = *DateUtil::parse("2026-12-07T05:10:00Z");
    const fs::path moved = damaged_database::moveAside(db, now);
    EXPECT_EQ(moved.filename(), "velmora.db.damaged-20261207-051000");
    EXPECT_EQ(readFile(moved), garbage);
    EXPECT_EQ(readFile(moved.string() + "-wal"), "log");
    EXPECT_FALSE(fs::exists(db + "-wal"));
    AppContext::create(paths)->db->setSetting("jobTitle", "fresh"); // a new, empty database

    // Damaged again within the same second: the first copy is kept, the second gets its own name.
    for (const char* journal : {"-wal", "-shm"}) fs::remove(db + journal);
    writeFile(db, "second");
    const fs::path again = damaged_database::moveAside(db, now);
    EXPECT_EQ(again.filename(), "velmora.db.damaged-20261207-051000-2");
    EXPECT_EQ(readFile(again), "second");
    EXPECT_EQ(readFile(moved), garbage);
}
