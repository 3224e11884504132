#pragma once

#include "profile/ApplicationProfileService.h"
#include "storage/DatabaseService.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace velmora {

// Scores each stored listing against the user's skills (the Application Profile's skills and
// the keywords of the last analysed resume) with the keyword matching of the ATS estimate:
// the share of the listing's own keywords that the user has. Scores are stored with the
// listings so the list can sort by them; they are recomputed only for listings that are new
// or changed, or for all when the user's skills change.
class JobMatcher {
public:
    // Keywords taken from a listing; the ATS estimate takes more from a full description,
    // but a listing's top twenty already say what it is about.
    static constexpr size_t kListingKeywords = 20;

    JobMatcher(std::shared_ptr<DatabaseService> db, std::shared_ptr<ApplicationProfileService> profiles);

    // The user's keywords, lower-case. Empty when there is no profile or resume.
    std::set<std::string> userSkills() const;

    // Brings stored scores up to date, at most `maxListings` of them (0: all). Returns how
    // many were scored. A refresh already running elsewhere is not waited for: the caller
    // then gets the scores as they stand (0 is returned).
    size_t refresh(size_t maxListings = 0);

    // The listing's keywords (from `input.keywords` when already extracted) and its score.
    static DatabaseService::MatchResult score(const DatabaseService::MatchInput& input,
                                              const std::set<std::string>& skills);

private:
    std::shared_ptr<DatabaseService> db_;
    std::shared_ptr<ApplicationProfileService> profiles_;
    std::mutex refreshing_;
};

} // namespace velmora
