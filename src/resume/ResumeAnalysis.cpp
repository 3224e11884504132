// Rule-based ATS readiness report and the file analysis flow.

#include "resume/ResumeService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "resume/KeywordNoise.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>

namespace velmora {

namespace {

using Keywords = std::vector<const char*>;

const Keywords kExperience = {"experience", "employment", "work history", "professional history"};
const Keywords kSkills = {"skills", "technical skills", "core competencies", "technologies"};
const Keywords kEducation = {"education", "degree", "university", "college"};
const Keywords kSummary = {"summary", "profile", "professional summary"};

constexpr std::array<const char*, 13> kActionVerbs = {"led",      "built",    "created",  "implemented", "reduced",
                                                      "increased", "improved", "managed",  "designed",    "delivered",
                                                      "secured",  "automated", "optimized"};

constexpr std::array<const char*, 27> kStopWords = {
    "the", "and", "for", "with", "from", "that", "this", "have", "has", "was", "were", "are", "your", "you",
    "our", "their", "into", "using", "used", "work", "years", "team", "role", "job", "skills", "experience",
    "responsible"};

const char* const kPrivacy =
    "Core resume analysis runs locally. Optional AI assistance is used only when you enable AI feedback.";

bool containsAny(const std::string& lower, const Keywords& keywords) {
    return std::any_of(keywords.begin(), keywords.end(), [&](const char* k) { return text::contains(lower, k); });
}

// The fixed patterns are compiled once; a pattern that fails to compile counts as never matching.
struct Patterns {
    std::unique_ptr<text::Regex> email, phone, numberLine, word, decorative, keywordToken;
    std::vector<std::unique_ptr<text::Regex>> verbs;

    static std::unique_ptr<text::Regex> compile(const std::string& pattern, uint32_t flags = text::Regex::None) {
        try {
            return std::make_unique<text::Regex>(pattern, flags);
        } catch (const std::exception&) {
            return nullptr;
        }
    }

    Patterns() {
        email = compile("\\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,}\\b", text::Regex::CaseInsensitive);
        phone = compile("(?:\\+?1[-.\\s]?)?\\(?\\d{3}\\)?[-.\\s]\\d{3}[-.\\s]\\d{4}");
        numberLine = compile("(?m)^.*\\b\\d+(?:[.,]\\d+)?%?\\b.*$");
        word = compile("\\b\\w+\\b");
        decorative = compile("[★◆►■●]{4,}");
        keywordToken = compile("\\b[a-z][a-z0-9+#.-]{2,}\\b");
        for (const char* verb : kActionVerbs) verbs.push_back(compile("\\b" + text::regexEscape(verb) + "\\b"));
    }

    static const Patterns& get() {
        static const Patterns patterns;
        return patterns;
    }
};

bool found(const std::unique_ptr<text::Regex>& re, const std::string& s) { return re && re->search(s); }
size_t countMatches(const std::unique_ptr<text::Regex>& re, const std::string& s) {
    return re ? re->allMatches(s).size() : 0;
}

// The resume's own name line would otherwise top its keyword list: a name is repeated in
// headers and signatures but is no keyword.
std::vector<std::string> keywordsWithoutName(const std::string& cleaned, size_t max) {
    std::vector<std::string> nameWords;
    for (const std::string& line : text::split(cleaned, '\n', false)) {
        if (text::isBlank(line)) continue;
        std::vector<std::string> words = text::split(text::lower(line), ' ', false);
        if (words.size() <= 5) nameWords = words;
        break;
    }
    std::vector<std::string> keywords = ResumeService::extractKeywords(cleaned, max + nameWords.size());
    std::erase_if(keywords, [&](const std::string& k) {
        return std::find(nameWords.begin(), nameWords.end(), k) != nameWords.end();
    });
    if (keywords.size() > max) keywords.resize(max);
    return keywords;
}

std::string gradeFor(int score) {
    if (score > 89) return "Excellent";
    if (score >= 80) return "Strong";
    if (score >= 70) return "Good";
    if (score >= 60) return "Needs polish";
    return "Needs work";
}

} // namespace

nlohmann::json ResumeService::analyze(const std::string& input) {
    const Patterns& re = Patterns::get();
    std::string cleaned = clean(input);
    if (text::characterCount(cleaned) < 80)
        throw VelmoraError("The resume does not contain enough readable text to analyze.");
    std::string lower = text::lower(cleaned);

    int score = 35;
    std::vector<std::string> strengths;
    std::vector<std::string> tips;
    auto rule = [&](bool met, int points, const char* strength, const std::string& tip) {
        if (met) {
            score += points;
            strengths.emplace_back(strength);
        } else {
            tips.push_back(tip);
        }
    };

    rule(containsAny(lower, kExperience), 13, "Experience section detected.",
         "Add a clearly labeled Experience section with recent roles in reverse chronological order.");
    rule(containsAny(lower, kSkills), 10, "Skills section detected.",
         "Add a focused Skills/Core Competencies section using keywords relevant to the target role.");
    rule(containsAny(lower, kEducation), 7, "Education section detected.",
         "Add an Education section, even if it is brief.");
    rule(containsAny(lower, kSummary), 6, "Summary section detected.",
         "Add a concise professional summary tailored to the role you want.");
    rule(found(re.email, cleaned), 5, "Email contact information detected.",
         "Include a professional email address near the top.");
    rule(found(re.phone, cleaned), 4, "Phone contact information detected.",
         "Include a phone number near the top if appropriate for your search.");
    rule(countMatches(re.numberLine, cleaned) > 2, 8, "Multiple quantified accomplishments detected.",
         "Quantify more accomplishments with percentages, dollar values, volumes, time saved, or risk reduced.");
    size_t verbsUsed = 0;
    for (const auto& verb : re.verbs) verbsUsed += found(verb, lower) ? 1 : 0;
    rule(verbsUsed >= 5, 7, "Strong action-oriented language detected.",
         "Start more bullets with strong action verbs such as led, implemented, improved, automated, or delivered.");
    size_t wordCount = countMatches(re.word, cleaned);
    rule(wordCount >= 250 && wordCount <= 1100, 5, "Resume length is within a typical ATS-friendly range.",
         wordCount > 1100
             ? "The resume is long; prioritize the most relevant 10–15 years and remove repetitive details."
             : "The resume may be too brief; add outcome-focused detail to recent roles.");

    if (found(re.decorative, cleaned))
        tips.emplace_back("Heavy decorative symbols can reduce ATS parsing quality; prefer simple bullets and headings.");
    if (text::contains(lower, "references available upon request"))
        tips.emplace_back("Remove “References available upon request”; use the space for role-relevant accomplishments.");

    return {{"score", std::min(score, 100)},
            {"grade", gradeFor(score)},
            {"wordCount", wordCount},
            {"strengths", strengths},
            {"tips", tips},
            {"keywords", keywordsWithoutName(cleaned, 18)},
            {"privacy", kPrivacy}};
}

std::vector<std::string> ResumeService::extractKeywords(const std::string& input, std::size_t max) {
    const Patterns& re = Patterns::get();
    if (!re.keywordToken) return {};
    std::map<std::string, size_t> counts;
    for (const auto& m : re.keywordToken->allMatches(text::lower(input))) {
        const std::string& token = m.str();
        if (std::find(kStopWords.begin(), kStopWords.end(), token) != kStopWords.end() || isKeywordFiller(token))
            continue;
        ++counts[token];
    }
    std::vector<std::pair<std::string, size_t>> ranked(counts.begin(), counts.end());
    // counts is already in ascending text order, so a stable sort by count keeps that for ties.
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<std::string> out;
    for (size_t i = 0; i < ranked.size() && i < max; ++i) out.push_back(ranked[i].first);
    return out;
}

nlohmann::json ResumeService::analyzeFile(const std::string& path, bool useLocalAi, const std::string& language) const {
    std::string resumeText = extractText(path);
    nlohmann::json report = analyze(resumeText);
    std::string fileName = std::filesystem::path(path).filename().string();

    nlohmann::json result = {{"analysis", report}, {"aiFeedback", nullptr}, {"aiStatus", "not_requested"},
                             {"fileName", fileName}};
    if (useLocalAi) {
        std::string excerpt = resumeText;
        if (text::characterCount(resumeText) > 14000) excerpt = text::prefixCharacters(resumeText, 14000) + "\n[truncated]";
        std::string prompt =
            "You are a professional resume reviewer. Give concise ATS-friendly feedback with the 7 highest-impact "
            "improvements. Do not invent experience. Write the feedback in " +
            languageName(language) + ". Resume:\n\n" + excerpt;
        try {
            result["aiFeedback"] = askLocalAi(prompt);
            result["aiStatus"] = "ai_used";
        } catch (const std::exception&) {
            result["aiStatus"] = "ai_unavailable";
        }
    }

    std::string encoded;
    try {
        encoded = result.dump();
    } catch (const std::exception&) {
        return result; // nothing stored; the user still gets the report
    }
    db_->saveResume(fileName, path, encoded);
    return result;
}

} // namespace velmora
