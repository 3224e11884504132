#include "core/Log.h"

#include <mutex>
#include <syslog.h>

namespace velmora {

void logLine(const std::string& line) {
    static std::once_flag once;
    std::call_once(once, [] { openlog("velmora", LOG_PID, LOG_USER); });
    syslog(LOG_NOTICE, "%s", line.c_str());
}

} // namespace velmora
