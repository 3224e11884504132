#include "support/ChildProcess.h"

#include "core/VelmoraError.h"

#include <algorithm>
#include <csignal>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velmora::testing {

ChildEnd inChild(const std::function<void(int readyFd)>& work, std::optional<std::chrono::milliseconds> killAfter) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        int code = 0;
        try {
            work(ready[1]);
        } catch (const VelmoraError&) {
            code = 1;
        } catch (...) {
            code = 2;
        }
        _exit(code);
    }
    close(ready[1]);
    // A child that never gets going (stuck in a lock another thread held at fork) or never ends
    // must fail the test rather than hold up the whole run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char byte;
    pollfd p{ready[0], POLLIN, 0};
    if (killAfter && poll(&p, 1, 60'000) > 0 && read(ready[0], &byte, 1) == 1) {
        std::this_thread::sleep_for(*killAfter);
        kill(pid, SIGKILL);
    }
    close(ready[0]);
    int status = 0;
    bool hung = false;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (!hung && std::chrono::steady_clock::now() > deadline) hung = kill(pid, SIGKILL) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (hung) return ChildEnd::Crashed;
    if (WIFSIGNALED(status)) return ChildEnd::Killed;
    // The child's exit codes are the order of ChildEnd; anything past a thrown error is a crash.
    return static_cast<ChildEnd>(std::min(WEXITSTATUS(status), 2));
}

void diskFullAt(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
}

} // namespace velmora::testing
