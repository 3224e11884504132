#pragma once

#include "core/JSONTools.h"
#include "storage/DatabaseService.h"

namespace velmora {

// The settings view the page shows, and the validated save of the keys the user can set.
// theme: "system" (follow the desktop), "light" or "dark".
std::string normalizeTheme(const std::string& value);
json publicSettings(const DatabaseService& db);
void saveSettings(DatabaseService& db, const json& payload);

} // namespace velmora
