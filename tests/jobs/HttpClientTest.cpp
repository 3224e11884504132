#include "jobs/HttpClient.h"
#include "core/VelmoraError.h"
#include "support/JobBoardFixtureServer.h"

#include <gtest/gtest.h>

#include <future>

using namespace velmora;
using namespace velmora::testing;

namespace {
HttpClient::Options quick() {
    HttpClient::Options o;
    o.apiTimeout = o.feedTimeout = std::chrono::milliseconds(300);
    o.maxBodyBytes = 1024 * 1024;
    return o;
}
std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "<no error>";
}
} // namespace

TEST(HttpClient, RefusesAddressesThatAreNotWebAddresses) {
    HttpClient http(quick());
    for (const char* bad : {"", "not a url", "ftp://example.com/x", "file:///etc/passwd", "mailto:a@b.c", "http://"})
        EXPECT_EQ(messageOf([&] { http.getApi(bad); }), "Invalid job-source URL.") << bad;
    EXPECT_TRUE(HttpClient::isWebUrl("HTTPS://Example.com/a?b=c"));
    EXPECT_EQ(HttpClient::hostOf("https://RemoteOK.com/remote-jobs/1"), "remoteok.com");
}

TEST(HttpClient, SendsTheUserAgentFollowsWebRedirectsAndCapsBodiesAndTime) {
    JobBoardFixtureServer boards;
    HttpClient http(quick());
    auto r = http.getApi(boards.baseFor("remotive") + "/api/remote-jobs");
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("Senior Python Developer"), std::string::npos);
    EXPECT_EQ(boards.requests().back().userAgent, "Velmora-by-Quorvane/0.2.2 (+https://quorvane.com/velmora)");

    JobBoardFixtureServer::Reply moved{301, ""};
    moved.location = boards.baseFor("remoteOk") + "/api";
    boards.setReply("remotive", moved);
    r = http.getApi(boards.baseFor("remotive") + "/api/remote-jobs");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.finalUrl, boards.baseFor("remoteOk") + "/api");
    moved.location = "file:///etc/hostname";
    boards.setReply("remotive", moved);
    EXPECT_NE(messageOf([&] { http.getApi(boards.baseFor("remotive") + "/x"); }).find("could not be reached"),
              std::string::npos);
    boards.setReply("remotive", {404, "gone"});
    EXPECT_EQ(http.getApi(boards.baseFor("remotive") + "/x").status, 404); // statuses are the caller's to judge

    JobBoardFixtureServer::Reply big{200, ""};
    big.streamBytes = 1024 * 1024 + 1;
    boards.setReply("jobicy", big);
    EXPECT_EQ(messageOf([&] { http.getApi(boards.baseFor("jobicy") + "/a"); }),
              "A job source sent a response larger than 1 MB.");
    JobBoardFixtureServer::Reply slow{200, "{}"};
    slow.delay = std::chrono::milliseconds(900);
    boards.setReply("jobicy", slow);
    EXPECT_NE(messageOf([&] { http.getFeed(boards.baseFor("jobicy") + "/a"); }).find("imed out"), std::string::npos);
}

TEST(HttpClient, ServesConcurrentRequestsFromOneClient) {
    JobBoardFixtureServer boards;
    // The fixture server listens with a backlog of 5, so some of eight simultaneous connects
    // wait for the kernel's one-second SYN retry; the time-out must outlast it.
    HttpClient::Options options = quick();
    options.apiTimeout = std::chrono::seconds(10);
    HttpClient http(options);
    std::vector<std::future<long>> results;
    for (int i = 0; i < 8; ++i)
        results.push_back(
            std::async(std::launch::async, [&] { return http.getApi(boards.baseFor("remoteOk") + "/api").status; }));
    for (auto& f : results)
        EXPECT_EQ(f.get(), 200);
    EXPECT_EQ(boards.requests("remoteOk").size(), 8u);
}
