#include "support/ChildProcess.h"

#include "core/VelmoraError.h"

#include <csignal>
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
    if (killAfter) {
        char byte;
        if (read(ready[0], &byte, 1) == 1) {
            std::this_thread::sleep_for(*killAfter);
            kill(pid, SIGKILL);
        }
    }
    close(ready[0]);
    int status = 0;
    waitpid(pid, &status, 0);
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
