#include "studio/GroundingCheck.h"

#include "core/Text.h"
#include "studio/ResumeStudioService.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace velmora {

namespace {

const text::Regex& wordPattern() {
    static const text::Regex regex("[\\p{L}\\p{N}][\\p{L}\\p{N}+#.'’&/-]*");
    return regex;
}

const text::Regex& numberPattern() {
    static const text::Regex regex("[$€£¥]?\\d+(?:[.,]\\d+)*(?:\\s?%)?");
    return regex;
}

std::string trimTokenEnd(std::string token) {
    while (!token.empty() && std::string(".'’&/-").find(token.back()) != std::string::npos) token.pop_back();
    return token;
}

// "1,200", "1.200" and "1200" are one number; the currency sign and "%" travel with the claim,
// not with the number.
std::string numberKey(const std::string& match) {
    std::string key;
    for (char c : match)
        if (c >= '0' && c <= '9') key += c;
    return key;
}

struct Letters {
    int upper = 0;
    bool innerUpper = false;
    bool digit = false;
    bool firstUpper = false;
};

Letters lettersOf(const std::string& token) {
    Letters l;
    int32_t i = 0, index = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(token.data());
    while (i < static_cast<int32_t>(token.size())) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, static_cast<int32_t>(token.size()), c);
        if (c < 0) continue;
        if (u_isupper(c)) {
            ++l.upper;
            if (index == 0) l.firstUpper = true;
            else l.innerUpper = true;
        }
        if (u_isdigit(c)) l.digit = true;
        ++index;
    }
    return l;
}

// Words a rephrased section may capitalise without claiming anything.
bool isCommonCapital(const std::string& lower) {
    static const std::unordered_set<std::string> words = {
        "i", "present", "current", "today", "january", "february", "march", "april", "may", "june", "july",
        "august", "september", "october", "november", "december", "jan", "feb", "mar", "apr", "jun", "jul", "aug",
        "sep", "sept", "oct", "nov", "dec"};
    return words.count(lower) > 0;
}

bool isDegreeWord(const std::string& lower) {
    static const std::unordered_set<std::string> words = {
        "phd", "ph.d", "doctorate", "doctoral", "master", "master's", "masters", "mba", "bachelor", "bachelor's",
        "bachelors", "msc", "m.sc", "bsc", "b.sc", "mphil", "doktor", "máster", "maestría", "licenciatura",
        "laurea", "mestrado", "doutorado", "doctorado", "diplom"};
    return words.count(lower) > 0;
}

// Spelled-out counts that English resumes use for small numbers ("eight years").
void addNumberWords(const std::string& lower, std::unordered_set<std::string>& numbers) {
    static const std::vector<std::string> words = {"zero",  "one",    "two",   "three",  "four",  "five",  "six",
                                                   "seven", "eight",  "nine",  "ten",    "eleven", "twelve",
                                                   "thirteen", "fourteen", "fifteen", "sixteen", "seventeen",
                                                   "eighteen", "nineteen", "twenty"};
    for (size_t n = 0; n < words.size(); ++n)
        if (lower == words[n]) numbers.insert(std::to_string(n));
}

} // namespace

GroundingCheck::GroundingCheck(const std::string& sourceFacts, const std::string& jobDescription,
                               const std::string& targetRole, const std::string& language)
    : english_(ResumeStudioService::normalizeLanguage(language) == "en") {
    for (const std::string* source : {&sourceFacts, &targetRole}) {
        for (const text::RegexMatch& match : wordPattern().allMatches(*source)) {
            std::string token = text::lower(trimTokenEnd(match.str()));
            tokens_.insert(token);
            addNumberWords(token, numbers_);
            // "Terraform-managed" names Terraform; "CI/CD" names CI and CD.
            for (char separator : {'-', '/', '.'})
                for (const std::string& part : text::split(token, separator, false)) tokens_.insert(trimTokenEnd(part));
        }
        for (const text::RegexMatch& match : numberPattern().allMatches(*source)) numbers_.insert(numberKey(match.str()));
    }
    for (const std::string& keyword : ResumeStudioService::extractKeywords(jobDescription, 60))
        if (!known(keyword)) jobTerms_.insert(keyword);
}

bool GroundingCheck::known(const std::string& lowerToken) const { return tokens_.count(lowerToken) > 0; }

std::vector<std::string> GroundingCheck::unsupportedClaims(const std::string& answer, bool skillList) const {
    std::vector<std::string> claims;
    auto claim = [&claims](const std::string& value) {
        std::string trimmed = text::trim(value);
        if (!trimmed.empty() && claims.size() < 8 && std::find(claims.begin(), claims.end(), trimmed) == claims.end())
            claims.push_back(trimmed);
    };

    for (const text::RegexMatch& match : numberPattern().allMatches(answer))
        if (!numbers_.count(numberKey(match.str()))) claim(match.str());

    // A capitalised word opening a sentence or a bullet is usually a verb ("Led", "Built"); only
    // a word that cannot be ordinary (acronym, mixed case) is a name there.
    size_t previousEnd = 0;
    std::string pendingName;
    size_t pendingEnd = 0;
    auto flushName = [&] {
        if (!pendingName.empty()) claim(pendingName);
        pendingName.clear();
    };
    for (const text::RegexMatch& match : wordPattern().allMatches(answer)) {
        std::string token = trimTokenEnd(match.str());
        std::string lower = text::lower(token);
        std::string between = text::trim(std::string_view(answer).substr(previousEnd, match.begin - previousEnd));
        bool sentenceStart = previousEnd == 0 || answer.find('\n', previousEnd) < match.begin ||
                             (!between.empty() && std::string(".!?:•*-–—;(").find(between.back()) != std::string::npos);
        // The trimmed end: a full stop after "MIT." still opens the next sentence.
        previousEnd = match.begin + token.size();
        if (lower.empty() || known(lower) || numberKey(lower) == lower) {
            flushName();
            continue;
        }
        Letters letters = lettersOf(token);
        bool strongName = letters.upper >= 2 || letters.innerUpper || (letters.digit && letters.firstUpper);
        bool name = letters.firstUpper && !isCommonCapital(lower) &&
                    (strongName || (english_ && !sentenceStart));
        if (name) {
            // Adjacent unknown names are one claim: "Quantum Computing", "Stanford University".
            if (!pendingName.empty() && between.empty() && match.begin == pendingEnd + 1)
                pendingName += " " + token;
            else {
                flushName();
                pendingName = token;
            }
            pendingEnd = match.begin + token.size();
            continue;
        }
        flushName();
        if (isDegreeWord(lower) || jobTerms_.count(lower)) claim(token);
    }
    flushName();

    if (skillList) {
        for (const std::string& skill : ResumeStudioService::splitSkills(answer)) {
            bool grounded = true;
            for (const text::RegexMatch& match : wordPattern().allMatches(skill))
                if (!known(text::lower(trimTokenEnd(match.str())))) grounded = false;
            if (!grounded) claim(skill);
        }
    }
    return claims;
}

} // namespace velmora
