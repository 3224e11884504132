#pragma once

#include <string>

namespace velmora {

// Contact details found at the top of a resume, offered to the user to confirm in the
// Application Profile; nothing here is stored. Empty when not found.
struct ResumeContact {
    std::string fullName;
    std::string email;
    std::string phone;
    std::string linkedIn;
    std::string location; // "City, Region" or "City, Country" as the resume writes it
};

// Reads the contact lines of a resume's plain text with the Resume Studio's contact reading,
// plus the location it does not look for.
ResumeContact contactFromResumeText(const std::string& resumeText);

} // namespace velmora
