#pragma once

#include "resume/ResumeService.h"
#include "storage/DatabaseService.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velmora {

// Practice interview questions for a job, from the local AI model or, when it is absent or
// answers with too few usable lines, from a localised question bank plus questions about the
// description's most frequent keywords. Only invalid input fails.
class InterviewPrepService {
public:
    InterviewPrepService(std::shared_ptr<DatabaseService> db, std::shared_ptr<ResumeService> ai);

    // {mode: "private_ai" | "offline_fallback", questions, notice}.
    nlohmann::json generateQuestions(const std::string& title, const std::string& description,
                                     const std::string& language) const;

    // One question per usable line: list markers removed, lines under 12 characters dropped,
    // a question mark added where missing. Duplicates and order kept.
    static std::vector<std::string> parseQuestions(const std::string& answer);
    // The bank of `lang` (rows 1 and 2 about the title), then up to five keyword questions,
    // without duplicates (compared lower-cased).
    static std::vector<std::string> buildFallback(const std::string& title, const std::string& description,
                                                  const std::string& lang);
    // Tokens of four or more characters, interview stop words skipped; most frequent first,
    // longer first among equals.
    static std::vector<std::string> extractKeywords(const std::string& text, std::size_t max);
    static std::string keywordQuestion(const std::string& keyword, const std::string& lang);
    static std::string notice(const std::string& lang, bool modelUsed);
    // Lower-cased when one of es, fr, de, it, pt; otherwise "en".
    static std::string supportedLanguage(const std::string& language);
    static std::string prompt(const std::string& title, const std::string& description, const std::string& lang);

private:
    std::shared_ptr<DatabaseService> db_;
    std::shared_ptr<ResumeService> ai_;
};

} // namespace velmora
