#include "app/Actions.h"
#include "app/ResumeContactPrefill.h"
#include "resume/ResumeService.h"

namespace velmora {

void registerProfileActions(Bridge& bridge, AppContext& ctx) {
    bridge.addSync("getApplicationProfile", [&ctx](const json&) { return ctx.profiles->getPublic(); });
    // The whole payload is the form.
    bridge.addSync("saveApplicationProfile", [&ctx](const json& payload) { return ctx.profiles->save(payload); });
    // Contact details of a resume the user chose, for the profile form to pre-fill; nothing
    // is stored until the user saves the form. Reading a PDF can take a moment.
    bridge.addAsync("readResumeContact", [](const json& payload) -> std::function<json()> {
        std::string path = JSONTools::s(payload, "path", "");
        return [path] {
            const ResumeContact contact = contactFromResumeText(ResumeService::extractText(path));
            return json{{"fullName", contact.fullName},
                        {"email", contact.email},
                        {"phone", contact.phone},
                        {"linkedIn", contact.linkedIn},
                        {"location", contact.location}};
        };
    });
}

} // namespace velmora
