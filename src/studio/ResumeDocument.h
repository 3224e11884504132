#pragma once

#include "core/JSONTools.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// A section the build took from the user's own sources instead of the model's answer, and why:
// "ai_unavailable" (no usable model answer came), "ai_unusable" (the answer was empty, a template
// or too short) or "unsupported_facts" (the answer named facts the sources do not hold, listed in
// `claims`). The page shows it beside the section.
struct KeptSection {
    std::string section; // "summary", "skills", "experience", "education", "certifications", "projects"
    std::string reason;
    std::vector<std::string> claims;

    bool operator==(const KeptSection&) const = default;
};

// A Resume Studio resume as stored in the library and edited in the page. It crosses the
// bridge as a JSON object whose keys are the field names below (the template style travels
// under the key "template", which C++ does not allow as a member name).
struct ResumeDocument {
    int64_t id = 0; // library row id; 0 = not yet stored
    std::string name = "Resume";
    std::string templateName = "modern"; // JSON key "template": "modern", "classic" or "compact"
    std::string targetRole;
    std::string seniority;
    int pageCount = 1;
    std::string language = "en";
    std::string contact; // one item per line
    // The six section texts: lines, bullets written as lines beginning with "- " or "• ".
    std::string summary;
    std::string skills;
    std::string experience;
    std::string education;
    std::string certifications;
    std::string projects;
    std::string coverLetter;
    std::string coverLetterTemplate;
    int atsScore = 0; // 0..100
    std::vector<std::string> matchedKeywords;
    std::vector<std::string> missingKeywords;
    std::string sourceFacts; // the verified-facts block the resume was built from
    std::string jobDescription;
    std::string createdAt; // ISO 8601 UTC with milliseconds
    std::string updatedAt;
    // Optional in stored documents (older ones have none); always written.
    std::vector<KeptSection> keptFromSource;

    bool operator==(const ResumeDocument&) const = default;

    // All 24 keys, in field order.
    json toJson() const;
    std::string toJsonText() const;

    // Strict decoding: every key but keptFromSource must be present with its type (integers for
    // id, pageCount and atsScore, arrays of strings for the keyword lists, strings otherwise),
    // every text valid UTF-8 and within kMaxTextBytes. Anything else throws VelmoraError with a
    // message naming the offending key. Extra keys are ignored.
    static ResumeDocument fromJson(const json& object);
    // Parses the text first; a parse failure throws VelmoraError as well.
    static ResumeDocument fromJsonText(const std::string& text);

    // Upper bound for one text field (the longest legitimate one, a job description or the
    // facts block, is far below it); keeps a runaway payload out of the library.
    static constexpr size_t kMaxTextBytes = 1024 * 1024;
    static constexpr size_t kMaxKeywords = 200;
};

} // namespace velmora
