#include "support/JobBoardFixtureServer.h"

#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <filesystem>

namespace velmora::testing {

using nlohmann::json;
using namespace std::chrono_literals;

struct JobBoardFixtureServer::Impl {
    LoopbackServer server{"job board fixture server"};
    std::atomic<bool> stopping{false}; // ends waits and floods at once when the test is over
};

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
    return s;
}

// The file in tests/fixtures/jobboards with {{BASE}} replaced by `base`; empty when there is none.
std::string fixture(const std::string& name, const std::string& base) {
    auto path = std::filesystem::path(VELMORA_FIXTURES_DIR) / "jobboards" / name;
    return std::filesystem::exists(path) ? replaceAll(readFile(path), "{{BASE}}", base) : "";
}

// The parameter as a number; `fallback` when it is missing or not a number.
int64_t param(const JobBoardFixtureServer::Request& r, const std::string& key, int64_t fallback) {
    auto it = r.params.find(key);
    if (it != r.params.end()) std::from_chars(it->second.data(), it->second.data() + it->second.size(), fallback);
    return fallback;
}

std::string utc(int64_t unixSeconds, const char* format) {
    const std::time_t t = unixSeconds;
    std::tm tm{};
    char buf[64];
    return std::string(buf, std::strftime(buf, sizeof buf, format, gmtime_r(&t, &tm)));
}

// The hand-written answers in tests/fixtures/jobboards. A page parameter fills in "#"; once
// the pages run out the service answers `whenAbsent`, or 404 when that is null.
struct Route { const char *service, *path, *file, *pageParam; int64_t firstPage; const char* whenAbsent; };
const Route kRoutes[] = {
    {"himalayas", "/jobs/api", "himalayas-browse-offset-#.json", "offset", 0, R"({"jobs": [], "totalCount": 6})"},
    {"himalayas", "/jobs/api/search", "himalayas-search-page-#.json", "page", 1, R"({"jobs": []})"},
    {"jobicy", "/api/v2/remote-jobs", "jobicy.json", nullptr, 0, ""},
    {"arbeitnow", "/api/job-board-api", "arbeitnow-page-#.json", "page", 1, nullptr},
    {"arbeitnowUk", "/api/job-board-api", "arbeitnow-uk-page-#.json", "page", 1, nullptr},
    {"weWorkRemotely", "/remote-jobs.rss", "wwr.rss", nullptr, 0, ""},
    {"remotive", "/api/remote-jobs", "remotive.json", nullptr, 0, ""},
    {"remoteOk", "/api", "remoteok.json", nullptr, 0, ""},
    {"remoteJobs", "/api/v1/jobs", "remotejobs-offset-#.json", "offset", 0,
     R"({"data": [], "pagination": {"total": 3, "limit": 50, "offset": 3, "has_more": false}})"},
};

const char* kRoles[] = {"Backend Engineer", "Customer Success Manager", "Data Analyst",     "Product Designer",
                        "Marketing Lead",   "Account Executive",        "Technical Writer", "DevOps Engineer"};

// About 1 KB of the HTML the boards send, with entities and the words the placeholder
// filter looks for; or a short line for tests that only count.
std::string description(int64_t i, bool full) {
    const std::string n = std::to_string(i);
    if (!full) return "<p>Listing " + n + ": we are looking for experience with remote teams &amp; clear writing.</p>";
    // The benchmarks' figures depend on this length: keep it when changing the words.
    std::string d = "<p><strong>About us</strong>: Company " + n + " builds tools for remote teams &amp; their customers.</p><ul>";
    for (char k = '0'; k < '8'; ++k)
        d += "<li>Responsibility " + std::string(1, k) +
             ": own a part of the product with care, experience shipping software&nbsp;required.</li>";
    return d + "</ul><p>Benefits: salary band published, four-day week, learning budget &#8211; apply today.</p>";
}

} // namespace

const std::vector<std::string>& JobBoardFixtureServer::services() {
    static const std::vector<std::string> all = {"himalayas",      "jobicy",   "arbeitnow", "arbeitnowUk",
                                                 "weWorkRemotely", "remotive", "remoteOk",  "remoteJobs"};
    return all;
}

JobBoardFixtureServer::JobBoardFixtureServer() : impl_(std::make_unique<Impl>()) {
    auto& http = impl_->server.http;
    http.set_keep_alive_max_count(1000);
    http.Get(R"(/(\w+)(/.*))", [this](const httplib::Request& req, httplib::Response& res) {
        Request request{req.matches[1], req.matches[2], {}, req.get_header_value("User-Agent")};
        for (const auto& [k, v] : req.params) request.params[k] = v;
        std::unique_lock lock(mutex_);
        log_.push_back(request);
        const auto it = handlers_.find(request.service);
        const Handler handler = it == handlers_.end() ? nullptr : it->second;
        lock.unlock();
        Reply reply = handler ? handler(request) : fixtureReply(request);
        for (auto slept = 0ms; slept < reply.delay && !impl_->stopping; slept += 20ms)
            std::this_thread::sleep_for(20ms);
        res.status = reply.status;
        if (!reply.location.empty()) res.set_header("Location", reply.location);
        if (reply.streamBytes > 0) {
            static const std::string chunk(64 * 1024, ' ');
            res.set_content_provider(reply.streamBytes, reply.contentType,
                                     [total = reply.streamBytes, this](size_t at, size_t n, httplib::DataSink& sink) {
                                         n = std::min({n, chunk.size(), size_t(total - at)});
                                         return !impl_->stopping && sink.write(chunk.data(), n);
                                     });
        } else if (reply.closeMidBody) {
            // Half the announced body, then hang up.
            res.set_content_provider(reply.body.size(), reply.contentType,
                                     [body = reply.body](size_t at, size_t, httplib::DataSink& sink) {
                                         return at == 0 && sink.write(body.data(), body.size() / 2);
                                     });
        } else {
            res.set_content(reply.body, reply.contentType.c_str());
        }
    });
    impl_->server.start();
}

JobBoardFixtureServer::~JobBoardFixtureServer() {
    impl_->stopping = true;
    impl_->server.stop();
}

std::string JobBoardFixtureServer::baseFor(const std::string& s) const { return impl_->server.base() + "/" + s; }

std::string JobBoardFixtureServer::endpointsJson() const {
    json doc = json::object();
    for (const auto& s : services()) doc[s] = baseFor(s);
    return doc.dump(2);
}

void JobBoardFixtureServer::setReply(const std::string& service, Reply reply) {
    std::lock_guard lock(mutex_);
    handlers_[service] = [reply](const Request&) { return reply; };
}

void JobBoardFixtureServer::generate(const std::string& service, int64_t count, bool full) {
    std::lock_guard lock(mutex_);
    handlers_[service] = [this, count, full](const Request& r) { return generatedReply(r, count, full); };
}

std::vector<JobBoardFixtureServer::Request> JobBoardFixtureServer::requests(const std::string& service) const {
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out), [&](auto& r) { return r.service == service; });
    return service.empty() ? log_ : out;
}

JobBoardFixtureServer::Reply JobBoardFixtureServer::fixtureReply(const Request& r) {
    // Jobicy refuses unknown parameters and tags outside 3 to 50 characters.
    const size_t tag = r.params.count("tag") ? r.params.at("tag").size() : 3;
    if (r.service == "jobicy" && (r.params.size() > r.params.count("count") + r.params.count("tag") || tag - 3 > 47))
        return Reply{400, R"({"error":"Unknown parameter, or a tag not of 3 to 50 characters"})"};
    for (const auto& route : kRoutes) {
        if (r.service != route.service || r.path != route.path) continue;
        const std::string page = route.pageParam ? std::to_string(param(r, route.pageParam, route.firstPage)) : "";
        Reply reply{200, fixture(replaceAll(route.file, "#", page), baseFor(r.service))};
        if (reply.body.empty() && !route.whenAbsent) break;
        if (reply.body.empty()) reply.body = route.whenAbsent;
        if (r.service == "weWorkRemotely") reply.contentType = "application/rss+xml; charset=utf-8";
        return reply;
    }
    return Reply{404, R"({"message":"Not Found"})"};
}

JobBoardFixtureServer::Reply JobBoardFixtureServer::generatedReply(const Request& r, int64_t count, bool full) {
    const std::string& s = r.service;
    const int64_t published = generatedPublished_;
    const std::string iso = utc(published, "%Y-%m-%dT%H:%M:%S");
    // The page [from, end) as each board pages: by offset, page number or not at all; pages
    // never end when `count` is negative.
    int64_t from = 0, size = count;
    if (s == "himalayas")
        from = r.path == "/jobs/api/search" ? (param(r, "page", 1) - 1) * 20 : param(r, "offset", 0), size = 20;
    else if (s == "remoteJobs") from = param(r, "offset", 0), size = 50;
    else if (s == "arbeitnow" || s == "arbeitnowUk")
        from = (param(r, "page", 1) - 1) * arbeitnowPageSize_, size = arbeitnowPageSize_;
    const int64_t end = count < 0 ? from + size : std::max(from, std::min(count, from + size));
    json items = json::array();
    for (int64_t i = from; i < end; ++i) {
        const std::string n = std::to_string(i), company = "Company " + n, role = kRoles[i % 8];
        const std::string text = description(i, full);
        auto url = [&](const std::string& host) { return "https://" + host + "/jobs/" + s + "-" + n; };
        json& j = items.emplace_back();
        // clang-format off
        if (s == "himalayas")
            j = {{"title", role}, {"excerpt", "Short excerpt."}, {"companyName", company}, {"description", text},
                 {"locationRestrictions", json::array({"Germany", "Spain"})}, {"pubDate", published},
                 {"categories", json::array({"Software-Engineer"})}, {"parentCategories", json::array()},
                 {"applicationLink", url("himalayas.app")}, {"guid", url("himalayas.app")}};
        else if (s == "jobicy")
            j = {{"id", 100000 + i}, {"url", url("jobicy.com")}, {"jobTitle", role}, {"jobDescription", text},
                 {"companyName", "Company &amp; " + n}, {"jobIndustry", json::array({"Software Engineering"})},
                 {"jobType", json::array({"Full-Time"})}, {"jobGeo", "Anywhere"}, {"pubDate", iso + "+00:00"}};
        else if (s == "remotive")
            j = {{"id", 200000 + i}, {"url", url("remotive.com")}, {"title", role}, {"company_name", company},
                 {"category", "Software Development"}, {"job_type", "full_time"}, {"salary", ""}, {"description", text},
                 {"publication_date", iso}, {"candidate_required_location", "Worldwide"}};
        else if (s == "arbeitnow" || s == "arbeitnowUk")
            j = {{"slug", s + "-" + n}, {"company_name", "Firma " + n}, {"title", role}, {"description", text},
                 {"remote", true}, {"location", "Berlin"}, {"created_at", published},
                 {"url", url(s == "arbeitnow" ? "www.arbeitnow.com" : "www.arbeitnow.co.uk")},
                 {"tags", json::array({"Software Development"})}, {"job_types", json::array({"full time"})}};
        else if (s == "weWorkRemotely")
            j = "<item><title>" + company + ": " + role + "</title><region>Anywhere in the World</region>"
                "<category>Back-End Programming</category><description>" +
                replaceAll(replaceAll(replaceAll(text, "&", "&amp;"), "<", "&lt;"), ">", "&gt;") +
                "</description><pubDate>" + utc(published, "%a, %d %b %Y %H:%M:%S +0000") + "</pubDate><link>" +
                url("weworkremotely.com") + "</link></item>\n";
        else if (s == "remoteOk")
            j = {{"slug", "remote-" + n}, {"id", std::to_string(300000 + i)}, {"epoch", published}, {"position", role},
                 {"date", iso + "+00:00"}, {"company", company}, {"tags", json::array({"dev", "backend"})},
                 {"description", text}, {"location", "Worldwide"}, {"apply_url", url("remoteOK.com")},
                 {"url", url("remoteOK.com")}};
        else
            j = {{"id", "uuid-" + n}, {"title", role}, {"company", {{"name", company}}}, {"type", "full-time"},
                 {"category", {{"name", "Engineering"}, {"slug", "engineering"}}}, {"location", "Worldwide"},
                 {"description", text}, {"url", url("remotejobs.org")}, {"apply_url", nullptr},
                 {"posted_at", iso + "Z"}};
        // clang-format on
    }

    json doc = {{"jobs", items}, {"job-count", count}};
    if (s == "himalayas")
        doc = {{"jobs", items}, {"offset", from}, {"limit", 20}, {"totalCount", count < 0 ? 1000000 : count}};
    else if (s == "remoteJobs")
        doc = {{"data", items}, {"pagination", {{"total", count}, {"limit", 50}, {"offset", from}}}};
    else if (s == "remoteOk")
        (doc = items).insert(doc.begin(), json{{"last_updated", published}, {"legal", "API Terms of Service"}});
    else if (s == "arbeitnow" || s == "arbeitnowUk") {
        const std::string next = baseFor(s) + "/api/job-board-api?page=" + std::to_string(param(r, "page", 1) + 1);
        doc = {{"data", items}, {"links", {{"next", count < 0 || end < count ? json(next) : json(nullptr)}}}};
    } else if (s == "weWorkRemotely") {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>\n";
        for (const auto& item : items) xml += item.get<std::string>();
        return Reply{200, xml + "</channel></rss>\n", "application/rss+xml"};
    }
    return Reply{200, doc.dump()};
}

} // namespace velmora::testing
