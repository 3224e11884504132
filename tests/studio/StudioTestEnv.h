#pragma once

// A complete, real Resume Studio over a fresh data folder: SQLite file, key store, Application
// Profile service and resume service. Only the model server is a stand-in, on loopback.

#include "support/TempDir.h"
#include "core/AppPaths.h"
#include "core/Clock.h"
#include "profile/ApplicationProfileService.h"
#include "resume/ResumeService.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h"
#include "storage/SecureStoreService.h"
#include "studio/ResumeStudioService.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmora::testing {

// Answers POST /api/generate from a script, one entry per request, in order. An entry without
// text answers HTTP 500 (the client treats it as the model failing); an exhausted script too.
class ScriptedModelServer {
public:
    struct Answer {
        std::optional<std::string> text;
    };
    static Answer says(std::string text) { return Answer{std::move(text)}; }
    static Answer fails() { return Answer{std::nullopt}; }

    ScriptedModelServer() {
        server_.Post("/api/generate", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            auto body = nlohmann::json::parse(req.body, nullptr, false);
            prompts_.push_back(body.is_object() ? body.value("prompt", "") : "");
            if (script_.empty() || !script_.front().text) {
                if (!script_.empty()) script_.pop_front();
                res.status = 500;
                res.set_content("{\"error\":\"model failed\"}", "application/json");
                return;
            }
            res.set_content(nlohmann::json{{"response", *script_.front().text}, {"done", true}}.dump(),
                            "application/json");
            script_.pop_front();
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ScriptedModelServer() {
        server_.stop();
        thread_.join();
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void script(std::vector<Answer> answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.assign(answers.begin(), answers.end());
    }
    std::vector<std::string> prompts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return prompts_;
    }
    size_t remaining() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return script_.size();
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::deque<Answer> script_;
    std::vector<std::string> prompts_;
};

// A loopback port with nothing listening: every AI call fails at once (connection refused).
// The port is taken from a socket that is bound but never listens, then closed, so a connection
// attempt is refused at once instead of waiting for an answer.
inline std::string unreachableModelUrl() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    int port = 9; // discard: nothing listens there either
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return "http://127.0.0.1:" + std::to_string(port);
}

struct StudioEnv {
    TempDir dir;
    std::shared_ptr<AppPaths> paths = std::make_shared<AppPaths>(dir.path() / "data");
    std::shared_ptr<FixedClock> clock =
        std::make_shared<FixedClock>(std::chrono::system_clock::time_point(std::chrono::milliseconds(1772357400000)));
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>(paths->database().string());
    std::shared_ptr<DatabaseService> db = makeDb();
    std::shared_ptr<SecureStoreService> store = std::make_shared<SecureStoreService>(paths->secureStoreDirectory());
    std::shared_ptr<ApplicationProfileService> profiles =
        std::make_shared<ApplicationProfileService>(db, store, paths, clock);
    std::shared_ptr<ResumeService> resumes = std::make_shared<ResumeService>(db);
    std::shared_ptr<ResumeStudioService> studio = makeStudio();

    void useModel(const std::string& url) { db->setSetting("ollamaUrl", url); }
    void modelAbsent() { useModel(unreachableModelUrl()); }

    std::vector<std::filesystem::path> temporaryFiles() const {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::exists(paths->tempDirectory()))
            for (const auto& entry : std::filesystem::directory_iterator(paths->tempDirectory()))
                files.push_back(entry.path());
        return files;
    }

private:
    std::shared_ptr<DatabaseService> makeDb() {
        auto service = std::make_shared<DatabaseService>(sqlite, clock);
        service->initialize();
        return service;
    }
    std::shared_ptr<ResumeStudioService> makeStudio() {
        auto service = std::make_shared<ResumeStudioService>(sqlite, resumes, profiles, store, clock);
        service->initialize();
        return service;
    }
};

} // namespace velmora::testing
