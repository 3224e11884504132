// Remote OK: one top-level array whose first element is a legal notice.
#include "core/Text.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/sources/SourceHelpers.h"

namespace velmora {

using namespace source;

namespace {

// Remote OK text sometimes arrives double-decoded; repair it before anything reads it.
std::string okText(const std::string& value) { return cleanShortText(repairMojibake(value)); }

} // namespace

int64_t JobAggregatorService::fetchRemoteOK(const std::string& query, const Progress& progress) {
    json data = getJSONAny(endpoints_.remoteOk + "/api");
    if (!data.is_array()) return 0;

    const auto terms = queryTerms(query);
    int64_t stored = 0;
    for (const auto& listing : data) {
        if (!listing.is_object() || !listing.contains("id")) continue;
        IncomingJob job;
        // An empty apply link falls back to the listing page like a missing one: both lead to the job.
        job.url = text::trim(string(listing, "apply_url"));
        if (job.url.empty()) job.url = text::trim(string(listing, "url"));
        if (job.url.empty()) continue;
        job.source = "Remote OK";
        job.title = okText(string(listing, "position", "Remote role"));
        job.company = okText(string(listing, "company", "Remote employer"));
        std::vector<std::string> tags;
        for (auto& tag : stringArray(field(listing, "tags"))) tags.push_back(okText(tag));
        std::string rawCategory = !tags.empty() ? tags.front() : classify(job.title);
        // Locations sometimes end with a dangling ", ".
        job.location = okText(string(listing, "location", "Remote"));
        size_t keep = job.location.find_last_not_of(", \t\r\n");
        job.location = keep == std::string::npos ? "" : text::trim(job.location.substr(0, keep + 1));
        if (job.location.empty()) job.location = "Remote";
        job.description = cleanHtmlText(repairMojibake(string(listing, "description", "")));
        if (!looksLikeJobPosting(job.title, job.description)) continue;
        if (!containsQuery(joinForSearch({job.title, job.company, text::join(tags, " "), job.description}), terms))
            continue;
        job.publishedAt = date(field(listing, "date"));
        if (!job.publishedAt) job.publishedAt = date(field(listing, "epoch"));
        if (!isFresh(job.publishedAt, now())) continue;
        const json* id = field(listing, "id");
        job.externalId = string(id ? id : field(listing, "slug"), job.url);
        job.tags = std::move(tags);
        if (store(std::move(job), rawCategory)) ++stored;
    }
    int64_t listings = data.empty() ? 0 : static_cast<int64_t>(data.size()) - 1;
    report(progress, "Searching Remote OK\u2026", stored, listings);
    return stored;
}

} // namespace velmora
