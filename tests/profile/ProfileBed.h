#pragma once

#include "profile/ApplicationProfileService.h"
#include "support/TempDir.h"

namespace velmora::testing {

// The profile service over the files of one data folder, opened the way a start of the
// program opens them.
struct ProfileBed {
    std::shared_ptr<AppPaths> paths;
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<SecureStoreService> store;
    std::shared_ptr<ApplicationProfileService> service;

    explicit ProfileBed(const std::filesystem::path& root) : paths(std::make_shared<AppPaths>(root)) {
        std::filesystem::create_directories(paths->applicationSupport());
        sqlite = std::make_shared<SQLiteDatabase>(paths->database().string());
        db = std::make_shared<DatabaseService>(sqlite);
        db->initialize();
        store = std::make_shared<SecureStoreService>(paths->secureStoreDirectory());
        service = restart();
    }

    // A new service over the same files: what the next run sees, with an empty key cache.
    std::shared_ptr<ApplicationProfileService> restart() const {
        return std::make_shared<ApplicationProfileService>(db, store, paths);
    }

    std::filesystem::path keyFile(const char* account = ApplicationProfileService::kProfileKeyAccount) const {
        return store->fileURL(account);
    }

    // The stored resume as a form would receive it, or "(none)".
    static std::string resumeOf(ApplicationProfileService& service) {
        auto copy = service.createTemporaryResumeFile();
        if (!copy) return "(none)";
        std::string content = readFile(*copy);
        service.deleteTemporaryFile(copy);
        return content;
    }
};

} // namespace velmora::testing
