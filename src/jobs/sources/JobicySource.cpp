// Jobicy: one page of up to 100 listings, searched by tag on the service.
#include "core/Text.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/sources/SourceHelpers.h"

namespace velmora {

using namespace source;

int64_t JobAggregatorService::fetchJobicy(const std::string& query, const Progress& progress) {
    // The service answers HTTP 400 to a tag outside 3..50 bytes, which would fail the source
    // on every sync; such a query is applied locally instead.
    const bool tagFits = query.size() >= 3 && query.size() <= 50;
    std::string url = endpoints_.jobicy + "/api/v2/remote-jobs?count=100";
    if (!query.empty() && tagFits) url += "&tag=" + encodeQueryValue(query);
    const auto localTerms = !query.empty() && !tagFits ? queryTerms(query) : std::vector<std::string>{};

    json data = getJSON(url);
    const json* jobs = field(data, "jobs");
    if (!jobs || !jobs->is_array()) return 0;

    int64_t stored = 0;
    for (const auto& listing : *jobs) {
        if (!listing.is_object()) continue;
        IncomingJob job;
        job.url = text::trim(string(listing, "url"));
        if (job.url.empty()) continue;
        job.source = "Jobicy";
        job.title = cleanShortText(string(listing, "jobTitle", "Remote role"));
        job.company = cleanShortText(string(listing, "companyName", "Unknown company"));
        auto industries = stringArray(field(listing, "jobIndustry"));
        auto types = stringArray(field(listing, "jobType"));
        std::string rawCategory = !industries.empty() ? industries.front() : classify(job.title);
        job.location = cleanShortText(string(listing, "jobGeo", "Remote"));
        const json* description = field(listing, "jobDescription");
        job.description = cleanHtmlText(string(description ? description : field(listing, "jobExcerpt"), ""));
        if (!containsQuery(joinForSearch({job.title, job.company, job.description}), localTerms)) continue;
        job.externalId = string(listing, "id", job.url);
        job.publishedAt = date(field(listing, "pubDate"));
        std::vector<std::string> tags;
        for (auto* list : {&industries, &types})
            for (auto& tag : *list) tags.push_back(cleanShortText(tag));
        job.tags = distinct(std::move(tags));
        if (store(std::move(job), rawCategory)) ++stored;
    }
    report(progress, "Searching Jobicy\u2026", stored, static_cast<int64_t>(jobs->size()));
    return stored;
}

} // namespace velmora
