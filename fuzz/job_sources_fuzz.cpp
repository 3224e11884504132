// Arbitrary bytes as a job board's answer, through the real adapter: libcurl fetches them from
// a loopback server, the adapter reads and filters them, and whatever it accepts is rated and
// stored in a real database. The first byte picks the adapter (and, with its top bit, a search
// query); the rest is the body served for every page the adapter asks for, with "{{BASE}}"
// replaced by the server's address so that paging links lead back to it.
//
// A refusal must be the adapter's own VelmoraError. An adapter that keeps paging past every
// bound it has is a hang and aborts.

#include "core/Clock.h"
#include "core/DateUtil.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "jobs/HttpClient.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/SecurityService.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h"

#include "FuzzSupport.h"

#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace velmora;

namespace {

// More pages than any adapter may ask for in one fetch (Himalayas browsing stops at 5,000
// stored listings of 20 a page).
constexpr int kMaxRequestsPerInput = 300;

struct Harness {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string base;

    std::mutex mutex;
    std::string body;
    std::string contentType;
    std::atomic<int> requests{0};

    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<DatabaseService> db;
    std::unique_ptr<JobAggregatorService> service;
    size_t runs = 0;

    Harness() {
        // Nothing here may leave the machine: any address but the loopback server goes to a
        // proxy that is not there.
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
            setenv(name, "http://127.0.0.1:9", 1);
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);

        server.Get(".*", [this](const httplib::Request&, httplib::Response& res) {
            if (++requests > kMaxRequestsPerInput) std::abort(); // paging that never ends
            std::lock_guard lock(mutex);
            res.set_content(body, contentType);
        });
        server.set_tcp_nodelay(true); // no Nagle stall between the headers and the body
        port = server.bind_to_any_port("127.0.0.1");
        if (port <= 0) std::abort();
        thread = std::thread([this] { server.listen_after_bind(); });
        base = "http://127.0.0.1:" + std::to_string(port);

        sqlite = std::make_shared<SQLiteDatabase>((fuzz::scratchDir() / "velmora.db").string());
        auto clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-12-06T12:00:00Z"));
        db = std::make_shared<DatabaseService>(sqlite, clock);
        db->initialize();

        HttpClient::Options options;
        options.apiTimeout = std::chrono::milliseconds(5000);
        options.feedTimeout = std::chrono::milliseconds(5000);
        JobSourceEndpoints endpoints;
        endpoints.himalayas = base + "/himalayas";
        endpoints.jobicy = base + "/jobicy";
        endpoints.arbeitnow = base + "/arbeitnow";
        endpoints.arbeitnowUk = base + "/arbeitnowUk";
        endpoints.weWorkRemotely = base + "/weWorkRemotely";
        endpoints.remotive = base + "/remotive";
        endpoints.remoteOk = base + "/remoteOk";
        endpoints.remoteJobs = base + "/remoteJobs";
        service = std::make_unique<JobAggregatorService>(db, std::make_shared<SecurityService>(),
                                                         std::make_shared<HttpClient>(options), endpoints, clock,
                                                         std::make_shared<NoSleeper>());
    }

    ~Harness() {
        server.stop();
        if (thread.joinable()) thread.join();
    }

    void serve(std::string text, std::string type) {
        std::lock_guard lock(mutex);
        body = text::replaceAll(std::move(text), "{{BASE}}", base);
        contentType = std::move(type);
        requests = 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness h;
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    const int adapter = (selector & 0x7f) % 8;
    const std::string query = (selector & 0x80) ? "engineer" : "";
    h.serve(std::string(fuzz::asText(data + 1, size - 1)),
            adapter == 4 ? "application/rss+xml; charset=utf-8" : "application/json; charset=utf-8");

    auto& s = *h.service;
    const auto& e = s.endpoints();
    try {
        switch (adapter) {
        case 0: s.fetchHimalayas(query); break;
        case 1: s.fetchJobicy(query); break;
        case 2: s.fetchArbeitnow(e.arbeitnow + "/api/job-board-api", "Arbeitnow Europe", query); break;
        case 3: s.fetchArbeitnow(e.arbeitnowUk + "/api/job-board-api", "Arbeitnow UK", query); break;
        case 4: s.fetchWWR(query); break;
        case 5: s.fetchRemotive(query); break;
        case 6: s.fetchRemoteOK(query); break;
        default: s.fetchRemoteJobsOrg(query); break;
        }
    } catch (const VelmoraError&) {
    }
    // Keeps the table (and so every upsert) small over a long campaign.
    if (++h.runs % 256 == 0) h.sqlite->execute("DELETE FROM jobs;");
    return 0;
}
