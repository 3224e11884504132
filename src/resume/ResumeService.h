#pragma once

#include "storage/DatabaseService.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velmora {

// The local AI client, resume import and rule-based resume analysis.
//
// Every AI request goes to the model server named by the `ollamaUrl` setting, and only when
// that address is the local machine: resume and profile text never leaves the computer.
class ResumeService {
public:
    // `aiTimeout` bounds one model request (a slow local model may take minutes to answer).
    explicit ResumeService(std::shared_ptr<DatabaseService> db,
                           std::chrono::milliseconds aiTimeout = std::chrono::seconds(120));

    // ---- local AI ----------------------------------------------------------------------

    // Sends one prompt to the local model server and returns its answer, trimmed and cut to
    // 100,000 characters. Throws VelmoraError on any failure: privacy check, transport, status,
    // body, or an answer of nothing but white space.
    // The host is checked before any socket is opened.
    std::string askLocalAi(const std::string& prompt) const;

    // The endpoint askLocalAi would call for this base address ("/api/generate" appended
    // after trailing slashes are removed). Throws the privacy-check or invalid-URL error.
    static std::string generateEndpoint(const std::string& baseUrl);

    // "es" → "Spanish", ... ; anything else (after lower-casing) → "English".
    static std::string languageName(const std::string& code);

    // Draft resume from the user's notes: {mode, resume, notice}. Throws only for empty notes.
    nlohmann::json generateResume(const std::string& prompt, const std::string& language) const;

    // The fixed offline template (ends with a line feed); notes follow it directly.
    static const std::string& offlineTemplate();

    // One resume line rewritten by the model in the given mode ("shorten", "strengthen",
    // "regenerate", anything else: "rewrite"): {text} for a blank fragment, {text, mode:
    // "private_ai"} from the model, or {text: the trimmed fragment, mode: "offline"}.
    nlohmann::json rewriteFragment(const std::string& fragment, const std::string& sourceFacts,
                                   const std::string& targetRole, const std::string& jobDescription,
                                   const std::string& mode, const std::string& language) const;
    static std::string fragmentPrompt(const std::string& fragment, const std::string& sourceFacts,
                                      const std::string& targetRole, const std::string& jobDescription,
                                      const std::string& mode, const std::string& language);

    // ---- import ------------------------------------------------------------------------

    // Clean plain text of a PDF, DOCX, RTF, TXT or MD resume (chosen by extension).
    static std::string extractText(const std::string& path);

    // Text of a DOCX file's word/document.xml, cleaned.
    static std::string extractDocx(const std::string& path);

    // Line feeds only, runs of blanks/tabs to one blank, at most one empty line, trimmed.
    static std::string clean(const std::string& text);

    // ---- analysis ----------------------------------------------------------------------

    // ATS readiness report {score, grade, wordCount, strengths, tips, keywords, privacy}.
    static nlohmann::json analyze(const std::string& text);

    // The `max` most frequent tokens (stop words skipped), ties in ascending text order.
    static std::vector<std::string> extractKeywords(const std::string& text, std::size_t max);

    // {analysis, aiFeedback, aiStatus, fileName}; records the result in `resumes`.
    nlohmann::json analyzeFile(const std::string& path, bool useLocalAi, const std::string& language) const;

    const std::shared_ptr<DatabaseService>& db() const { return db_; }

private:
    std::shared_ptr<DatabaseService> db_;
    std::chrono::milliseconds aiTimeout_;
};

} // namespace velmora
