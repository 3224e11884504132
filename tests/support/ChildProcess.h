#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <sys/resource.h>

namespace velmora::testing {

// How a forked child ended. Failed: the work threw VelmoraError, the clear failure a user sees.
enum class ChildEnd { Succeeded, Failed, Crashed, Killed };

// Runs `work` in a forked child. With `killAfter`, the child is killed that long after it
// writes its first byte to the descriptor it is given, to stop it in the middle of its work.
ChildEnd inChild(const std::function<void(int readyFd)>& work,
                 std::optional<std::chrono::milliseconds> killAfter = std::nullopt);

// In a child: from here on this process's files may grow to `bytes` at most, like a full disk.
// Writes past the limit fail with EFBIG instead of raising SIGXFSZ; works as root too.
void diskFullAt(rlim_t bytes);

} // namespace velmora::testing
