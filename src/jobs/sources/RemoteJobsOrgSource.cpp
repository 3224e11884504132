// RemoteJobs.org: paged by offset, 50 listings a page.
#include "core/Text.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/sources/SourceHelpers.h"

#include <algorithm>
#include <limits>

namespace velmora {

using namespace source;

int64_t JobAggregatorService::fetchRemoteJobsOrg(const std::string& query, const Progress& progress) {
    const std::string message = std::string("Searching ") + kRemoteJobsName + "\u2026";
    int64_t stored = 0;
    int64_t offset = 0;
    int64_t total = std::numeric_limits<int64_t>::max();
    bool totalKnown = false;

    for (int page = 1; page <= kRemoteJobsMaxPages; ++page) {
        std::string url = endpoints_.remoteJobs + "/api/v1/jobs?limit=" + std::to_string(kRemoteJobsPageSize) +
                          "&offset=" + std::to_string(offset);
        if (!query.empty()) url += "&q=" + encodeQueryValue(query);
        json data = getJSON(url);
        const json* listings = field(data, "data");
        if (!listings || !listings->is_array() || listings->empty()) break;

        for (const auto& listing : *listings) {
            if (!listing.is_object()) continue;
            IncomingJob job;
            // An empty apply link falls back to the listing page like a missing one: both lead to the job.
            job.url = text::trim(string(listing, "apply_url"));
            if (job.url.empty()) job.url = text::trim(string(listing, "url"));
            if (job.url.empty()) continue;
            job.source = kRemoteJobsName;
            job.title = cleanShortText(string(listing, "title", "Remote role"));
            const json* company = field(listing, "company");
            job.company = cleanShortText(company && company->is_object() ? string(*company, "name", "Remote employer")
                                                                         : string(company, "Remote employer"));
            std::string rawCategory;
            if (const json* category = field(listing, "category"); category && category->is_object()) {
                const json* name = field(*category, "name");
                rawCategory = string(name ? name : field(*category, "slug"), "");
            } else if (category && category->is_string()) {
                rawCategory = category->get<std::string>();
            }
            rawCategory = cleanShortText(rawCategory);
            if (rawCategory.empty()) rawCategory = classify(job.title);
            job.location = cleanShortText(string(listing, "location", "Remote"));
            if (job.location.empty()) job.location = "Remote";
            job.description = cleanHtmlText(string(listing, "description", ""));
            job.publishedAt = date(field(listing, "posted_at"));
            if (!isFresh(job.publishedAt, now())) continue;
            job.externalId = string(listing, "id", job.url);
            std::string type = cleanShortText(string(listing, "type", ""));
            std::string salary = cleanShortText(string(listing, "salary_text", ""));
            for (auto* tag : {&rawCategory, &type, &salary})
                if (!tag->empty()) job.tags.push_back(*tag);
            if (store(std::move(job), rawCategory)) ++stored;
        }

        const json* pagination = field(data, "pagination");
        int64_t pageTotal = pagination ? integer(field(*pagination, "total"), -1) : -1;
        if (pageTotal >= 0) {
            total = pageTotal;
            totalKnown = true;
        }
        offset += static_cast<int64_t>(listings->size());
        report(progress, message, std::min(total, offset), totalKnown ? total : 0);
        if (listings->size() < static_cast<size_t>(kRemoteJobsPageSize)) break;
        if (offset >= total || stored >= kRemoteJobsMaxStored || page == kRemoteJobsMaxPages) break;
        sleeper_->sleepFor(kRemoteJobsWait);
    }
    return stored;
}

} // namespace velmora
