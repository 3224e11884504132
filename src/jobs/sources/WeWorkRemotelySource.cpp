// We Work Remotely: one RSS document.
#include "jobs/JobSourceError.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/RSSCollector.h"
#include "jobs/sources/SourceHelpers.h"

namespace velmora {

using namespace source;

int64_t JobAggregatorService::fetchWWR(const std::string& query, const Progress& progress) {
    HttpResponse response = http_->getFeed(endpoints_.weWorkRemotely + "/remote-jobs.rss");
    if (response.status < 200 || response.status > 299) throw JobSourceError("We Work Remotely returned an error.", "http", response.status);
    auto items = RSSCollector::collect(response.body);
    if (!items) throw VelmoraError("We Work Remotely RSS could not be parsed.");

    const auto terms = queryTerms(query);
    auto value = [](const RSSCollector::Item& item, const char* key) -> std::string {
        auto it = item.find(key);
        return it == item.end() ? std::string() : it->second;
    };

    int64_t stored = 0;
    for (const auto& item : *items) {
        IncomingJob job;
        job.url = text::trim(value(item, "link"));
        if (job.url.empty()) continue;
        job.source = "We Work Remotely";
        std::string title = value(item, "title");
        std::string company = value(item, "company");
        if (company.empty()) {
            // Titles read "Company: Job title"; the job title itself may hold more colons.
            if (auto colon = title.find(':'); colon != std::string::npos) {
                company = text::trim(title.substr(0, colon));
                title = text::trim(title.substr(colon + 1));
            }
        }
        job.title = cleanShortText(title);
        if (job.title.empty()) job.title = "Remote role";
        job.company = cleanShortText(company);
        if (job.company.empty()) job.company = "Remote employer";
        std::string category = cleanShortText(value(item, "category"));
        std::string rawCategory = !category.empty() ? category : classify(job.title);
        job.location = cleanShortText(value(item, "region"));
        if (job.location.empty()) job.location = "Remote";
        job.description = cleanHtmlText(value(item, "description"));
        if (!containsQuery(joinForSearch({job.title, job.company, job.description}), terms)) continue;
        job.externalId = job.url;
        job.publishedAt = parseDate(value(item, "pubDate"));
        if (!category.empty()) job.tags = {category};
        if (store(std::move(job), rawCategory)) ++stored;
    }
    report(progress, "Searching We Work Remotely\u2026", stored, static_cast<int64_t>(items->size()));
    return stored;
}

} // namespace velmora
