// ATS estimate: keyword coverage of the job description plus the presence of the core sections.

#include "studio/ResumeStudioService.h"

#include "core/Text.h"
#include "resume/KeywordNoise.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

namespace velmora {

namespace {

const std::set<std::string>& stopWords() {
    static const std::set<std::string> words = {
        "about", "after", "also",  "and",   "are",     "been",    "being",    "company",    "from",     "have",
        "into",  "job",   "other", "remote", "role",   "that",    "their",    "they",       "this",     "will",
        "with",  "work",  "working", "years", "your",  "you",     "the",      "for",        "our",      "who",
        "but",   "not",   "all",   "can",   "skills",  "experience", "required", "preferred"};
    return words;
}

std::string trimDotsAndHyphens(const std::string& word) {
    size_t begin = word.find_first_not_of(".-");
    if (begin == std::string::npos) return "";
    size_t end = word.find_last_not_of(".-");
    return word.substr(begin, end - begin + 1);
}

} // namespace

std::vector<std::string> ResumeStudioService::extractKeywords(const std::string& text, size_t max) {
    static const text::Regex token("\\b[a-z][a-z0-9+#.-]{2,}\\b");
    std::unordered_map<std::string, size_t> counts;
    for (const text::RegexMatch& match : token.allMatches(text::lower(text))) {
        // Matches are ASCII by construction, so trimming and measuring by bytes is exact here.
        std::string word = trimDotsAndHyphens(match.str());
        if (word.size() < 3 || stopWords().count(word) || isKeywordFiller(word)) continue;
        ++counts[word];
    }
    std::vector<std::pair<std::string, size_t>> ranked(counts.begin(), counts.end());
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        if (a.first.size() != b.first.size()) return a.first.size() > b.first.size();
        return a.first < b.first;
    });
    std::vector<std::string> result;
    for (size_t i = 0; i < ranked.size() && i < max; ++i) result.push_back(ranked[i].first);
    return result;
}

void ResumeStudioService::recalculateAts(ResumeDocument& document) {
    std::vector<std::string> keywords = extractKeywords(document.jobDescription, 30);
    std::string resumeText = text::lower(text::join({document.summary, document.skills, document.experience,
                                                     document.education, document.certifications, document.projects},
                                                    " "));
    std::vector<std::string> matched;
    std::vector<std::string> missing;
    for (const std::string& keyword : keywords) {
        if (containsWholeWord(resumeText, keyword))
            matched.push_back(keyword);
        else if (missing.size() < 15)
            missing.push_back(keyword);
    }

    double keywordPart = 52.5;
    if (!keywords.empty()) {
        double coverage = std::round(static_cast<double>(matched.size()) * 100.0 / static_cast<double>(keywords.size()));
        keywordPart = coverage * 0.75;
    }
    int filled = 0;
    for (const std::string* section : {&document.summary, &document.skills, &document.experience, &document.education})
        if (!text::isBlank(*section)) ++filled;
    double score = std::round(keywordPart + filled * 0.25 * 25.0);

    document.matchedKeywords = std::move(matched);
    document.missingKeywords = std::move(missing);
    document.atsScore = static_cast<int>(std::clamp(score, 0.0, 100.0));
}

} // namespace velmora
