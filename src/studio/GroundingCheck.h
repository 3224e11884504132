#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace velmora {

// Decides, without asking the model, whether a model-written section says only what the user's
// own sources say. A model asked to check its own answer tends to approve it, so the decision is
// made here, by rules: every number (counts, percentages, amounts, years), every name
// (organisations, schools, products), every degree and every skill in the answer must appear in
// the source facts. Wording may change; facts may not.
class GroundingCheck {
public:
    // `language` is the output language code: outside English, capitalised nouns are ordinary
    // words, so only names that cannot be ordinary words (acronyms, mixed case) are checked.
    GroundingCheck(const std::string& sourceFacts, const std::string& jobDescription, const std::string& targetRole,
                   const std::string& language);

    // The claims of `answer` that the sources do not hold, in order of appearance, each once, at
    // most eight. Empty when the answer is grounded. `skillList` checks every entry of a
    // comma-separated list as a whole.
    std::vector<std::string> unsupportedClaims(const std::string& answer, bool skillList) const;

private:
    bool known(const std::string& lowerToken) const;

    std::unordered_set<std::string> tokens_;  // lower-cased words of the sources and their parts
    std::unordered_set<std::string> numbers_; // numbers of the sources, separators removed
    std::unordered_set<std::string> jobTerms_; // job-description keywords absent from the sources
    bool english_;
};

} // namespace velmora
