#pragma once

#include "app/AppContext.h"
#include "app/Bridge.h"

namespace velmora {

// Fills the bridge's action table. Each area registers its own actions in its own file.
void registerActions(Bridge& bridge, AppContext& ctx);

void registerSettingsActions(Bridge& bridge, AppContext& ctx);
void registerFileActions(Bridge& bridge, AppContext& ctx);
void registerJobActions(Bridge& bridge, AppContext& ctx);
void registerApplicationActions(Bridge& bridge, AppContext& ctx);
void registerShellActions(Bridge& bridge, AppContext& ctx);
void registerProfileActions(Bridge& bridge, AppContext& ctx);
void registerResumeActions(Bridge& bridge, AppContext& ctx);
void registerStudioActions(Bridge& bridge, AppContext& ctx);
// startupSyncJobs; creates AppContext::jobSync when the front door has not.
void registerSyncActions(Bridge& bridge, AppContext& ctx);

// The language used when a payload names none: setting "language", normalised.
std::string defaultLanguage(const DatabaseService& db);
// Lower-cased when one of es, fr, de, it, pt; otherwise "en".
std::string normalizeLanguage(const std::string& value);

} // namespace velmora
