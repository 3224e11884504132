#pragma once

#include "core/Clock.h"

#include <filesystem>
#include <string>

namespace velmora {

// What start-up does with a database file SQLite cannot read: the user may move it aside and
// start with a new one. The damaged file is never deleted; it keeps its bytes under a name
// with the date, next to where it was, with its write-ahead log and shared-memory files.
namespace damaged_database {

constexpr const char* kAlertTitle = "Velmora could not open its database";
constexpr const char* kMoveAsideButton = "Move it aside and start fresh";
constexpr const char* kQuitButton = "Quit";

// The alert's text: what happened, and what each choice does.
std::string alertMessage(const std::filesystem::path& database, const std::string& error);

// Renames the database (and its -wal, -shm and -journal files when present) to
// "<name>.damaged-YYYYMMDD-HHMMSS" (plus "-2", "-3"... if that exists) and returns the new
// path of the database itself. Throws VelmoraError when a rename fails; files already moved
// stay moved, so the next start still finds no damaged file at the old name.
std::filesystem::path moveAside(const std::filesystem::path& database, TimePoint now);

} // namespace damaged_database

} // namespace velmora
