#include "app/DamagedDatabase.h"

#include "core/VelmoraError.h"

#include <chrono>
#include <ctime>
#include <system_error>

namespace velmora::damaged_database {

namespace fs = std::filesystem;

std::string alertMessage(const fs::path& database, const std::string& error) {
    return "The database " + database.string() + " cannot be read (" + error +
           "). Velmora can move the damaged file aside, renamed with today's date so nothing is deleted, and start "
           "with a new, empty database. Your encrypted profile and resume library keys stay where they are.";
}

namespace {

std::string stamp(TimePoint now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    return text;
}

} // namespace

fs::path moveAside(const fs::path& database, TimePoint now) {
    const std::string base = database.string() + ".damaged-" + stamp(now);
    std::error_code ec;
    std::string target = base;
    // Never over another moved-aside copy: each damaged file is kept.
    for (int n = 2; fs::exists(target, ec) || fs::exists(target + "-wal", ec); ++n) target = base + "-" + std::to_string(n);

    // The log files first: a database moved without its log would lose the log's pages,
    // and a log left behind would be replayed into the new, empty database.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const fs::path side = database.string() + suffix;
        if (!fs::exists(side, ec)) continue;
        fs::rename(side, target + suffix, ec);
        if (ec) throw VelmoraError("Could not move " + side.string() + " aside: " + ec.message() + ".");
    }
    if (fs::exists(database, ec)) {
        fs::rename(database, target, ec);
        if (ec) throw VelmoraError("Could not move " + database.string() + " aside: " + ec.message() + ".");
    }
    return target;
}

} // namespace velmora::damaged_database
