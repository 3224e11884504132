// One Velmora per data folder, and a folder only its owner can read: real velmora-bridge
// processes on real folders.

#include "app/AppContext.h"
#include "studio/ResumeDocument.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

using namespace velmora;
using velmora::testing::readFile;
using velmora::testing::TempDir;
using velmora::testing::writeFile;
using nlohmann::json;
namespace fs = std::filesystem;

extern char** environ;

namespace {

// A velmora-bridge child with its stdin and stdout on pipes; stderr goes to a file.
class Bridge {
public:
    Bridge(const fs::path& data, const fs::path& errFile) {
        ::signal(SIGPIPE, SIG_IGN); // writing to a bridge that has left must not end the test
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::string bin = VELMORA_BRIDGE_BIN, flag = "--data-dir", dir = data.string();
        char* argv[] = {bin.data(), flag.data(), dir.data(), nullptr};
        if (posix_spawn(&pid_, bin.c_str(), &actions, nullptr, argv, environ) != 0) throw std::runtime_error("spawn");
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        in_ = in[1];
        out_ = out[0];
    }
    ~Bridge() {
        closeInput();
        if (out_ >= 0) ::close(out_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // A bridge that refused the folder is gone; its missing reply is what the tests look at.
    void send(const json& request) {
        std::string line = request.dump() + "\n";
        [[maybe_unused]] ssize_t written = ::write(in_, line.data(), line.size());
    }
    void closeInput() {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    // The reply with this id (events are skipped); null when the bridge ends or 60 s pass.
    json reply(const std::string& id) {
        for (;;) {
            for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
                json envelope = json::parse(buffer_.substr(0, nl), nullptr, false);
                buffer_.erase(0, nl + 1);
                if (envelope.is_object() && envelope.value("id", json()) == id) return envelope;
            }
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 60'000) <= 0) return nullptr;
            char chunk[4096];
            ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return nullptr;
            buffer_.append(chunk, size_t(n));
        }
    }
    // The exit status once the bridge has ended (-1 when killed by a signal).
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
};

json saveRequest(const std::string& id, const std::string& name) {
    ResumeDocument document;
    document.name = name;
    document.targetRole = "Data Engineer";
    return {{"action", "saveResumeStudio"}, {"id", id}, {"payload", json::parse(document.toJsonText())}};
}

std::set<std::string> libraryNames(const fs::path& data, const fs::path& err, json* status = nullptr) {
    Bridge reader(data, err);
    reader.send({{"action", "listResumeStudio"}, {"id", "list"}});
    reader.send({{"action", "getResumeStudioStatus"}, {"id", "status"}});
    std::set<std::string> names;
    const json listed = reader.reply("list");
    for (const auto& item : listed["data"]) names.insert(item["name"].get<std::string>());
    if (status) *status = reader.reply("status")["data"];
    reader.closeInput();
    EXPECT_EQ(reader.wait(), 0) << readFile(err);
    return names;
}

} // namespace

TEST(DataFolderTest, ASecondBridgeRefusesTheFolderAndNothingConfirmedIsLost) {
    TempDir dir;
    const fs::path data = dir / "data";
    Bridge first(data, dir / "first.err");
    first.send(saveRequest("save", "Kept"));
    ASSERT_EQ(first.reply("save")["ok"], true) << readFile(dir / "first.err");

    Bridge second(data, dir / "second.err");
    EXPECT_NE(second.wait(), 0);
    EXPECT_NE(readFile(dir / "second.err").find("Velmora is already running with this data folder: " + data.string()),
              std::string::npos)
        << readFile(dir / "second.err");

    // The first one carries on undisturbed, and what it confirmed is there after it ends.
    first.send(saveRequest("again", "Also kept"));
    EXPECT_EQ(first.reply("again")["ok"], true);
    first.closeInput();
    EXPECT_EQ(first.wait(), 0);
    json status;
    EXPECT_EQ(libraryNames(data, dir / "reader.err", &status), (std::set<std::string>{"Kept", "Also kept"}));
    EXPECT_EQ(status["unreadableCount"], 0);
}

TEST(DataFolderTest, BridgesStartedTogetherNeverLoseAConfirmedDocumentOrProfile) {
    TempDir dir;
    for (int round = 0; round < 3; ++round) {
        const fs::path data = dir / ("data" + std::to_string(round));
        std::vector<std::unique_ptr<Bridge>> racers;
        for (int i = 0; i < 2; ++i) racers.push_back(std::make_unique<Bridge>(data, dir / ("racer" + std::to_string(i))));
        for (int i = 0; i < 2; ++i) {
            const std::string name = "R" + std::to_string(i);
            racers[i]->send(saveRequest("save", name));
            racers[i]->send({{"action", "saveApplicationProfile"}, {"id", "profile"}, {"payload", {{"fullName", name}}}});
            racers[i]->closeInput();
        }
        std::set<std::string> confirmed;
        for (int i = 0; i < 2; ++i) {
            json saved = racers[i]->reply("save");
            json profile = racers[i]->reply("profile");
            int status = racers[i]->wait();
            const std::string err = readFile(dir / ("racer" + std::to_string(i)));
            if (status == 0) {
                ASSERT_EQ(saved["ok"], true) << err;
                ASSERT_EQ(profile["ok"], true) << err;
                confirmed.insert("R" + std::to_string(i));
            } else {
                EXPECT_NE(err.find("Velmora is already running with this data folder"), std::string::npos) << err;
            }
        }
        ASSERT_FALSE(confirmed.empty());
        json status;
        EXPECT_EQ(libraryNames(data, dir / "reader.err", &status), confirmed);
        EXPECT_EQ(status["unreadableCount"], 0);
        Bridge reader(data, dir / "profile.err");
        reader.send({{"action", "getApplicationProfile"}, {"id", "p"}});
        json profile = reader.reply("p")["data"];
        EXPECT_FALSE(profile.contains("storageWarning")) << profile.dump();
        // Whichever bridge saved last, the profile reads back as one of the confirmed saves.
        EXPECT_TRUE(confirmed.count(profile["fullName"].get<std::string>())) << profile.dump();
    }
}

TEST(DataFolderTest, StartNarrowsModesAndSweepsLeftovers) {
    TempDir dir;
    const fs::path data = dir / "data";
    { AppContext::create(AppPaths(data))->profiles->save({{"fullName", "Ana"}}); }

    // As an older Velmora, a crash and a default umask leave the folder.
    for (const char* folder : {"", "Profile", "Temp", "SecureStore", "Browser"}) fs::permissions(data / folder, fs::perms(0755));
    fs::permissions(data / "velmora.db", fs::perms(0644));
    fs::create_directories(data / "Temp" / "resume-a1b2c3");
    writeFile(data / "Temp" / "resume-a1b2c3" / "Ana CV.pdf", "plain resume");
    writeFile(data / "Temp" / "velmora-resume-1B4E28BA.pdf", "plain resume");
    writeFile(data / "Profile" / "..resume.bin.staged.tmp-Ab12Cd", "half a resume");
    writeFile(data / "SecureStore" / ".profile.encryption.key.v1.bin.tmp-Zz9Yy8", "half a key");
    writeFile(data / "Profile" / "notes.tmp-kept", "not ours to remove");

    auto ctx = AppContext::create(AppPaths(data));
    ctx->db->setSetting("keywords", "rust"); // the journals exist while the connection is open
    for (const char* folder : {"", "Profile", "Temp", "SecureStore", "Browser"})
        EXPECT_EQ(velmora::testing::fileMode(data / folder), 0700u) << folder;
    for (const char* file : {"velmora.db", "velmora.db-wal", "velmora.db-shm", "SecureStore/profile.encryption.key.v1.bin"})
        EXPECT_EQ(velmora::testing::fileMode(data / file), 0600u) << file;
    EXPECT_TRUE(fs::is_empty(data / "Temp"));
    EXPECT_FALSE(fs::exists(data / "Profile" / "..resume.bin.staged.tmp-Ab12Cd"));
    EXPECT_FALSE(fs::exists(data / "SecureStore" / ".profile.encryption.key.v1.bin.tmp-Zz9Yy8"));
    EXPECT_TRUE(fs::exists(data / "Profile" / "notes.tmp-kept"));
    EXPECT_EQ(ctx->profiles->get().fullName, "Ana");
}
