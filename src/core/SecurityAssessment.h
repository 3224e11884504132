#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace velmora {

// The trust rating of one link. A plain value: stored with each listing (score and label),
// shown as the browser badge and sent to the page as toJson().
struct SecurityAssessment {
    int score = 0;          // 0 to 85
    std::string label;      // "Quorvane Checked", "Checked", "Review", "High Risk" or "Blocked"
    bool isHttps = false;
    std::string host;       // lower-cased; empty when blocked
    std::string summary;
    std::vector<std::string> checks; // one line per check that spoke, in evaluation order

    // Exactly the six keys score, label, isHttps, host, summary, checks.
    nlohmann::json toJson() const {
        return nlohmann::json{{"score", score},     {"label", label},     {"isHttps", isHttps},
                              {"host", host},       {"summary", summary}, {"checks", checks}};
    }
};

} // namespace velmora
