#pragma once

#include "resume/ResumeService.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace velmora::testing {

// A real database file in a temporary folder and a ResumeService over it. The model address
// defaults to a loopback port where nothing listens, so the AI is "not running" unless a test
// points it at a fixture server.
struct ResumeFixture {
    TempDir dir;
    std::shared_ptr<SQLiteDatabase> sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
    std::shared_ptr<DatabaseService> db = std::make_shared<DatabaseService>(sqlite);
    std::shared_ptr<ResumeService> service;

    explicit ResumeFixture(std::chrono::milliseconds aiTimeout = std::chrono::seconds(20)) {
        db->initialize();
        db->setSetting("ollamaUrl", "http://127.0.0.1:9");
        service = std::make_shared<ResumeService>(db, aiTimeout);
    }

    void useModelAt(const std::string& base) { db->setSetting("ollamaUrl", base); }
};

inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

inline std::string fixturePath(const std::string& name) {
    return std::string(VELMORA_FIXTURES_DIR) + "/resumes/" + name;
}

// What a shell command prints; its wait status in `status`.
inline std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) output.append(buf, n);
    int rc = pipe ? ::pclose(pipe) : -1;
    if (status) *status = rc;
    return output;
}

} // namespace velmora::testing
