// Remotive: one page, searched on the service and again locally.
#include "core/Text.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/sources/SourceHelpers.h"

namespace velmora {

using namespace source;

int64_t JobAggregatorService::fetchRemotive(const std::string& query, const Progress& progress) {
    std::string url = endpoints_.remotive + "/api/remote-jobs";
    if (!query.empty()) url += "?search=" + encodeQueryValue(query);
    json data = getJSON(url);
    const json* jobs = field(data, "jobs");
    if (!jobs || !jobs->is_array()) return 0;

    const auto terms = queryTerms(query);
    int64_t stored = 0;
    for (const auto& listing : *jobs) {
        if (!listing.is_object()) continue;
        IncomingJob job;
        job.url = text::trim(string(listing, "url"));
        if (job.url.empty()) continue;
        job.source = "Remotive";
        job.title = cleanShortText(string(listing, "title", "Remote role"));
        job.company = cleanShortText(string(listing, "company_name", "Remote employer"));
        job.description = cleanHtmlText(string(listing, "description", ""));
        std::string rawCategory = cleanShortText(string(listing, "category", classify(job.title)));
        job.location = cleanShortText(string(listing, "candidate_required_location", "Remote"));
        if (job.location.empty()) job.location = "Remote";
        std::string jobType = cleanShortText(string(listing, "job_type", ""));
        std::string salary = cleanShortText(string(listing, "salary", ""));
        if (!containsQuery(joinForSearch({job.title, job.company, job.description, rawCategory, jobType}), terms))
            continue;
        job.publishedAt = date(field(listing, "publication_date"));
        if (!isFresh(job.publishedAt, now())) continue;
        job.externalId = string(listing, "id", job.url);
        std::string category = normalizeCategory(rawCategory);
        for (auto* tag : {&category, &jobType, &salary})
            if (!tag->empty()) job.tags.push_back(*tag);
        if (store(std::move(job), rawCategory)) ++stored;
    }
    report(progress, "Searching Remotive\u2026", stored, static_cast<int64_t>(jobs->size()));
    return stored;
}

} // namespace velmora
