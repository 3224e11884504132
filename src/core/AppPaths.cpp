#include "core/AppPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;

AppPaths::AppPaths(fs::path applicationSupport) : applicationSupport_(std::move(applicationSupport)) {
    // Failures are ignored on purpose: the first operation that needs a folder reports its own error.
    std::error_code ec;
    fs::create_directories(applicationSupport_, ec);
    fs::create_directories(profileDirectory(), ec);
    fs::create_directories(tempDirectory(), ec);
}

fs::path AppPaths::defaultApplicationSupport() {
    if (const char* dir = std::getenv("VELMORA_DATA_DIR"); dir && *dir) return fs::path(dir);
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
        }
        base = fs::path(home ? home : "/tmp") / ".local" / "share";
    }
    return base / "Quorvane" / "Velmora";
}

const AppPaths& AppPaths::shared() {
    static const AppPaths paths(defaultApplicationSupport());
    return paths;
}

} // namespace velmora
