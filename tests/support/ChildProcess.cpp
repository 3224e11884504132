#include "support/ChildProcess.h"

#include "core/VelmoraError.h"

#include <chrono>
#include <csignal>
#include <poll.h>
#include <cstdio>
#include <cstdlib>
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
        } catch (const VelmoraError& e) {
            if (std::getenv("VELMORA_FAULT_VERBOSE")) std::fprintf(stderr, "child: %s\n", e.what());
            code = 1;
        } catch (...) {
            code = 2;
        }
        _exit(code);
    }
    close(ready[1]);
    bool hung = false;
    if (killAfter) {
        char byte;
        // A child that never gets going (stuck in a lock another thread held at fork) must fail
        // the test rather than hold up the whole run.
        pollfd p{ready[0], POLLIN, 0};
        if (poll(&p, 1, 60'000) <= 0) {
            hung = true;
            kill(pid, SIGKILL);
        } else if (read(ready[0], &byte, 1) == 1) {
            std::this_thread::sleep_for(*killAfter);
            kill(pid, SIGKILL);
        }
    }
    close(ready[0]);
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= 60'000 && !hung) {
            hung = true;
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (hung) return ChildEnd::Crashed;
    if (WIFSIGNALED(status)) return ChildEnd::Killed;
    if (!WIFEXITED(status)) return ChildEnd::Crashed;
    if (WEXITSTATUS(status) == 0) return ChildEnd::Succeeded;
    return WEXITSTATUS(status) == 1 ? ChildEnd::Failed : ChildEnd::Crashed;
}

void diskFullAt(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
}

} // namespace velmora::testing
