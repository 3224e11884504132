#pragma once

#include "core/JSONTools.h"
#include "storage/DatabaseService.h"

namespace velmora {

// The eight-key settings view the page shows, and the validated save of the seven keys
// the user can set.
json publicSettings(const DatabaseService& db);
void saveSettings(DatabaseService& db, const json& payload);

} // namespace velmora
