// Round trips of getSettings: through the in-process bridge, and through velmora-bridge over pipes.

#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

static void BM_InProcessGetSettings(benchmark::State& state) {
    velmora::testing::TempDir dir;
    auto ctx = AppContext::create(AppPaths(dir.path()));
    QueueUiLoop loop;
    BackgroundRunner background(1);
    size_t replies = 0;
    Bridge bridge(loop, background, [&](const std::string&) { ++replies; });
    registerActions(bridge, *ctx);
    const json request = {{"action", "getSettings"}, {"id", "1"}};
    for (auto _ : state) {
        bridge.receive(request);
        loop.drain();
    }
    if (replies != static_cast<size_t>(state.iterations())) state.SkipWithError("a reply went missing");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InProcessGetSettings);

namespace {

// velmora-bridge as a child process with its stdin and stdout on pipes.
class BridgeProcess {
public:
    explicit BridgeProcess(const std::string& dataDir) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl(VELMORA_BRIDGE_BIN, VELMORA_BRIDGE_BIN, "--data-dir", dataDir.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild_ = fdopen(in[1], "w");
        fromChild_ = fdopen(out[0], "r");
    }
    ~BridgeProcess() {
        fclose(toChild_);
        fclose(fromChild_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    std::string roundTrip(const std::string& line) {
        std::fputs(line.c_str(), toChild_);
        std::fputc('\n', toChild_);
        std::fflush(toChild_);
        char* buf = nullptr;
        size_t cap = 0;
        ssize_t n = getline(&buf, &cap, fromChild_);
        std::string reply = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
        free(buf);
        return reply;
    }

private:
    pid_t pid_ = -1;
    FILE* toChild_ = nullptr;
    FILE* fromChild_ = nullptr;
};

} // namespace

static void BM_HeadlessHostGetSettings(benchmark::State& state) {
    velmora::testing::TempDir dir;
    BridgeProcess host(dir.path().string());
    for (auto _ : state) {
        auto reply = host.roundTrip(R"({"action":"getSettings","id":"1"})");
        if (reply.find("\"ok\":true") == std::string::npos) {
            state.SkipWithError("bad reply");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HeadlessHostGetSettings);
