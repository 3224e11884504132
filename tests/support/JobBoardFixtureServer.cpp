#include "support/JobBoardFixtureServer.h"

#include "support/TempDir.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <stdexcept>

namespace velmora::testing {

using nlohmann::json;

struct JobBoardFixtureServer::Impl {
    httplib::Server server;
    std::atomic<bool> stopping{false};
};

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size()) s.replace(pos, from.size(), to);
    return s;
}

int64_t param(const JobBoardFixtureServer::Request& r, const std::string& key, int64_t fallback) {
    auto it = r.params.find(key);
    if (it == r.params.end()) return fallback;
    try {
        return std::stoll(it->second);
    } catch (...) {
        return fallback;
    }
}

std::string isoUtc(int64_t unixSeconds) {
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

std::string rfc822(int64_t unixSeconds) {
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return buf;
}

const char* kRoles[] = {"Backend Engineer", "Customer Success Manager", "Data Analyst", "Product Designer",
                        "Marketing Lead",   "Account Executive",        "Technical Writer", "DevOps Engineer"};

// About 1.5 KB of the HTML the boards send, with entities and the words the placeholder
// filter looks for.
std::string longDescription(int64_t i) {
    std::string d = "<p><strong>About us</strong>: Company " + std::to_string(i) +
                    " builds tools for remote teams &amp; their customers.</p><ul>";
    for (int k = 0; k < 8; ++k)
        d += "<li>Responsibility " + std::to_string(k) +
             ": own a part of the product with care, experience shipping software&nbsp;required.</li>";
    d += "</ul><p>Benefits: salary band published, four-day week, learning budget &#8211; apply today.</p>";
    return d;
}

std::string role(int64_t i) { return kRoles[i % 8]; }

} // namespace

const std::vector<std::string>& JobBoardFixtureServer::services() {
    static const std::vector<std::string> all = {"himalayas", "jobicy",   "arbeitnow", "arbeitnowUk",
                                                 "weWorkRemotely", "remotive", "remoteOk", "remoteJobs"};
    return all;
}

JobBoardFixtureServer::JobBoardFixtureServer() : impl_(std::make_unique<Impl>()) {
    auto& server = impl_->server;
    server.set_keep_alive_max_count(1000);
    // The server writes headers and body apart; with Nagle on, the body waits for the client's
    // delayed ACK (40 ms on loopback), which real boards do not add to every page.
    server.set_tcp_nodelay(true);
    server.Get(R"(/(\w+)(/.*))", [this](const httplib::Request& req, httplib::Response& res) {
        Request request;
        request.service = req.matches[1];
        request.path = req.matches[2];
        for (const auto& [k, v] : req.params) request.params[k] = v;
        request.userAgent = req.get_header_value("User-Agent");
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
            uint64_t total = reply.streamBytes;
            auto* stopping = &impl_->stopping;
            res.set_content_provider(static_cast<size_t>(total), reply.contentType,
                                     [total, stopping](size_t offset, size_t length, httplib::DataSink& sink) {
                                         if (*stopping) return false;
                                         static const std::string chunk(64 * 1024, ' ');
                                         size_t n = std::min({length, chunk.size(), static_cast<size_t>(total - offset)});
                                         return sink.write(chunk.data(), n);
                                     });
        } else if (reply.closeMidBody) {
            std::string body = reply.body;
            res.set_content_provider(body.size(), reply.contentType,
                                     [body](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false; // hang up half-way
                                         sink.write(body.data(), body.size() / 2);
                                         return true;
                                     });
        } else {
            res.set_content(reply.body, reply.contentType.c_str());
        }
    });
    port_ = server.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("fixture server could not bind");
    thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
    while (!impl_->server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

JobBoardFixtureServer::~JobBoardFixtureServer() {
    impl_->stopping = true;
    impl_->server.stop();
    if (thread_.joinable()) thread_.join();
}

std::string JobBoardFixtureServer::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

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
    auto serve = [&](const std::string& file, const std::string& empty) {
        Reply reply;
        reply.body = fixture(file, r.service);
        if (reply.body.empty()) reply.body = empty;
        return reply;
    };
    auto notFound = [] {
        Reply reply;
        reply.status = 404;
        reply.body = R"({"message":"Not Found"})";
        return reply;
    };
    const std::string& s = r.service;
    if (s == "himalayas" && r.path == "/jobs/api")
        return serve("himalayas-browse-offset-" + std::to_string(param(r, "offset", 0)) + ".json",
                     R"({"jobs": [], "totalCount": 6})");
    if (s == "himalayas" && r.path == "/jobs/api/search")
        return serve("himalayas-search-page-" + std::to_string(param(r, "page", 1)) + ".json", R"({"jobs": []})");
    if (s == "jobicy" && r.path == "/api/v2/remote-jobs") {
        for (const auto& [k, v] : r.params)
            if (k != "count" && k != "tag") return Reply{400, R"({"error":"Unknown parameter"})"};
        if (auto tag = r.params.find("tag"); tag != r.params.end() && (tag->second.size() < 3 || tag->second.size() > 50))
            return Reply{400, R"({"error":"tag must be between 3 and 50 characters"})"};
        return serve("jobicy.json", "");
    }
    if ((s == "arbeitnow" || s == "arbeitnowUk") && r.path == "/api/job-board-api") {
        std::string prefix = s == "arbeitnow" ? "arbeitnow-page-" : "arbeitnow-uk-page-";
        Reply reply = serve(prefix + std::to_string(param(r, "page", 1)) + ".json", "");
        return reply.body.empty() ? notFound() : reply;
    }
    if (s == "weWorkRemotely" && r.path == "/remote-jobs.rss") {
        Reply reply = serve("wwr.rss", "");
        reply.contentType = "application/rss+xml; charset=utf-8";
        return reply;
    }
    if (s == "remotive" && r.path == "/api/remote-jobs") return serve("remotive.json", "");
    if (s == "remoteOk" && r.path == "/api") return serve("remoteok.json", "");
    if (s == "remoteJobs" && r.path == "/api/v1/jobs")
        return serve("remotejobs-offset-" + std::to_string(param(r, "offset", 0)) + ".json",
                     R"({"data": [], "pagination": {"total": 3, "limit": 50, "offset": 3, "has_more": false}})");
    return notFound();
}

JobBoardFixtureServer::Reply JobBoardFixtureServer::generatedReply(const Request& r, int64_t count,
                                                                   bool fullDescriptions) {
    auto description = [fullDescriptions](int64_t i) {
        return fullDescriptions ? longDescription(i)
                                : "<p>Listing " + std::to_string(i) +
                                      ": we are looking for experience with remote teams &amp; clear writing.</p>";
    };
    const std::string& s = r.service;
    const int64_t published = generatedPublished_;
    auto range = [&](int64_t from, int64_t size) {
        int64_t end = count < 0 ? from + size : std::min(count, from + size);
        return std::make_pair(from, std::max(from, end));
    };
    auto url = [&](const std::string& host, int64_t i) {
        return "https://" + host + "/jobs/" + s + "-" + std::to_string(i);
    };
    Reply reply;
    json doc;

    if (s == "himalayas") {
        bool search = r.path == "/jobs/api/search";
        int64_t from = search ? (param(r, "page", 1) - 1) * 20 : param(r, "offset", 0);
        auto [a, b] = range(from, 20);
        json jobs = json::array();
        for (int64_t i = a; i < b; ++i)
            jobs.push_back({{"title", role(i)}, {"excerpt", "Short excerpt."}, {"companyName", "Company " + std::to_string(i)},
                            {"locationRestrictions", json::array({"Germany", "Spain"})},
                            {"categories", json::array({"Software-Engineer"})}, {"parentCategories", json::array()},
                            {"description", description(i)}, {"pubDate", published},
                            {"applicationLink", url("himalayas.app", i)}, {"guid", url("himalayas.app", i)}});
        doc = {{"jobs", jobs}, {"offset", from}, {"limit", 20}, {"totalCount", count < 0 ? 1000000 : count}};
    } else if (s == "jobicy" || s == "remotive") {
        json jobs = json::array();
        for (int64_t i = 0; i < count; ++i) {
            if (s == "jobicy")
                jobs.push_back({{"id", 100000 + i}, {"url", url("jobicy.com", i)}, {"jobTitle", role(i)},
                                {"companyName", "Company &amp; " + std::to_string(i)},
                                {"jobIndustry", json::array({"Software Engineering"})},
                                {"jobType", json::array({"Full-Time"})}, {"jobGeo", "Anywhere"},
                                {"jobDescription", description(i)}, {"pubDate", isoUtc(published) + "+00:00"}});
            else
                jobs.push_back({{"id", 200000 + i}, {"url", url("remotive.com", i)}, {"title", role(i)},
                                {"company_name", "Company " + std::to_string(i)}, {"category", "Software Development"},
                                {"job_type", "full_time"}, {"publication_date", isoUtc(published)},
                                {"candidate_required_location", "Worldwide"}, {"salary", ""},
                                {"description", description(i)}});
        }
        doc = {{"jobs", jobs}, {"job-count", count}};
    } else if (s == "arbeitnow" || s == "arbeitnowUk") {
        int64_t page = param(r, "page", 1);
        auto [a, b] = range((page - 1) * arbeitnowPageSize_, arbeitnowPageSize_);
        json data = json::array();
        for (int64_t i = a; i < b; ++i)
            data.push_back({{"slug", s + "-" + std::to_string(i)}, {"company_name", "Firma " + std::to_string(i)},
                            {"title", role(i)}, {"description", description(i)}, {"remote", true},
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
        for (int64_t i = 0; i < count; ++i) {
            std::string desc = replaceAll(replaceAll(replaceAll(description(i), "&", "&amp;"), "<", "&lt;"), ">", "&gt;");
            xml += "<item><title>Company " + std::to_string(i) + ": " + role(i) +
                   "</title><region>Anywhere in the World</region><category>Back-End Programming</category>"
                   "<description>" + desc + "</description><pubDate>" + rfc822(published) + "</pubDate><link>" +
                   url("weworkremotely.com", i) + "</link></item>\n";
        }
        reply.body = xml + "</channel></rss>\n";
        reply.contentType = "application/rss+xml";
        return reply;
    } else if (s == "remoteOk") {
        doc = json::array({{{"last_updated", published}, {"legal", "API Terms of Service"}}});
        for (int64_t i = 0; i < count; ++i)
            doc.push_back({{"slug", "remote-" + std::to_string(i)}, {"id", std::to_string(300000 + i)},
                           {"epoch", published}, {"date", isoUtc(published) + "+00:00"},
                           {"company", "Company " + std::to_string(i)}, {"position", role(i)},
                           {"tags", json::array({"dev", "backend"})}, {"description", description(i)},
                           {"location", "Worldwide"}, {"apply_url", url("remoteOK.com", i)}, {"url", url("remoteOK.com", i)}});
    } else if (s == "remoteJobs") {
        int64_t offset = param(r, "offset", 0);
        auto [a, b] = range(offset, 50);
        json data = json::array();
        for (int64_t i = a; i < b; ++i)
            data.push_back({{"id", "uuid-" + std::to_string(i)}, {"title", role(i)},
                            {"company", {{"name", "Company " + std::to_string(i)}}},
                            {"category", {{"name", "Engineering"}, {"slug", "engineering"}}}, {"type", "full-time"},
                            {"location", "Worldwide"}, {"description", description(i)},
                            {"url", url("remotejobs.org", i)}, {"apply_url", nullptr},
                            {"posted_at", isoUtc(published) + "Z"}});
        doc = {{"data", data}, {"pagination", {{"total", count}, {"limit", 50}, {"offset", offset}}}};
    }
    reply.body = doc.dump();
    return reply;
}

} // namespace velmora::testing
