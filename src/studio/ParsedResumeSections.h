#pragma once

#include <string>

namespace velmora {

// The six section texts found in an existing resume: the lines under each heading, cleaned and
// joined with "\n"; a section that was not found is empty.
struct ParsedResumeSections {
    std::string summary;
    std::string skills;
    std::string experience;
    std::string education;
    std::string certifications;
    std::string projects;

    bool operator==(const ParsedResumeSections&) const = default;
};

} // namespace velmora
