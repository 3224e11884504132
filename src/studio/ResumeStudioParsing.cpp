// Turning the plain text of an existing resume into sections and a contact block. Text rules
// only: what the user's own file says is what ends up in the resume.

#include "studio/ResumeStudioService.h"

#include "core/Text.h"

#include <map>

namespace velmora {

namespace {

// A pattern that does not compile counts as "no match" rather than failing a build.
std::optional<text::Regex> compile(const char* pattern, uint32_t flags = text::Regex::None) {
    try {
        return text::Regex(pattern, flags);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

const std::optional<text::Regex>& headingSplitter() {
    // PDF text often runs headings into one line separated by wide gaps; this puts every heading
    // word that is followed by ":", "-" or a line end on a line of its own.
    static const std::optional<text::Regex> regex = compile(
        "(?i)(?<!^)(?:[ \\t]{2,}|\\n)?(?=(PROFESSIONAL SUMMARY|CAREER SUMMARY|SUMMARY|PROFESSIONAL PROFILE|PROFILE|"
        "OBJECTIVE|CORE SKILLS|TECHNICAL SKILLS|SKILLS|CORE COMPETENCIES|COMPETENCIES|TECHNOLOGIES|AREAS OF "
        "EXPERTISE|PROFESSIONAL EXPERIENCE|WORK EXPERIENCE|EXPERIENCE|EMPLOYMENT HISTORY|WORK HISTORY|CAREER "
        "HISTORY|EDUCATION|ACADEMIC BACKGROUND|CERTIFICATIONS|CERTIFICATES|LICENSES|LICENSURES|PROJECTS|SELECTED "
        "PROJECTS|KEY PROJECTS)\\s*(?:[:\\-]|\\n))");
    return regex;
}

const std::map<std::string, std::string>& headingAliases() {
    static const std::map<std::string, std::string> aliases = {
        {"professional summary", "summary"},
        {"career summary", "summary"},
        {"summary", "summary"},
        {"professional profile", "summary"},
        {"profile", "summary"},
        {"objective", "summary"},
        {"core skills", "skills"},
        {"technical skills", "skills"},
        {"skills", "skills"},
        {"core competencies", "skills"},
        {"competencies", "skills"},
        {"technologies", "skills"},
        {"areas of expertise", "skills"},
        {"professional experience", "experience"},
        {"work experience", "experience"},
        {"experience", "experience"},
        {"employment history", "experience"},
        {"work history", "experience"},
        {"career history", "experience"},
        {"education", "education"},
        {"academic background", "education"},
        {"certifications", "certifications"},
        {"certificates", "certifications"},
        {"licenses", "certifications"},
        {"licensures", "certifications"},
        {"projects", "projects"},
        {"selected projects", "projects"},
        {"key projects", "projects"},
    };
    return aliases;
}

std::string firstMatch(const std::optional<text::Regex>& regex, const std::string& text) {
    if (!regex) return "";
    auto match = regex->firstMatch(text);
    return match ? match->str() : "";
}

} // namespace

std::string ResumeStudioService::extractExistingResumeText(const std::string& facts) {
    static const std::optional<text::Regex> marker =
        compile(text::regexEscape(kExistingResumeMarker).c_str(), text::Regex::CaseInsensitive);
    if (!marker) return "";
    auto match = marker->firstMatch(facts);
    if (!match) return "";
    return text::trim(std::string_view(facts).substr(match->end));
}

std::string ResumeStudioService::normalizeHeading(const std::string& line) {
    static const std::optional<text::Regex> edges = compile("^[•\\-*#|\\s]+|[•\\-*#|\\s:]+$");
    static const std::optional<text::Regex> spaces = compile("\\s+");
    std::string result = edges ? edges->replaceAll(line, "") : line;
    if (spaces) result = spaces->replaceAll(result, " ");
    return text::lower(text::trim(result));
}

std::string ResumeStudioService::headingToSection(const std::string& normalizedHeading) {
    auto it = headingAliases().find(normalizedHeading);
    return it == headingAliases().end() ? "" : it->second;
}

std::string ResumeStudioService::joinResumeLines(const std::vector<std::string>& lines) {
    static const std::optional<text::Regex> spaces = compile("\\s+");
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        std::string collapsed = text::trim(spaces ? spaces->replaceAll(line, " ") : line);
        if (!collapsed.empty()) kept.push_back(std::move(collapsed));
    }
    return text::join(kept, "\n");
}

ParsedResumeSections ResumeStudioService::parseExistingResume(const std::string& resumeText) {
    ParsedResumeSections result;
    if (text::isBlank(resumeText)) return result;

    std::string normalized = text::replaceAll(text::replaceAll(resumeText, "\r\n", "\n"), "\r", "\n");
    if (headingSplitter()) normalized = headingSplitter()->replaceAll(normalized, "\n");

    static const std::optional<text::Regex> separator = compile("\\s*[:\\-]\\s*");
    std::map<std::string, std::vector<std::string>> lines;
    std::string current;
    for (const std::string& piece : text::split(normalized, '\n', true)) {
        std::string line = text::trim(piece);
        if (line.empty()) continue;
        std::string section = headingToSection(normalizeHeading(line));
        if (section.empty()) {
            // Text before the first heading (name, contact lines) belongs to no section. A line
            // of nothing but bullet marks (left behind when a heading is split off it) says nothing.
            if (!current.empty() && !normalizeHeading(line).empty()) lines[current].push_back(line);
            continue;
        }
        current = section;
        if (separator) {
            if (auto match = separator->firstMatch(line)) {
                std::string rest = text::trim(std::string_view(line).substr(match->end));
                if (!rest.empty()) lines[current].push_back(rest);
            }
        }
    }
    result.summary = joinResumeLines(lines["summary"]);
    result.skills = joinResumeLines(lines["skills"]);
    result.experience = joinResumeLines(lines["experience"]);
    result.education = joinResumeLines(lines["education"]);
    result.certifications = joinResumeLines(lines["certifications"]);
    result.projects = joinResumeLines(lines["projects"]);
    return result;
}

std::string ResumeStudioService::firstNonEmptyLine(const std::string& text) {
    for (const std::string& piece : text::split(text, '\n', false)) {
        std::string line = text::trim(piece);
        if (text::characterCount(line) >= 2) return line;
    }
    return "[YOUR NAME]";
}

std::string ResumeStudioService::buildContact(const ApplicationProfile& profile, const std::string& existingText) {
    static const std::optional<text::Regex> emailPattern =
        compile("\\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,}\\b", text::Regex::CaseInsensitive);
    static const std::optional<text::Regex> phonePattern =
        compile("(?:\\+?1[-.\\s]?)?\\(?\\d{3}\\)?[-.\\s]\\d{3}[-.\\s]\\d{4}");
    static const std::optional<text::Regex> linkedInPattern =
        compile("https?://(?:www\\.)?linkedin\\.com/in/[^\\s|]+", text::Regex::CaseInsensitive);

    std::string name = text::trim(profile.fullName);
    if (name.empty()) name = firstNonEmptyLine(existingText);
    std::string email = text::trim(profile.email);
    if (email.empty()) email = firstMatch(emailPattern, existingText);
    std::string phone = text::trim(profile.phone);
    if (phone.empty()) phone = firstMatch(phonePattern, existingText);
    std::string linkedIn = text::trim(profile.linkedIn);
    if (linkedIn.empty()) linkedIn = firstMatch(linkedInPattern, existingText);

    std::vector<std::string> details;
    for (const std::string& item : {email, phone, profile.cityState, profile.country, linkedIn}) {
        std::string trimmed = text::trim(item);
        if (!trimmed.empty()) details.push_back(std::move(trimmed));
    }
    std::string second = text::join(details, " | ");
    return second.empty() ? name : name + "\n" + second;
}

} // namespace velmora
