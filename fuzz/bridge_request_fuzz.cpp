// Arbitrary bytes as one request line of the headless host, dispatched through the real
// action table over a throw-away database: no input may crash, hang or go unanswered twice.

#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace velmora;

namespace {

struct Harness {
    std::filesystem::path dir;
    std::shared_ptr<AppContext> ctx;
    QueueUiLoop loop;
    BackgroundRunner background{2};
    size_t replies = 0;
    std::unique_ptr<Bridge> bridge;

    Harness() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
        ctx = AppContext::create(AppPaths(dir));
        bridge = std::make_unique<Bridge>(loop, background, [this](const std::string&) { ++replies; });
        registerActions(*bridge, *ctx);
    }
    ~Harness() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// Actions that open dialogs, windows or the network are not what this target is about.
bool skipped(const std::string& line) {
    for (const char* a : {"startupSyncJobs", "chooseResumeFile", "exportResume", "saveTextFile", "openJob",
                          "openWebsite", "reopenApplication", "analyzeResume", "generate", "rewrite", "improve",
                          "buildResumeStudio"})
        if (line.find(a) != std::string::npos) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness h;
    std::string line(reinterpret_cast<const char*>(data), size);
    if (skipped(line)) return 0;
    h.bridge->receiveLine(line);
    h.loop.runUntil([&] { return h.bridge->inFlight() == 0; }, std::chrono::seconds(30));
    if (h.bridge->inFlight() != 0) std::abort(); // a request that never finishes is a hang
    return 0;
}
