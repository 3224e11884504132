#pragma once

#include "core/Clock.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// One listing as a job source adapter hands it over for storage: texts already cleaned,
// category already decided. The link (`url`) is what identifies a listing across sources.
struct IncomingJob {
    std::string externalId;
    std::string source;
    std::string title;
    std::string company;
    std::string category;
    std::string location;
    std::string description;
    std::string url;
    std::optional<TimePoint> publishedAt;
    std::vector<std::string> tags; // stored joined with ", " (empty entries left out)
};

} // namespace velmora
