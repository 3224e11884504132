// Turning the plain text of an existing resume into sections and a contact block. Text rules
// only: what the user's own file says is what ends up in the resume.

#include "studio/ResumeStudioService.h"

#include "core/Text.h"
#include "studio/ResumeSectionReader.h"

#include <algorithm>
#include <map>
#include <set>

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

std::string firstMatch(const std::optional<text::Regex>& regex, const std::string& text) {
    if (!regex) return "";
    auto match = regex->firstMatch(text);
    return match ? match->str() : "";
}


// Words of a headline, not of a name: a first line such as "Jordan Avery Remote SRE" carries both.
bool isJobTitleWord(const std::string& word) {
    static const std::set<std::string> words = {
        "engineer", "developer", "manager", "sre", "devops", "designer", "analyst", "scientist", "consultant",
        "architect", "lead", "senior", "sr.", "junior", "jr.", "staff", "principal", "remote", "director",
        "specialist", "administrator", "intern", "programmer", "officer", "coordinator", "head", "vp", "cto",
        "software", "backend", "frontend", "full-stack", "fullstack", "web", "data", "product", "site",
        "ingeniera", "ingeniero", "desarrollador", "desarrolladora", "entwickler", "entwicklerin", "ingenieur",
        "développeur", "développeuse", "ingénieur", "sviluppatore", "sviluppatrice", "ingegnere",
        "desenvolvedor", "desenvolvedora", "engenheiro", "engenheira"};
    for (const std::string& part : text::split(text::lower(word), '-', false))
        if (words.count(part)) return true;
    return words.count(text::lower(word)) > 0;
}

std::string withoutJobTitle(const std::string& line) {
    std::vector<std::string> words = text::split(line, ' ', false);
    if (words.empty() || isJobTitleWord(words.front())) return "";
    for (size_t i = 1; i < words.size(); ++i)
        if (isJobTitleWord(words[i])) return text::join(std::vector<std::string>(words.begin(), words.begin() + static_cast<long>(i)), " ");
    return line;
}

size_t digitCount(const std::string& s) {
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

// International numbers (+CC with blanks, dots, dashes, parentheses), then the North American
// form anywhere, then any digit group in the header lines that has a phone's length and is no
// year range.
std::string findPhone(const std::string& header, const std::string& text) {
    static const std::optional<text::Regex> international = compile("\\+\\d[\\d .()\\-]{5,22}\\d");
    static const std::optional<text::Regex> northAmerican =
        compile("(?:\\+?1[-.\\s]?)?\\(?\\d{3}\\)?[-.\\s]\\d{3}[-.\\s]\\d{4}");
    static const std::optional<text::Regex> local = compile("\\(?\\d[\\d .()\\-]{5,18}\\d");
    static const std::optional<text::Regex> yearRange = compile("^(?:19|20)\\d\\d\\s*-\\s*(?:19|20)\\d\\d$");
    auto valid = [](const std::string& candidate) {
        size_t digits = digitCount(candidate);
        return digits >= 7 && digits <= 15 && !(yearRange && yearRange->fullMatch(candidate));
    };
    for (const std::string* source : {&header, &text}) {
        if (!international) break;
        for (const auto& m : international->allMatches(*source))
            if (valid(m.str())) return text::trim(m.str());
    }
    std::string northAmericanMatch = firstMatch(northAmerican, text);
    if (!northAmericanMatch.empty()) return northAmericanMatch;
    if (local)
        for (const auto& m : local->allMatches(header))
            if (valid(text::trim(m.str()))) return text::trim(m.str());
    return "";
}

// "Portland, OR" or "Sevilla, España" standing between the separators of a contact line.
std::string findLocation(const std::vector<std::string>& header, const std::string& name) {
    static const std::optional<text::Regex> separators = compile("\\s*(?:\\||·|•|\\t| — | – )\\s*");
    static const std::optional<text::Regex> place = compile("^\\p{Lu}[\\p{L}.'’ \\-]{1,30},\\s*\\p{Lu}[\\p{L}.'’ \\-]{1,30}$");
    if (!separators || !place) return "";
    for (const std::string& line : header) {
        for (const std::string& piece : separators->split(line)) {
            std::string segment = text::trim(piece);
            if (segment != name && place->fullMatch(segment)) return segment;
        }
    }
    return "";
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
    return ResumeSectionReader::normalizeHeading(line);
}

std::string ResumeStudioService::headingToSection(const std::string& normalizedHeading) {
    return ResumeSectionReader::sectionOf(normalizedHeading);
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
    return ResumeSectionReader::read(resumeText).sections;
}

std::string ResumeStudioService::firstNonEmptyLine(const std::string& text) {
    static const std::optional<text::Regex> marks = compile("^\\s*#{1,6}\\s+|\\*\\*|__");
    static const std::optional<text::Regex> contactish = compile("@|://|\\d{3}");
    size_t examined = 0;
    for (const std::string& piece : text::split(text, '\n', false)) {
        // The name stands at the top; a resume whose first lines hold none has no name line.
        if (++examined > 40) break;
        std::string line = text::trim(marks ? marks->replaceAll(piece, "") : piece);
        if (ResumeSectionReader::isHeading(line, &line) && line.empty()) continue;
        if (contactish && contactish->search(line)) continue;
        line = withoutJobTitle(line);
        if (text::characterCount(line) >= 2) return line;
    }
    return "[YOUR NAME]";
}

std::string ResumeStudioService::buildContact(const ApplicationProfile& profile, const std::string& existingText) {
    static const std::optional<text::Regex> emailPattern =
        compile("\\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,}\\b", text::Regex::CaseInsensitive);
    static const std::optional<text::Regex> linkedInPattern =
        compile("https?://(?:www\\.)?linkedin\\.com/in/[^\\s|]+", text::Regex::CaseInsensitive);

    ResumeReading reading = ResumeSectionReader::read(existingText);
    std::string header = text::join(reading.header, "\n");
    std::string name = text::trim(profile.fullName);
    if (name.empty()) name = firstNonEmptyLine(header.empty() ? existingText : header);
    std::string email = text::trim(profile.email);
    if (email.empty()) email = firstMatch(emailPattern, existingText);
    std::string phone = text::trim(profile.phone);
    if (phone.empty()) phone = findPhone(header, existingText);
    std::string linkedIn = text::trim(profile.linkedIn);
    if (linkedIn.empty()) linkedIn = firstMatch(linkedInPattern, existingText);
    std::string cityState = text::trim(profile.cityState);
    std::string country = text::trim(profile.country);
    if (cityState.empty() && country.empty()) cityState = findLocation(reading.header, name);

    std::vector<std::string> details;
    for (const std::string& item : {email, phone, cityState, country, linkedIn}) {
        std::string trimmed = text::trim(item);
        if (!trimmed.empty()) details.push_back(std::move(trimmed));
    }
    std::string second = text::join(details, " | ");
    return second.empty() ? name : name + "\n" + second;
}

} // namespace velmora
