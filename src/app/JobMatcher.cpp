#include "app/JobMatcher.h"

#include "core/Log.h"
#include "core/Text.h"
#include "studio/ResumeStudioService.h"

#include <cmath>
#include <functional>
#include <sstream>

namespace velmora {

namespace {

constexpr size_t kBatch = 500; // listings per transaction of stored scores

std::vector<std::string> words(const std::string& joined) {
    std::vector<std::string> out;
    std::istringstream in(joined);
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

} // namespace

JobMatcher::JobMatcher(std::shared_ptr<DatabaseService> db, std::shared_ptr<ApplicationProfileService> profiles)
    : db_(std::move(db)), profiles_(std::move(profiles)) {}

std::set<std::string> JobMatcher::userSkills() const {
    std::string source = profiles_ ? profiles_->get().skills : "";
    for (const auto& keyword : db_->latestResumeKeywords()) source += " " + keyword;
    // Skills are written as lists ("Go, Rust; SQL"); the tokenizer of the ATS estimate reads
    // them the way it reads a listing, so both sides agree on what a keyword is.
    const auto keywords = ResumeStudioService::extractKeywords(source, 1000);
    return {keywords.begin(), keywords.end()};
}

DatabaseService::MatchResult JobMatcher::score(const DatabaseService::MatchInput& input,
                                               const std::set<std::string>& skills) {
    DatabaseService::MatchResult result;
    result.id = input.id;
    std::vector<std::string> keywords;
    if (input.keywords) {
        keywords = words(*input.keywords);
    } else {
        // The title counts twice: it names the job, the description mostly the employer.
        keywords = ResumeStudioService::extractKeywords(
            input.title + " " + input.title + " " + input.tags + " " + input.description, kListingKeywords);
    }
    result.keywords = text::join(keywords, " ");
    size_t matched = 0;
    for (const auto& keyword : keywords)
        if (skills.count(keyword)) ++matched;
    if (!keywords.empty())
        result.score = static_cast<int>(
            std::lround(static_cast<double>(matched) * 100.0 / static_cast<double>(keywords.size())));
    return result;
}

size_t JobMatcher::refresh(size_t maxListings) {
    std::unique_lock lock(refreshing_, std::try_to_lock);
    if (!lock.owns_lock()) return 0;
    try {
        const auto skills = userSkills();
        // Only a fingerprint is kept, so the settings table never holds the skills themselves.
        std::ostringstream basis;
        basis << std::hex << std::hash<std::string>{}(text::join({skills.begin(), skills.end()}, " ")) << "."
              << skills.size();
        db_->resetMatchesIfBasisChanged(basis.str());

        size_t scored = 0;
        while (maxListings == 0 || scored < maxListings) {
            size_t want = kBatch;
            if (maxListings) want = std::min(want, maxListings - scored);
            const auto stale = db_->staleMatches(static_cast<int64_t>(want));
            if (stale.empty()) break;
            std::vector<DatabaseService::MatchResult> results;
            results.reserve(stale.size());
            for (const auto& input : stale) results.push_back(score(input, skills));
            db_->storeMatches(results);
            scored += results.size();
            if (stale.size() < want) break;
        }
        return scored;
    } catch (const std::exception& e) {
        // Without fresh scores the list still works; it sorts by what is stored.
        logLine("Velmora job match error: " + std::string(e.what()));
        return 0;
    }
}

} // namespace velmora
