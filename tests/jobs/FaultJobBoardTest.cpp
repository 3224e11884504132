// Job boards that misbehave in ways a real network produces: bytes of noise, a board that
// never answers while the others do, redirects to another host (or round in circles), and a
// sync killed half-way.
#include "SyncTestBed.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <map>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::testing;
using json = nlohmann::json;

namespace {

// Bytes of every value, NULs and broken UTF-8 included, the same on every run.
std::string noise(size_t size, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t word = random();
        std::memcpy(bytes.data() + i, &word, 8);
    }
    return bytes;
}

} // namespace

TEST(FaultJobBoard, NoiseAndSilenceFailThatBoardAloneAndStoreNothingFromIt) {
    HttpClient::Options quick = SyncTestBed::shortTimeouts();
    quick.apiTimeout = quick.feedTimeout = std::chrono::milliseconds(400);
    SyncTestBed bed(quick);
    // Noise into a JSON reader, a paged JSON reader and the RSS reader; one board never answers.
    JobBoardFixtureServer::Reply silent{200, "[]"};
    silent.delay = std::chrono::milliseconds(3000);
    const std::map<std::string, std::string> failing = {
        {"remoteOk", "Remote OK"}, {"himalayas", "Himalayas"}, {"weWorkRemotely", "We Work Remotely"},
        {"remotive", "Remotive"}};
    bed.boards.setReply("remoteOk", {200, noise(512u * 1024u, 1), "application/json"});
    bed.boards.setReply("himalayas", {200, noise(256u * 1024u, 2), "application/json"});
    bed.boards.setReply("weWorkRemotely", {200, noise(256u * 1024u, 3), "application/rss+xml"});
    bed.boards.setReply("remotive", silent);
    bed.storeListing("https://remotive.com/remote-jobs/kept");

    json summary = bed.service->sync({});
    int64_t others = 0;
    for (const auto& s : summary["sources"]) {
        bool fails = false;
        for (const auto& [service, name] : failing) fails = fails || s["source"] == name;
        if (!fails) {
            EXPECT_EQ(s["status"], "ok") << s.dump();
            others += s["imported"].get<int64_t>();
            continue;
        }
        EXPECT_EQ(s["status"], "error") << s.dump();
        EXPECT_EQ(s["imported"], 0) << s.dump();
        ASSERT_TRUE(s["error"].is_string()) << s.dump();
        // A short message for the user, not an echo of the noise.
        EXPECT_LT(s["error"].get<std::string>().size(), 300u) << s["source"];
    }
    EXPECT_NE(SyncTestBed::sourceRecord(summary, "Remotive")["error"].get<std::string>().find("imed out"),
              std::string::npos)
        << summary.dump();
    EXPECT_GT(others, 0);
    EXPECT_EQ(summary["imported"], others);
    EXPECT_EQ(bed.count(), others + 1);
    EXPECT_EQ(bed.count("source IN ('Himalayas', 'We Work Remotely', 'Remote OK')"), 0);
    EXPECT_EQ(bed.db->getSetting("sourceLast.Remotive", ""), "");
    std::string text;
    EXPECT_NO_THROW(text = summary.dump()); // every message is valid UTF-8
    EXPECT_EQ(std::get<std::string>(*bed.sqlite->scalar("PRAGMA integrity_check;")), "ok");
}

TEST(FaultJobBoard, RedirectsToAnotherHostAreFollowedButNeverInCircles) {
    SyncTestBed bed;
    JobBoardFixtureServer elsewhere;
    // The same board answering from another host name and port.
    JobBoardFixtureServer::Reply moved{301, ""};
    moved.location = "http://localhost:" + std::to_string(elsewhere.port()) + "/remotive/api/remote-jobs";
    bed.boards.setReply("remotive", moved);
    // A board that sends every request to itself again.
    bed.boards.setHandler("remoteOk", [&](const JobBoardFixtureServer::Request&) {
        JobBoardFixtureServer::Reply loop{302, ""};
        loop.location = bed.boards.baseFor("remoteOk") + "/api";
        return loop;
    });

    json summary = bed.service->sync({});
    EXPECT_EQ(SyncTestBed::sourceRecord(summary, "Remotive"), (json{{"source", "Remotive"}, {"status", "ok"}, {"imported", 3}}));
    ASSERT_FALSE(elsewhere.requests("remotive").empty());
    EXPECT_EQ(elsewhere.requests("remotive").back().userAgent, bed.boards.requests("remotive").back().userAgent);
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
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t pid = fork();
        if (pid == 0) {
            // Everything the sync needs lives in the child, so nothing is shared across fork.
            close(ready[0]);
            JobBoardFixtureServer boards;
            boards.generate("remotive", 4000, false);
            boards.generate("himalayas", 2000, false);
            auto clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-12-06T12:00:00Z"));
            auto db = std::make_shared<DatabaseService>(std::make_shared<SQLiteDatabase>(file), clock);
            db->initialize();
            JobAggregatorService service(db, std::make_shared<SecurityService>(),
                                         std::make_shared<HttpClient>(SyncTestBed::shortTimeouts()),
                                         JobSourceEndpoints::fromJsonText(boards.endpointsJson()), clock,
                                         std::make_shared<NoSleeper>());
            int reports = 0;
            service.sync([&](const std::string&, int64_t, int64_t) {
                if (++reports == 3 && write(ready[1], "r", 1) != 1) _exit(2);
            });
            _exit(0);
        }
        close(ready[1]);
        char byte;
        if (read(ready[0], &byte, 1) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            kill(pid, SIGKILL);
        }
        close(ready[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the sync ended before it could be killed (delay " << delay << ")";

        SyncTestBed bed; // its own boards; the killed run's file is opened beside it
        auto sqlite = std::make_shared<SQLiteDatabase>(file);
        EXPECT_EQ(std::get<std::string>(*sqlite->scalar("PRAGMA integrity_check;")), "ok");
        auto db = std::make_shared<DatabaseService>(sqlite, bed.clock);
        ASSERT_NO_THROW(db->initialize());
        JobAggregatorService again(db, bed.security, bed.http, JobSourceEndpoints::fromJsonText(bed.boards.endpointsJson()),
                                   bed.clock, bed.sleeper);
        json summary = again.sync({});
        for (const auto& s : summary["sources"]) EXPECT_NE(s["status"], "error") << s.dump();
        // Every fixture listing is there once, beside whatever the killed run had stored.
        EXPECT_EQ(std::get<int64_t>(*sqlite->scalar("SELECT COUNT(*) FROM jobs WHERE url IN (SELECT url FROM jobs "
                                                    "GROUP BY url HAVING COUNT(*) > 1);")),
                  0);
        EXPECT_GE(std::get<int64_t>(*sqlite->scalar("SELECT COUNT(*) FROM jobs;")), 21);
    }
}
