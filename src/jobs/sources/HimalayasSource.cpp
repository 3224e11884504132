// Himalayas: paged by search page with a query, by offset without one.
#include "core/Text.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/sources/SourceHelpers.h"

#include <algorithm>
#include <limits>

namespace velmora {

using namespace source;

int JobAggregatorService::importHimalayas(const json& listing) {
    if (!listing.is_object()) return 0;
    IncomingJob job;
    job.url = text::trim(string(listing, "applicationLink"));
    if (job.url.empty()) return 0;
    job.source = "Himalayas";
    job.title = cleanShortText(string(listing, "title", "Remote role"));
    job.company = cleanShortText(string(listing, "companyName", "Unknown company"));

    auto categories = stringArray(field(listing, "categories"));
    auto parents = stringArray(field(listing, "parentCategories"));
    std::string rawCategory = !categories.empty() ? categories.front()
                              : !parents.empty()  ? parents.front()
                                                  : classify(job.title);

    // Documented as {alpha2, name, slug} objects; live responses send plain country names.
    std::vector<std::string> places;
    if (const json* restrictions = field(listing, "locationRestrictions"); restrictions && restrictions->is_array()) {
        for (const auto& entry : *restrictions) {
            std::string name = entry.is_object() ? string(entry, "name") : string(&entry, "");
            name = cleanShortText(name);
            if (!name.empty()) places.push_back(std::move(name));
            if (places.size() == 5) break;
        }
    }
    job.location = places.empty() ? "Worldwide / Remote" : text::join(places, ", ");

    const json* description = field(listing, "description");
    job.description = cleanHtmlText(string(description ? description : field(listing, "excerpt"), ""));
    job.externalId = string(listing, "guid", job.url);
    job.publishedAt = date(field(listing, "pubDate"));

    std::vector<std::string> tags;
    for (auto* list : {&categories, &parents})
        for (auto& tag : *list) tags.push_back(cleanShortText(tag));
    job.tags = distinct(std::move(tags));

    return store(std::move(job), rawCategory) ? 1 : 0;
}

int64_t JobAggregatorService::fetchHimalayas(const std::string& query, const Progress& progress) {
    const std::string message = "Searching Himalayas\u2026";
    int64_t stored = 0;

    if (!query.empty()) {
        for (int page = 1; page <= kHimalayasMaxSearchPages; ++page) {
            json data = getJSON(endpoints_.himalayas + "/jobs/api/search?q=" + encodeQueryValue(query) +
                                "&sort=recent&page=" + std::to_string(page));
            const json* jobs = field(data, "jobs");
            if (!jobs || !jobs->is_array() || jobs->empty()) break;
            for (const auto& listing : *jobs) stored += importHimalayas(listing);
            report(progress, message, stored, 0);
            if (jobs->size() < static_cast<size_t>(kHimalayasPageSize) || page == kHimalayasMaxSearchPages) break;
            sleeper_->sleepFor(kHimalayasWait);
        }
        return stored;
    }

    int64_t offset = 0;
    int64_t total = std::numeric_limits<int64_t>::max();
    bool totalKnown = false;
    for (int page = 1; page <= kHimalayasMaxBrowsePages; ++page) {
        json data = getJSON(endpoints_.himalayas + "/jobs/api?offset=" + std::to_string(offset) +
                            "&limit=" + std::to_string(kHimalayasPageSize));
        const json* jobs = field(data, "jobs");
        // An empty page ends paging: the offset advances by the listings seen, so it would
        // otherwise ask for the same page for ever.
        if (!jobs || !jobs->is_array() || jobs->empty()) break;
        for (const auto& listing : *jobs) stored += importHimalayas(listing);
        int64_t pageTotal = integer(field(data, "totalCount"), -1);
        if (pageTotal >= 0) {
            total = pageTotal;
            totalKnown = true;
        }
        offset += static_cast<int64_t>(jobs->size());
        report(progress, message, std::min(total, offset), totalKnown ? total : 0);
        if (offset >= total || stored >= kHimalayasMaxStored || page == kHimalayasMaxBrowsePages) break;
        sleeper_->sleepFor(kHimalayasWait);
    }
    return stored;
}

} // namespace velmora
