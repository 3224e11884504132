// Arbeitnow, read from its European and its United Kingdom site: follows next-page links.
#include "core/Text.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/sources/SourceHelpers.h"

namespace velmora {

using namespace source;

int64_t JobAggregatorService::fetchArbeitnow(const std::string& firstPageUrl, const std::string& displayName,
                                             const std::string& query, const Progress& progress) {
    const std::string message = "Searching " + displayName + "\u2026";
    const std::string defaultLocation = text::contains(displayName, "UK") ? "United Kingdom / Remote" : "Europe / Remote";
    const std::string homeHost = HttpClient::hostOf(firstPageUrl);
    const auto terms = queryTerms(query);

    int64_t stored = 0;
    std::string pageUrl = firstPageUrl;
    for (int page = 1; page <= kArbeitnowMaxPages; ++page) {
        json data = getJSON(pageUrl);
        const json* listings = field(data, "data");
        if (!listings || !listings->is_array() || listings->empty()) break;

        for (const auto& listing : *listings) {
            if (!listing.is_object()) continue;
            if (const json* remote = field(listing, "remote"); remote && remote->is_boolean() && !remote->get<bool>())
                continue;
            IncomingJob job;
            job.url = text::trim(string(listing, "url"));
            if (job.url.empty()) continue;
            job.source = displayName;
            job.title = cleanShortText(string(listing, "title", ""));
            job.company = cleanShortText(string(listing, "company_name", "Unknown company"));
            auto tags = stringArray(field(listing, "tags"));
            auto types = stringArray(field(listing, "job_types"));
            std::string rawCategory = !tags.empty() ? tags.front() : classify(job.title);
            job.location = cleanShortText(string(listing, "location", defaultLocation));
            if (job.location.empty()) job.location = defaultLocation;
            job.description = cleanHtmlText(string(listing, "description", ""));
            if (!containsQuery(joinForSearch({job.title, job.company, job.description}), terms)) continue;
            job.publishedAt = date(field(listing, "created_at"));
            if (!isFresh(job.publishedAt, now())) continue;
            job.externalId = string(listing, "slug", job.url);
            std::vector<std::string> all;
            for (auto* list : {&tags, &types})
                for (auto& tag : *list) all.push_back(cleanShortText(tag));
            job.tags = distinct(std::move(all));
            if (store(std::move(job), rawCategory)) ++stored;
        }
        report(progress, message, stored, 0);

        const json* links = field(data, "links");
        std::string next = links ? string(*links, "next") : "";
        if (!links || !field(*links, "next")) next = string(data, "next_page_url");
        next = text::trim(next);
        // The next address comes from the service: follow it only on the web and on the
        // host that served the first page.
        if (next.empty() || !HttpClient::isWebUrl(next) || HttpClient::hostOf(next) != homeHost) break;
        if (page == kArbeitnowMaxPages) break;
        sleeper_->sleepFor(kArbeitnowWait);
        pageUrl = next;
    }
    return stored;
}

} // namespace velmora
