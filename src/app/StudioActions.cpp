// Resume Studio's bridge actions. Builds, rewrites and cover letters wait on the local model,
// so they run off the UI thread; library actions are quick and answer on it.

#include "app/Actions.h"
#include "core/VelmoraError.h"
#include "studio/ResumeStudioRequest.h"
#include "studio/ResumeStudioService.h"

namespace velmora {

// Defined here rather than beside the type because it reads the payload with the bridge's
// lenient JSONTools readers, which live in this library.
ResumeStudioRequest ResumeStudioRequest::from(const json& payload) {
    ResumeStudioRequest r;
    r.name = JSONTools::s(payload, "name", "");
    r.targetRole = JSONTools::s(payload, "targetRole", "");
    r.seniority = JSONTools::s(payload, "seniority", "Mid-level");
    r.style = JSONTools::s(payload, "style", "Modern ATS");
    r.pageCount = JSONTools::i(payload, "pageCount", 1) == 2 ? 2 : 1;
    r.jobDescription = JSONTools::s(payload, "jobDescription", "");
    r.sourceResumePath = JSONTools::s(payload, "sourceResumePath", "");
    // Absent means "use the profile"; a value that is neither boolean nor number means "do not".
    r.useApplicationProfile = payload.is_object() && payload.contains("useApplicationProfile")
                                  ? JSONTools::b(payload, "useApplicationProfile", false)
                                  : true;
    r.language = ResumeStudioService::normalizeLanguage(JSONTools::s(payload, "language", "en"));
    return r;
}

namespace {

// The `resume` object of a payload, decoded strictly.
ResumeDocument resumeOf(const json& payload) {
    auto it = payload.find("resume");
    if (it == payload.end() || !it->is_object()) throw VelmoraError("Resume payload is invalid.");
    return ResumeDocument::fromJson(*it);
}

// Encoding back for the page never fails an action that already did its work.
json documentObject(const ResumeDocument& document) {
    json parsed = json::parse(document.toJsonText(), nullptr, false);
    return parsed.is_object() ? parsed : json::object();
}

} // namespace

void registerStudioActions(Bridge& bridge, AppContext& ctx) {
    bridge.addAsync("buildResumeStudio", [&ctx](const json& payload) {
        ResumeStudioRequest request = ResumeStudioRequest::from(payload);
        auto studio = ctx.resumeStudio;
        return std::function<json()>([studio, request] { return documentObject(studio->build(request)); });
    });
    bridge.addSync("saveResumeStudio", [&ctx](const json& payload) {
        return documentObject(ctx.resumeStudio->updateAndSave(ResumeDocument::fromJson(payload)));
    });
    bridge.addSync("listResumeStudio", [&ctx](const json&) { return ctx.resumeStudio->list(); });
    // A separate action, so listResumeStudio keeps answering the plain array the page expects.
    bridge.addSync("getResumeStudioStatus", [&ctx](const json&) { return ctx.resumeStudio->libraryStatus(); });
    bridge.addSync("duplicateResumeStudio", [&ctx](const json& payload) {
        return documentObject(
            ctx.resumeStudio->duplicate(JSONTools::i64(payload, "id", 0), JSONTools::s(payload, "name", "")));
    });
    bridge.addSync("deleteResumeStudio", [&ctx](const json& payload) {
        ctx.resumeStudio->remove(JSONTools::i64(payload, "id", 0));
        return json{{"ok", true}};
    });
    bridge.addAsync("rewriteResumeSection", [&ctx](const json& payload) {
        ResumeDocument document = resumeOf(payload);
        std::string section = JSONTools::s(payload, "section", "");
        std::string mode = JSONTools::s(payload, "mode", "rewrite");
        auto studio = ctx.resumeStudio;
        return std::function<json()>(
            [studio, document, section, mode] { return studio->rewriteSection(document, section, mode); });
    });
    bridge.addAsync("improveResumeBullet", [&ctx](const json& payload) {
        std::string bullet = JSONTools::s(payload, "bullet", "");
        std::string facts = JSONTools::s(payload, "sourceFacts", "");
        std::string role = JSONTools::s(payload, "targetRole", "");
        std::string job = JSONTools::s(payload, "jobDescription", "");
        std::string language = JSONTools::s(payload, "language", defaultLanguage(*ctx.db));
        auto studio = ctx.resumeStudio;
        return std::function<json()>([studio, bullet, facts, role, job, language] {
            return studio->improveBullet(bullet, facts, role, job, language);
        });
    });
    bridge.addAsync("generateCoverLetter", [&ctx](const json& payload) {
        ResumeDocument document = resumeOf(payload);
        std::string company = JSONTools::s(payload, "company", "");
        auto studio = ctx.resumeStudio;
        return std::function<json()>(
            [studio, document, company] { return studio->generateCoverLetter(document, company); });
    });
}

} // namespace velmora
