#include "support/JobBoardFixtureServer.h"

#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <charconv>
#include <filesystem>

namespace velmora::testing {

using nlohmann::json;

struct JobBoardFixtureServer::Impl {
    LoopbackServer server{"job board fixture server"};
    std::atomic<bool> stopping{false};
};

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size()) s.replace(pos, from.size(), to);
    return s;
}

// The parameter as a number; `fallback` when it is missing or not a number.
int64_t param(const JobBoardFixtureServer::Request& r, const std::string& key, int64_t fallback) {
    auto it = r.params.find(key);
    if (it != r.params.end()) std::from_chars(it->second.data(), it->second.data() + it->second.size(), fallback);
    return fallback;
}

std::string utc(int64_t unixSeconds, const char* format) {
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

// The hand-written answers in tests/fixtures/jobboards. A page parameter fills in "#"; once
// the pages run out the service answers `whenAbsent`, or 404 when that is null.
struct Route {
    const char *service, *path, *file, *pageParam;
    int64_t firstPage;
    const char* whenAbsent;
};
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

const char* kRoles[] = {"Backend Engineer", "Customer Success Manager", "Data Analyst", "Product Designer",
                        "Marketing Lead",   "Account Executive",        "Technical Writer", "DevOps Engineer"};

// About 1.5 KB of the HTML the boards send, with entities and the words the placeholder
// filter looks for; or a short line for tests that only count.
std::string description(int64_t i, bool full) {
    if (!full)
        return "<p>Listing " + std::to_string(i) + ": we are looking for experience with remote teams &amp; clear writing.</p>";
    std::string d = "<p><strong>About us</strong>: Company " + std::to_string(i) +
                    " builds tools for remote teams &amp; their customers.</p><ul>";
    for (int k = 0; k < 8; ++k)
        d += "<li>Responsibility " + std::to_string(k) +
             ": own a part of the product with care, experience shipping software&nbsp;required.</li>";
    return d + "</ul><p>Benefits: salary band published, four-day week, learning budget &#8211; apply today.</p>";
}

} // namespace

const std::vector<std::string>& JobBoardFixtureServer::services() {
    static const std::vector<std::string> all = {"himalayas", "jobicy",   "arbeitnow", "arbeitnowUk",
                                                 "weWorkRemotely", "remotive", "remoteOk", "remoteJobs"};
    return all;
}

JobBoardFixtureServer::JobBoardFixtureServer() : impl_(std::make_unique<Impl>()) {
    auto& http = impl_->server.http;
    http.set_keep_alive_max_count(1000);
    http.Get(R"(/(\w+)(/.*))", [this](const httplib::Request& req, httplib::Response& res) {
        Request request{req.matches[1], req.matches[2], {}, req.get_header_value("User-Agent")};
        for (const auto& [k, v] : req.params) request.params[k] = v;
        {
            std::lock_guard lock(mutex_);
            log_.push_back(request);
        }
        Reply reply = answer(request);
        for (auto waited = std::chrono::milliseconds(0); waited < reply.delay && !impl_->stopping;
             waited += std::chrono::milliseconds(20))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        res.status = reply.status;
        if (!reply.location.empty()) res.set_header("Location", reply.location);
        if (reply.streamBytes > 0) {
            const uint64_t total = reply.streamBytes;
            res.set_content_provider(total, reply.contentType,
                                     [total, this](size_t offset, size_t length, httplib::DataSink& sink) {
                                         static const std::string chunk(64 * 1024, ' ');
                                         size_t n = std::min({length, chunk.size(), static_cast<size_t>(total - offset)});
                                         return !impl_->stopping && sink.write(chunk.data(), n);
                                     });
        } else if (reply.closeMidBody) {
            res.set_content_provider(reply.body.size(), reply.contentType,
                                     [body = reply.body](size_t offset, size_t, httplib::DataSink& sink) {
                                         // Half the announced body, then hang up.
                                         return offset == 0 && sink.write(body.data(), body.size() / 2);
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

int JobBoardFixtureServer::port() const { return impl_->server.port(); }

std::string JobBoardFixtureServer::base() const { return impl_->server.base(); }

std::string JobBoardFixtureServer::baseFor(const std::string& service) const { return base() + "/" + service; }

std::string JobBoardFixtureServer::endpointsJson() const {
    json doc = json::object();
    for (const auto& s : services()) doc[s] = baseFor(s);
    return doc.dump(2);
}

void JobBoardFixtureServer::setHandler(const std::string& service, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[service] = std::move(handler);
}

void JobBoardFixtureServer::setReply(const std::string& service, Reply reply) {
    setHandler(service, [reply](const Request&) { return reply; });
}

void JobBoardFixtureServer::generate(const std::string& service, int64_t count, bool fullDescriptions) {
    setHandler(service, [this, count, fullDescriptions](const Request& r) {
        return generatedReply(r, count, fullDescriptions);
    });
}

std::vector<JobBoardFixtureServer::Request> JobBoardFixtureServer::requests(const std::string& service) const {
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    for (const auto& r : log_)
        if (service.empty() || r.service == service) out.push_back(r);
    return out;
}

void JobBoardFixtureServer::clearRequests() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

std::string JobBoardFixtureServer::fixture(const std::string& name, const std::string& service) const {
    auto path = std::filesystem::path(VELMORA_FIXTURES_DIR) / "jobboards" / name;
    if (!std::filesystem::exists(path)) return "";
    return replaceAll(readFile(path), "{{BASE}}", baseFor(service));
}

JobBoardFixtureServer::Reply JobBoardFixtureServer::answer(const Request& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        if (auto it = handlers_.find(request.service); it != handlers_.end()) handler = it->second;
    }
    return handler ? handler(request) : fixtureReply(request);
}

JobBoardFixtureServer::Reply JobBoardFixtureServer::fixtureReply(const Request& r) {
    if (r.service == "jobicy" && r.path == "/api/v2/remote-jobs") {
        for (const auto& [k, v] : r.params)
            if (k != "count" && k != "tag") return Reply{400, R"({"error":"Unknown parameter"})"};
        if (auto tag = r.params.find("tag"); tag != r.params.end() && (tag->second.size() < 3 || tag->second.size() > 50))
            return Reply{400, R"({"error":"tag must be between 3 and 50 characters"})"};
    }
    for (const auto& route : kRoutes) {
        if (r.service != route.service || r.path != route.path) continue;
        std::string file = route.file;
        if (route.pageParam) file = replaceAll(file, "#", std::to_string(param(r, route.pageParam, route.firstPage)));
        Reply reply{200, fixture(file, r.service)};
        if (reply.body.empty() && !route.whenAbsent) break;
        if (reply.body.empty()) reply.body = route.whenAbsent;
        if (r.service == "weWorkRemotely") reply.contentType = "application/rss+xml; charset=utf-8";
        return reply;
    }
    return Reply{404, R"({"message":"Not Found"})"};
}

JobBoardFixtureServer::Reply JobBoardFixtureServer::generatedReply(const Request& r, int64_t count,
                                                                   bool fullDescriptions) {
    const std::string& s = r.service;
    const int64_t published = generatedPublished_;
    const std::string iso = utc(published, "%Y-%m-%dT%H:%M:%S");
    // The listings [from, end) of a page of `size` (pages never end when `count` is negative).
    auto range = [&](int64_t from, int64_t size) {
        int64_t end = count < 0 ? from + size : std::min(count, from + size);
        return std::make_pair(from, std::max(from, end));
    };
    auto url = [&](const std::string& host, int64_t i) { return "https://" + host + "/jobs/" + s + "-" + std::to_string(i); };
    auto company = [](int64_t i) { return "Company " + std::to_string(i); };
    auto role = [](int64_t i) { return std::string(kRoles[i % 8]); };
    auto text = [&](int64_t i) { return description(i, fullDescriptions); };
    json doc;

    if (s == "himalayas") {
        int64_t from = r.path == "/jobs/api/search" ? (param(r, "page", 1) - 1) * 20 : param(r, "offset", 0);
        auto [a, b] = range(from, 20);
        json jobs = json::array();
        for (int64_t i = a; i < b; ++i)
            jobs.push_back({{"title", role(i)}, {"excerpt", "Short excerpt."}, {"companyName", company(i)},
                            {"locationRestrictions", json::array({"Germany", "Spain"})},
                            {"categories", json::array({"Software-Engineer"})}, {"parentCategories", json::array()},
                            {"description", text(i)}, {"pubDate", published},
                            {"applicationLink", url("himalayas.app", i)}, {"guid", url("himalayas.app", i)}});
        doc = {{"jobs", jobs}, {"offset", from}, {"limit", 20}, {"totalCount", count < 0 ? 1000000 : count}};
    } else if (s == "jobicy" || s == "remotive") {
        json jobs = json::array();
        for (int64_t i = 0; i < count; ++i)
            jobs.push_back(s == "jobicy"
                               ? json{{"id", 100000 + i}, {"url", url("jobicy.com", i)}, {"jobTitle", role(i)},
                                      {"companyName", "Company &amp; " + std::to_string(i)},
                                      {"jobIndustry", json::array({"Software Engineering"})},
                                      {"jobType", json::array({"Full-Time"})}, {"jobGeo", "Anywhere"},
                                      {"jobDescription", text(i)}, {"pubDate", iso + "+00:00"}}
                               : json{{"id", 200000 + i}, {"url", url("remotive.com", i)}, {"title", role(i)},
                                      {"company_name", company(i)}, {"category", "Software Development"},
                                      {"job_type", "full_time"}, {"publication_date", iso},
                                      {"candidate_required_location", "Worldwide"}, {"salary", ""},
                                      {"description", text(i)}});
        doc = {{"jobs", jobs}, {"job-count", count}};
    } else if (s == "arbeitnow" || s == "arbeitnowUk") {
        int64_t page = param(r, "page", 1);
        auto [a, b] = range((page - 1) * arbeitnowPageSize_, arbeitnowPageSize_);
        json data = json::array();
        for (int64_t i = a; i < b; ++i)
            data.push_back({{"slug", s + "-" + std::to_string(i)}, {"company_name", "Firma " + std::to_string(i)},
                            {"title", role(i)}, {"description", text(i)}, {"remote", true},
                            {"url", url(s == "arbeitnow" ? "www.arbeitnow.com" : "www.arbeitnow.co.uk", i)},
                            {"tags", json::array({"Software Development"})}, {"job_types", json::array({"full time"})},
                            {"location", "Berlin"}, {"created_at", published}});
        bool more = count < 0 || b < count;
        json next = more ? json(baseFor(s) + "/api/job-board-api?page=" + std::to_string(page + 1)) : json(nullptr);
        doc = {{"data", data}, {"links", {{"first", nullptr}, {"last", nullptr}, {"prev", nullptr}, {"next", next}}},
               {"meta", {{"current_page", page}, {"per_page", arbeitnowPageSize_}}}};
    } else if (s == "weWorkRemotely") {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\" "
                          "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>WWR</title>\n";
        for (int64_t i = 0; i < count; ++i)
            xml += "<item><title>" + company(i) + ": " + role(i) +
                   "</title><region>Anywhere in the World</region><category>Back-End Programming</category>"
                   "<description>" +
                   replaceAll(replaceAll(replaceAll(text(i), "&", "&amp;"), "<", "&lt;"), ">", "&gt;") +
                   "</description><pubDate>" + utc(published, "%a, %d %b %Y %H:%M:%S +0000") + "</pubDate><link>" +
                   url("weworkremotely.com", i) + "</link></item>\n";
        return Reply{200, xml + "</channel></rss>\n", "application/rss+xml"};
    } else if (s == "remoteOk") {
        doc = json::array({{{"last_updated", published}, {"legal", "API Terms of Service"}}});
        for (int64_t i = 0; i < count; ++i)
            doc.push_back({{"slug", "remote-" + std::to_string(i)}, {"id", std::to_string(300000 + i)},
                           {"epoch", published}, {"date", iso + "+00:00"}, {"company", company(i)},
                           {"position", role(i)}, {"tags", json::array({"dev", "backend"})}, {"description", text(i)},
                           {"location", "Worldwide"}, {"apply_url", url("remoteOK.com", i)}, {"url", url("remoteOK.com", i)}});
    } else if (s == "remoteJobs") {
        int64_t offset = param(r, "offset", 0);
        auto [a, b] = range(offset, 50);
        json data = json::array();
        for (int64_t i = a; i < b; ++i)
            data.push_back({{"id", "uuid-" + std::to_string(i)}, {"title", role(i)}, {"company", {{"name", company(i)}}},
                            {"category", {{"name", "Engineering"}, {"slug", "engineering"}}}, {"type", "full-time"},
                            {"location", "Worldwide"}, {"description", text(i)}, {"url", url("remotejobs.org", i)},
                            {"apply_url", nullptr}, {"posted_at", iso + "Z"}});
        doc = {{"data", data}, {"pagination", {{"total", count}, {"limit", 50}, {"offset", offset}}}};
    }
    return Reply{200, doc.dump()};
}

} // namespace velmora::testing
