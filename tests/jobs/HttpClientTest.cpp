// What a board does to a request (redirects, floods, hangs) is checked through the sync in
// FaultJobBoardTest; here what the client alone decides.
#include "jobs/HttpClient.h"
#include "core/VelmoraError.h"
#include "support/JobBoardFixtureServer.h"

#include <gtest/gtest.h>

#include <future>

using namespace velmora;
using namespace velmora::testing;

namespace {
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
    HttpClient http;
    for (const char* bad : {"", "not a url", "ftp://example.com/x", "file:///etc/passwd", "mailto:a@b.c", "http://"})
        EXPECT_EQ(messageOf([&] { http.getApi(bad); }), "Invalid job-source URL.") << bad;
    EXPECT_TRUE(HttpClient::isWebUrl("HTTPS://Example.com/a?b=c"));
    EXPECT_EQ(HttpClient::hostOf("https://RemoteOK.com/remote-jobs/1"), "remoteok.com");
}

TEST(HttpClient, ServesConcurrentRequestsFromOneClientAndTimesOutTheFeedOnItsOwn) {
    JobBoardFixtureServer boards;
    // The fixture server listens with a backlog of 5, so some of eight simultaneous connects
    // wait for the kernel's one-second SYN retry; the API time-out must outlast it.
    HttpClient http({std::chrono::seconds(10), std::chrono::milliseconds(300)});
    std::vector<std::future<long>> results;
    for (int i = 0; i < 8; ++i)
        results.push_back(
            std::async(std::launch::async, [&] { return http.getApi(boards.baseFor("remoteOk") + "/api").status; }));
    for (auto& f : results)
        EXPECT_EQ(f.get(), 200);
    ASSERT_EQ(boards.requests("remoteOk").size(), 8u);
    for (const auto& r : boards.requests())
        EXPECT_EQ(r.userAgent, "Velmora-by-Quorvane/0.2.2 (+https://quorvane.com/velmora)");

    boards.setReply("jobicy", {.body = "{}", .delay = std::chrono::milliseconds(900)});
    EXPECT_NE(messageOf([&] { http.getFeed(boards.baseFor("jobicy") + "/a"); }).find("imed out"), std::string::npos);
}
