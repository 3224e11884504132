#pragma once

#include "core/SecurityAssessment.h"

#include <set>
#include <string>
#include <vector>

namespace velmora {

// Rates how far a job link can be trusted, from the link's text alone (no network).
// Immutable after construction, so one instance is shared by the sync and the UI thread.
class SecurityService {
public:
    SecurityService();

    // Never throws: anything that is not an http(s) URL with a host gets the "Blocked" rating.
    // `source` is the display name of the job source that listed the link, or empty.
    SecurityAssessment assess(const std::string& url, const std::string& source = "") const;

    // Scores at or above this are rated "Checked" or better (the dashboard counts them).
    static constexpr int kCheckedThreshold = 70;

private:
    std::set<std::string> trusted_;
    std::vector<std::string> suspicious_;
    std::set<std::string> shorteners_;
};

} // namespace velmora
