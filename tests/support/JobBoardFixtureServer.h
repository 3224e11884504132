#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::testing {

// A loopback stand-in for the seven job boards, on 127.0.0.1 and a free port. Each service
// lives under its own path prefix, named like the keys of the endpoints file
// ("/himalayas", "/jobicy", "/arbeitnow", "/arbeitnowUk", "/weWorkRemotely", "/remotive",
// "/remoteOk", "/remoteJobs"), so one server stands in for all eight endpoints.
// By default it serves the hand-written responses in tests/fixtures/jobboards; a test can
// replace any service's answer, or have it generate many listings with real paging.
class JobBoardFixtureServer {
public:
    struct Request {
        std::string service, path; // the path below the service prefix, e.g. "/jobs/api"
        std::map<std::string, std::string> params;
        std::string userAgent;
    };

    struct Reply {
        // JSON unless said otherwise (and uncompressed: httplib compresses bare types).
        Reply(int status = 200, std::string body = "", std::string contentType = "application/json; charset=utf-8")
            : status(status), body(std::move(body)), contentType(std::move(contentType)) {}
        int status;
        std::string body;
        std::string contentType;
        std::string location;               // sent as Location (redirects)
        std::chrono::milliseconds delay{0}; // wait before answering (time-outs)
        uint64_t streamBytes = 0;           // instead of body: this many bytes of filler
        bool closeMidBody = false;          // announce the body, send half, hang up
    };
    using Handler = std::function<Reply(const Request&)>;

    static const std::vector<std::string>& services();

    JobBoardFixtureServer();
    ~JobBoardFixtureServer();

    std::string baseFor(const std::string& service) const; // http://127.0.0.1:PORT/service
    // {"himalayas": baseFor("himalayas"), ...}: the content of an endpoints file.
    std::string endpointsJson() const;

    void setReply(const std::string& service, Reply reply);
    // Serves `count` synthetic listings for the service, paged the way the service pages.
    // Arbeitnow pages never end when `count` is negative.
    // `fullDescriptions` false gives short descriptions, for tests that only count.
    void generate(const std::string& service, int64_t count, bool fullDescriptions = true);
    // Unix seconds written into generated listings (default 2026-12-01T00:00:00Z).
    void setGeneratedPublished(int64_t unixSeconds) { generatedPublished_ = unixSeconds; }
    // Listings per generated Arbeitnow page (default 100, as the board sends). Arbeitnow pages
    // by next links, so page limits can be checked without storing thousands of listings.
    void setArbeitnowPageSize(int64_t size) { arbeitnowPageSize_ = size; }

    std::vector<Request> requests(const std::string& service = "") const;

private:
    Reply fixtureReply(const Request& request);
    Reply generatedReply(const Request& request, int64_t count, bool fullDescriptions);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    mutable std::mutex mutex_;
    std::map<std::string, Handler> handlers_;
    std::vector<Request> log_;
    int64_t generatedPublished_ = 1796083200, arbeitnowPageSize_ = 100;
};

} // namespace velmora::testing
