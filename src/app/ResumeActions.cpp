#include "app/Actions.h"

namespace velmora {

// Resume generation and analysis, the single-line rewrite and interview questions. All of
// them may wait on the local model, so the payload is read on the UI thread and the work
// runs in the background.
void registerResumeActions(Bridge& bridge, AppContext& ctx) {
    using JSONTools::b;
    using JSONTools::s;

    bridge.addAsync("generateResume", [&ctx](const json& payload) -> std::function<json()> {
        std::string prompt = s(payload, "prompt", "");
        std::string language = s(payload, "language", defaultLanguage(*ctx.db));
        auto resumes = ctx.resumes;
        return [resumes, prompt, language] { return resumes->generateResume(prompt, language); };
    });

    bridge.addAsync("analyzeResume", [&ctx](const json& payload) -> std::function<json()> {
        std::string path = s(payload, "path", "");
        bool useLocalAi = b(payload, "useLocalAi", false);
        std::string language = s(payload, "language", defaultLanguage(*ctx.db));
        auto resumes = ctx.resumes;
        return [resumes, path, useLocalAi, language] { return resumes->analyzeFile(path, useLocalAi, language); };
    });

    bridge.addAsync("rewriteResumeFragment", [&ctx](const json& payload) -> std::function<json()> {
        std::string fragment = s(payload, "fragment", "");
        std::string sourceFacts = s(payload, "sourceFacts", "");
        std::string targetRole = s(payload, "targetRole", "");
        std::string jobDescription = s(payload, "jobDescription", "");
        std::string mode = s(payload, "mode", "rewrite");
        std::string language = s(payload, "language", defaultLanguage(*ctx.db));
        auto resumes = ctx.resumes;
        return [=] { return resumes->rewriteFragment(fragment, sourceFacts, targetRole, jobDescription, mode, language); };
    });

    bridge.addAsync("generateInterviewQuestions", [&ctx](const json& payload) -> std::function<json()> {
        std::string title = s(payload, "title", "");
        std::string description = s(payload, "description", "");
        std::string language = s(payload, "language", defaultLanguage(*ctx.db));
        auto interviews = ctx.interviews;
        return [interviews, title, description, language] {
            return interviews->generateQuestions(title, description, language);
        };
    });
}

} // namespace velmora
