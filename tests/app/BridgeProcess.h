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

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace velmora::testing {

// A real velmora-bridge child over a data folder: requests go to its stdin (a pipe, or a file
// given up front), replies come from its stdout, stderr goes to a file.
class BridgeProcess {
public:
    // `args` follow --data-dir <folder>; `environment` (NAME=value) is added to ours; with an
    // `input` file, stdin comes from it instead of a pipe.
    BridgeProcess(const std::filesystem::path& data, const std::filesystem::path& errFile,
                  const std::vector<std::string>& args = {}, const std::vector<std::string>& environment = {},
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
        std::vector<std::string> words = {VELMORA_BRIDGE_BIN, "--data-dir", data.string()};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<std::string> env = environment;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        const int spawned = posix_spawn(&pid_, words[0].c_str(), &actions, nullptr, pointers(words).data(),
                                        pointers(env).data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        in_ = in[1];
        out_ = out[0];
        if (spawned != 0) throw std::runtime_error("spawn");
        if (!input.empty()) closeInput();
    }
    ~BridgeProcess() {
        closeInput();
        ::close(out_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // A bridge that refused the folder is gone; its missing reply is what the tests look at.
    void send(const nlohmann::json& request) {
        const std::string line = request.dump() + "\n";
        [[maybe_unused]] ssize_t written = ::write(in_, line.data(), line.size());
    }
    void closeInput() {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    // The reply with this id; null when the bridge ends or 60 s pass. Every line read on the
    // way stays in lines(), events included.
    nlohmann::json reply(const std::string& id) {
        for (size_t i = 0;; ++i) {
            while (i >= lines_.size())
                if (!readMore()) return nullptr;
            if (lines_[i].value("id", nlohmann::json()) == id) return lines_[i];
        }
    }
    // Every line until the bridge closes its output, and the exit status (-1: a signal).
    const std::vector<nlohmann::json>& lines() const { return lines_; }
    int finish() {
        closeInput();
        while (readMore()) {}
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::map<std::string, nlohmann::json> byId() const {
        std::map<std::string, nlohmann::json> out;
        for (const auto& l : lines_)
            if (l.contains("id")) out[l["id"].get<std::string>()] = l;
        return out;
    }
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
        if (::poll(&p, 1, 60'000) <= 0) return false;
        char chunk[65536];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer_.append(chunk, size_t(n));
        for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos; buffer_.erase(0, nl + 1)) {
            auto line = nlohmann::json::parse(buffer_.substr(0, nl), nullptr, false);
            EXPECT_TRUE(line.is_object()) << buffer_.substr(0, nl);
            if (line.is_object()) lines_.push_back(std::move(line));
        }
        return true;
    }

    std::filesystem::path errFile_;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
    std::vector<nlohmann::json> lines_;
};

// Runs a bridge over `data` on the given request lines to the end.
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
    const int status = bridge.finish();
    return {status, bridge.lines(), bridge.byId(), bridge.errors()};
}

} // namespace velmora::testing
