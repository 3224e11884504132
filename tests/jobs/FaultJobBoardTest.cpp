// Job boards that misbehave in ways a real network produces: boards that hang, hang up, flood,
// redirect off the web or in circles, send noise or nonsense, and a sync killed half-way. That
// source fails with a short message, the rest of the sync runs, and nothing stored is lost.
// Also what the HTTP client alone decides: its own user agent and the feed's time-out.
#include "SyncTestBed.h"
#include "core/VelmoraError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::testing;
using std::chrono::milliseconds;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

// Bytes of every value, NULs and broken UTF-8 included, the same on every run.
std::string noise(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

struct Misbehaviour {
    const char* service;
    Reply reply;
    std::string error; // the start of the message
    json httpStatus = nullptr;
};

} // namespace

TEST(FaultJobBoard, MisbehavingBoardsFailAloneWithAShortMessageAndStoreNothing) {
    const Reply hang = with({200, "[]"}, [](Reply&r) { r.delay = milliseconds(1500); }),
                cut = with({200, "{\"jobs\": [1, 2, 3]}"}, [](Reply&r) { r.closeMidBody = true; }),
                flood = with({200, ""}, [](Reply&r) { r.streamBytes = 2u << 20; });
    const std::string timedOut = "timed out", unreachable = "The job source could not be reached",
                      invalid = "A job source returned invalid JSON";
    // Two rounds, as each board answers one way per sync; in the second, the boards left alone
    // must still import.
    // clang-format off
    const std::vector<std::vector<Misbehaviour>> rounds = {
        {
            {"himalayas", hang, timedOut},
            {"jobicy", cut, unreachable},
            {"arbeitnow", flood, "A job source sent a response larger than 1 MB."},
            {"arbeitnowUk", redirect(302, "file:///etc/passwd"), unreachable},
            {"weWorkRemotely", {200, noise(256u * 1024u, 3), "application/rss+xml"},
             "We Work Remotely RSS could not be parsed."},
            {"remotive", {200, std::string(100000, '[') + std::string(100000, ']')},
             "A job source returned JSON nested too deeply to read."},
            {"remoteOk", {200, "[{\"id\": \"1\", \"position\": \"caf\xff\"}]"}, invalid + ": "},
            {"remoteJobs", {200, "[{\"data\": []}]"}, "A job source returned an unexpected response."},
        },
        {
            {"remoteOk", {200, noise(64u * 1024u, 1), "application/json"}, invalid},
            {"remoteJobs", hang, timedOut}, // the last board: none waits behind it
            {"weWorkRemotely", {503, "busy", "text/plain"}, "We Work Remotely returned an error.", 503},
            {"arbeitnowUk", {404, "{\"data\": []}"}, "Job source returned an HTTP error.", 404},
        },
    };
    // clang-format on
    for (const auto& round : rounds) {
        SyncTestBed bed(SyncTestBed::quick(700, 1u << 20));
        bed.storeListing("https://example.com/kept");
        for (const auto& m : round)
            bed.boards.setReply(m.service, m.reply);
        const json summary = bed.service->sync({});
        for (const auto& m : round) {
            const json s = SyncTestBed::sourceRecord(summary, SyncTestBed::sourceOf(m.service));
            SCOPED_TRACE(s.dump(-1, ' ', true).substr(0, 300));
            const std::string source = s["source"], error = s.value("error", "");
            EXPECT_EQ(std::tuple(s["status"], s["imported"], s.value("httpStatus", json())),
                      std::tuple("error", 0, m.httpStatus));
            EXPECT_THAT(error, HasSubstr(m.error));
            EXPECT_LT(error.size(), 300u); // not an echo of the noise
            EXPECT_EQ(bed.db->getSetting("sourceLast." + source, ""), "");
            EXPECT_EQ(bed.count("source=? AND url<>'https://example.com/kept'", {SQLiteValue::text(source)}), 0);
        }
        // The other boards import as ever, beside the listing stored before.
        const auto ok = std::count_if(summary["sources"].begin(), summary["sources"].end(),
                                      [](const json& s) { return s["status"] == "ok"; });
        EXPECT_EQ(ok + round.size(), 8u);
        EXPECT_EQ(bed.count(), summary["imported"].get<int64_t>() + 1);
        EXPECT_NO_THROW((void)summary.dump()); // every message is valid UTF-8
    }
}

TEST(FaultJobBoard, RedirectsToAnotherHostAreFollowedButNeverInCircles) {
    SyncTestBed bed;
    JobBoardFixtureServer elsewhere;
    // The same board answering from another host name and port.
    std::string other = elsewhere.baseFor("remotive");
    bed.boards.setReply("remotive", redirect(301, other.replace(7, 9, "localhost") + "/api/remote-jobs"));
    // A board that sends every request to itself again.
    bed.boards.setReply("remoteOk", redirect(302, bed.boards.baseFor("remoteOk") + "/api"));

    json summary = bed.service->sync({});
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remotive"),
              (json{{"source", "Remotive"}, {"status", "ok"}, {"imported", 3}}));
    // The listings keep their own links, not the address that served them.
    EXPECT_EQ(bed.count("url LIKE 'https://remotive.com/%'"), 3);

    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remote OK")["status"], "error") << summary.dump();
    EXPECT_LE(bed.boards.requests("remoteOk").size(), 11u); // the first request and at most ten redirects
    EXPECT_EQ(bed.count("source='Remote OK'"), 0);
}

TEST(FaultJobBoard, ASyncKilledHalfWayLeavesADatabaseTheNextSyncCompletes) {
    TempDir dir;
    for (int delay : {0, 40}) {
        const auto file = (dir / ("velmora-" + std::to_string(delay) + ".db")).string();
        const pid_t pid = fork();
        if (pid == 0) {
            // Everything the sync needs lives in the child, so nothing is shared across fork. The
            // kill comes at the third progress report or a moment later, from a thread of its own.
            SyncTestBed bed(SyncTestBed::quick(1500), file);
            std::filesystem::remove(bed.dir.path()); // empty, and the kill skips its clean-up
            bed.boards.generate("remotive", 4000, false);
            bed.boards.generate("himalayas", 2000, false);
            int reports = 0;
            bed.service->sync([&](const std::string&, int64_t, int64_t) {
                if (++reports == 3)
                    std::thread([delay] {
                        std::this_thread::sleep_for(milliseconds(delay)), kill(getpid(), SIGKILL);
                    }).detach();
            });
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the sync ended before it could be killed (delay " << delay << ")";

        SyncTestBed bed(SyncTestBed::quick(1500), file); // the killed run's file, with new boards
        EXPECT_EQ(std::get<std::string>(*bed.sqlite->scalar("PRAGMA integrity_check;")), "ok");
        const json summary = bed.service->sync({});
        for (const auto& s : summary["sources"])
            EXPECT_NE(s["status"], "error") << s.dump();
        // Every fixture listing is there once, beside whatever the killed run had stored.
        EXPECT_EQ(bed.count("url IN (SELECT url FROM jobs GROUP BY url HAVING COUNT(*) > 1)"), 0);
        EXPECT_GE(bed.count(), 21);
    }
}

TEST(HttpClient, SendsItsOwnUserAgentAndTimesOutTheFeedOnItsOwn) {
    JobBoardFixtureServer boards;
    HttpClient http({std::chrono::seconds(10), std::chrono::milliseconds(300)});
    EXPECT_EQ(http.getApi(boards.baseFor("remoteOk") + "/api").status, 200);
    EXPECT_EQ(boards.requests().at(0).userAgent, "Velmora-by-Quorvane/0.2.2 (+https://quorvane.com/velmora)");

    boards.setReply("jobicy", with({200, "{}"}, [](Reply& r) { r.delay = milliseconds(900); }));
    EXPECT_THAT([&] { http.getFeed(boards.baseFor("jobicy") + "/a"); },
                ThrowsMessage<VelmoraError>(HasSubstr("imed out")));
}
