#include "app/Actions.h"

#include "core/Text.h"

namespace velmora {

std::string normalizeLanguage(const std::string& value) {
    std::string lower = text::lower(value);
    for (const char* code : {"es", "fr", "de", "it", "pt"})
        if (lower == code) return lower;
    return "en";
}

std::string defaultLanguage(const DatabaseService& db) { return normalizeLanguage(db.getSetting("language", "en")); }

void registerActions(Bridge& bridge, AppContext& ctx) {
    registerSettingsActions(bridge, ctx);
    registerFileActions(bridge, ctx);
    registerJobActions(bridge, ctx);
    registerShellActions(bridge, ctx);
    registerProfileActions(bridge, ctx);
    registerResumeActions(bridge, ctx);
    registerStudioActions(bridge, ctx);
    registerSyncActions(bridge, ctx);
    registerApplicationActions(bridge, ctx);
}

} // namespace velmora
