#pragma once

#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <stdexcept>

extern char** environ;

namespace velmora::testing {

// A real velmora-bridge child over a data folder: requests go to its stdin (a pipe, or the
// `input` file), every line it prints is kept, stderr goes to `errFile`. `args` follow
// --data-dir <folder>; `environment` (NAME=value) is added to ours.
class BridgeProcess {
public:
    BridgeProcess(const std::filesystem::path& data, const std::filesystem::path& errFile,
                  std::vector<std::string> args = {}, std::vector<std::string> environment = {},
                  const std::filesystem::path& input = {})
        : errFile_(errFile) {
        ::signal(SIGPIPE, SIG_IGN); // writing to a bridge that has left must not end the test
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input.empty()) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        else posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        args.insert(args.begin(), {VELMORA_BRIDGE_BIN, "--data-dir", data.string()});
        for (char** e = environ; *e; ++e) environment.emplace_back(*e);
        const int spawned = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, pointers(args).data(),
                                        pointers(environment).data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        in_ = in[1];
        out_ = out[0];
        if (spawned != 0) throw std::runtime_error("spawn");
    }
    ~BridgeProcess() {
        ::close(in_);
        ::close(out_);
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

    // A bridge that refused the folder is gone; its missing reply is what the tests look at.
    void send(const nlohmann::json& request) {
        const std::string line = request.dump() + "\n";
        [[maybe_unused]] ssize_t written = ::write(in_, line.data(), line.size());
    }
    void closeInput() { ::close(std::exchange(in_, -1)); }
    // The reply with this id; null when the bridge ends or 60 s pass.
    nlohmann::json reply(const std::string& id) {
        for (size_t i = 0;; ++i) {
            while (i >= lines_.size())
                if (!readMore()) return nullptr;
            if (lines_[i].value("id", nlohmann::json()) == id) return lines_[i];
        }
    }
    // Reads to the end; the exit status (-1: ended by a signal).
    int finish() {
        closeInput();
        while (readMore()) {}
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::vector<nlohmann::json>& lines() const { return lines_; }
    std::string errors() const { return readFile(errFile_); }

private:
    static std::vector<char*> pointers(std::vector<std::string>& words) {
        std::vector<char*> out;
        for (auto& w : words) out.push_back(w.data());
        out.push_back(nullptr);
        return out;
    }
    bool readMore() {
        pollfd p{out_, POLLIN, 0};
        char chunk[65536];
        const ssize_t n = ::poll(&p, 1, 60'000) > 0 ? ::read(out_, chunk, sizeof chunk) : 0;
        buffer_.append(chunk, size_t(std::max<ssize_t>(n, 0)));
        for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos; buffer_.erase(0, nl + 1)) {
            auto line = nlohmann::json::parse(buffer_.substr(0, nl), nullptr, false);
            EXPECT_TRUE(line.is_object()) << buffer_.substr(0, nl);
            if (line.is_object()) lines_.push_back(std::move(line));
        }
        return n > 0;
    }

    std::filesystem::path errFile_;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
    std::vector<nlohmann::json> lines_;
};

// A bridge run on the given request lines to the end, its lines by id as well.
struct BridgeRun {
    int status;
    std::vector<nlohmann::json> lines;
    std::map<std::string, nlohmann::json> byId;
    std::string errors;
};

inline BridgeRun runBridge(const std::filesystem::path& data, const std::string& input,
                           const std::vector<std::string>& args = {}, const std::vector<std::string>& environment = {}) {
    TempDir io;
    writeFile(io / "in.txt", input);
    BridgeProcess bridge(data, io / "err.txt", args, environment, io / "in.txt");
    BridgeRun run{bridge.finish(), bridge.lines(), {}, bridge.errors()};
    for (const auto& line : run.lines)
        if (line.contains("id")) run.byId[line["id"].get<std::string>()] = line;
    return run;
}

} // namespace velmora::testing
