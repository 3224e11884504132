#include "resume/KeywordNoise.h"

#include <unordered_set>

namespace velmora {

bool isKeywordFiller(const std::string& lowerWord) {
    static const std::unordered_set<std::string> words = {
        "ability", "able", "across", "added", "additional", "advantage", "apply", "applicants", "asap", "based",
        "benefits", "best", "bonus", "bring", "build", "building", "candidate", "candidates", "closely",
        "collaborate", "collaborative", "comfortable", "communication", "competitive", "culture", "day",
        "daily", "deep", "degree", "desire", "desired", "dynamic", "each", "eager", "ensure", "environment",
        "equal", "etc", "every", "excellent", "excited", "exciting", "expert", "experienced", "familiar",
        "familiarity", "fast", "fast-paced", "flexible", "full", "full-time", "fun", "good", "great", "grow",
        "growing", "growth", "hands-on", "help", "helping", "high", "highly", "hire", "hiring", "ideal",
        "ideally", "including", "join", "just", "knowledge", "least", "like", "looking", "love", "make", "many",
        "mission", "more", "most", "must", "need", "needed", "needs", "new", "nice", "offer", "offers", "one",
        "opportunity", "own", "part", "passion", "passionate", "people", "perks", "plus", "position", "power",
        "proficiency", "proficient", "proven", "really", "responsibilities", "responsible", "salary", "seeking",
        "self-starter", "should", "solid", "some", "someone", "strong", "such", "team", "teams", "them", "then",
        "there", "these", "through", "time", "understanding", "using", "very", "want", "well", "what", "when",
        "where", "which", "while", "within", "world", "would", "year", "yourself", "we're", "you'll", "you're",
        "there's", "day-to-day", "now", "various", "years'", "minimum", "bachelor's", "related", "field", "equivalent"};
    return words.count(lowerWord) > 0;
}

} // namespace velmora
