#include "app/ResumeContactPrefill.h"

#include "core/Text.h"
#include "profile/ApplicationProfile.h"
#include "profile/ApplicationProfileValidation.h"
#include "studio/ResumeStudioService.h"

#include <optional>
#include <vector>

namespace velmora {

namespace {

// The header of a resume: its first few non-empty lines, where contact details live.
constexpr size_t kHeaderLines = 6;

std::vector<std::string> headerLines(const std::string& text) {
    std::vector<std::string> lines;
    for (const std::string& piece : text::split(text, '\n', false)) {
        std::string line = text::trim(piece);
        if (line.empty()) continue;
        lines.push_back(std::move(line));
        if (lines.size() == kHeaderLines) break;
    }
    return lines;
}

// "Lisbon, Portugal", "Austin, TX", "São Paulo, SP, Brazil": two or three capitalised parts,
// no digits, no @.
std::string findLocation(const std::vector<std::string>& header) {
    static const text::Regex separators("\\s*(?:\\||\u2022|\u00b7|\u2013|\u2014|;)\\s*");
    // Each part a capitalised name of up to four words: "Built things, shipped things" is prose.
    static const text::Regex place(
        "\\p{Lu}[\\p{L}\\p{M}.'\\-]*(?: [\\p{L}\\p{M}.'\\-]+){0,3}"
        "(?:,\\s*\\p{Lu}[\\p{L}\\p{M}.'\\-]*(?: [\\p{L}\\p{M}.'\\-]+){0,3}){1,2}");
    for (size_t i = 1; i < header.size(); ++i) { // the first line is the name
        for (const std::string& piece : separators.split(header[i])) {
            const std::string candidate = text::trim(piece);
            if (!candidate.empty() && place.fullMatch(candidate)) return candidate;
        }
    }
    return "";
}

} // namespace

ResumeContact contactFromResumeText(const std::string& resumeText) {
    ResumeContact contact;
    const std::string built = ResumeStudioService::buildContact(ApplicationProfile{}, resumeText);
    const auto lines = text::split(built, '\n', false);
    if (!lines.empty()) {
        const std::string name = text::trim(lines[0]);
        // The studio writes a placeholder when no line could be a name; a name has no digits or @.
        static const text::Regex nameLike("[\\p{L}\\p{M} .'\\-]{2,80}");
        if (nameLike.fullMatch(name) && name != "[YOUR NAME]") contact.fullName = name;
    }
    if (lines.size() > 1) {
        for (const std::string& item : text::split(lines[1], '|', false)) {
            const std::string value = text::trim(item);
            if (value.empty()) continue;
            if (contact.email.empty() && isPlausibleEmail(value)) contact.email = value;
            else if (contact.linkedIn.empty() && text::lower(value).find("linkedin.") != std::string::npos)
                contact.linkedIn = value;
            else if (contact.phone.empty() && isPlausiblePhone(value)) contact.phone = value;
        }
    }
    contact.location = findLocation(headerLines(resumeText));
    return contact;
}

} // namespace velmora
