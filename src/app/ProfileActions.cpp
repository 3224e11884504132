#include "app/Actions.h"

namespace velmora {

void registerProfileActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("getApplicationProfile", [&ctx](const json&) { return ctx.profiles->getPublic(); });
    // The whole payload is the form.
    bridge.addSync("saveApplicationProfile", [&ctx](const json& payload) { return ctx.profiles->save(payload); });
}

} // namespace velmora
