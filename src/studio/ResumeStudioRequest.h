#pragma once

#include "core/JSONTools.h"

#include <string>

namespace velmora {

// The input of a Resume Studio build, read leniently from the bridge payload: every key has
// a default and a mistyped value falls back to it.
struct ResumeStudioRequest {
    std::string name;
    std::string targetRole;
    std::string seniority = "Mid-level";
    std::string style = "Modern ATS";
    int pageCount = 1; // 1 or 2
    std::string jobDescription;
    std::string sourceResumePath; // an uploaded resume file, or empty
    bool useApplicationProfile = true;
    std::string language = "en"; // already normalised

    static ResumeStudioRequest from(const json& payload);
};

} // namespace velmora
