#pragma once

// A complete, real Resume Studio over a fresh data folder: SQLite file, key store, Application
// Profile service and resume service. Only the model server is a stand-in, on loopback
// (ModelFixtureServer), or absent (unreachableModelUrl).

#include "support/ModelFixtureServer.h"
#include "support/TempDir.h"
#include "core/AppPaths.h"
#include "core/Clock.h"
#include "profile/ApplicationProfileService.h"
#include "resume/ResumeService.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h"
#include "storage/SecureStoreService.h"
#include "studio/ResumeStudioService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::testing {

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
