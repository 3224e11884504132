#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"
#include "app/SettingsActions.h"
#include "core/RequestLimits.h"
#include "core/VelmoraError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

class BridgeTest : public ::testing::Test {
protected:
    QueueUiLoop loop;
    BackgroundRunner background{2};
    std::vector<json> delivered;
    Bridge bridge{loop, background, [this](const std::string& text) { delivered.push_back(json::parse(text)); }};

    void settle() {
        ASSERT_TRUE(loop.runUntil([&] { return bridge.inFlight() == 0; }, std::chrono::seconds(10)));
        loop.drain();
    }
};

} // namespace

TEST_F(BridgeTest, RepliesCarryExactlyTheFiveKeysAndTheIdAsText) {
    bridge.addSync("echo", [](const json& p) { return p; });
    bridge.receive({{"action", "echo"}, {"id", 7}, {"payload", {{"a", 1}}}});
    bridge.receive({{"action", "echo"}, {"id", "x"}, {"payload", json::array({1, 2})}});
    bridge.receive({{"action", "echo"}, {"id", "s"}, {"payload", "text"}});
    settle();
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[0], (json{{"type", "response"}, {"id", "7"}, {"ok", true}, {"data", {{"a", 1}}}, {"error", nullptr}}));
    EXPECT_EQ(delivered[1]["data"], json::object()); // an array payload reads as an empty object
    EXPECT_EQ(delivered[2]["data"], json::object());
}

TEST_F(BridgeTest, FailuresAndUnknownActionsAreAnsweredOnce) {
    bridge.addSync("boom", [](const json&) -> json { throw VelmoraError("Resume payload is invalid."); });
    bridge.receive({{"action", "boom"}, {"id", "1"}});
    bridge.receive({{"action", "getNothing"}, {"id", "2"}});
    settle();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0], (json{{"type", "response"}, {"id", "1"}, {"ok", false}, {"data", nullptr},
                                  {"error", "Resume payload is invalid."}}));
    EXPECT_EQ(delivered[1]["error"], "Unknown Velmora action: getNothing");
}

TEST_F(BridgeTest, RequestsWithoutIdRunButGetNoReplyAndNonObjectsAreDropped) {
    int runs = 0;
    bridge.addSync("count", [&](const json&) {
        ++runs;
        return json{{"ok", true}};
    });
    bridge.addSync("fail", [&](const json&) -> json {
        ++runs;
        throw VelmoraError("x");
    });
    bridge.receive({{"action", "count"}});
    bridge.receive({{"action", "fail"}, {"id", ""}});
    bridge.receive(json::array({1}));
    bridge.receiveLine("not json at all");
    bridge.receiveLine("\"a string\"");
    bridge.receiveLine(R"({"action":"count","id":"z"})");
    settle();
    EXPECT_EQ(runs, 3);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0]["id"], "z");
}

// A page string cut inside an emoji reaches us as a lone surrogate escape; the request must
// still be answered, with the broken half as U+FFFD and every well-formed escape intact.
TEST_F(BridgeTest, LoneSurrogatesInARequestBecomeReplacementCharacters) {
    bridge.addSync("echo", [](const json& p) { return p; });
    bridge.receiveLine(R"({"action":"echo","id":"1","payload":{"cut":"ok \ud83d","low":"\ude00!",)"
                       R"("pair":"\ud83d\ude00","slash":"\\ud800","twice":"\ud800\ud800\ude00"}})");
    settle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0]["data"], (json{{"cut", "ok \xEF\xBF\xBD"},
                                          {"low", "\xEF\xBF\xBD!"},
                                          {"pair", "\xF0\x9F\x98\x80"},
                                          {"slash", "\\ud800"},
                                          {"twice", "\xEF\xBF\xBD\xF0\x90\x88\x80"}}));
}

TEST_F(BridgeTest, ASlowAsyncActionDoesNotHoldUpLaterRequests) {
    std::promise<void> release;
    auto released = release.get_future().share();
    bridge.addAsync("slow", [released](const json&) {
        return [released] {
            released.wait();
            return json{{"slow", true}};
        };
    });
    bridge.addSync("fast", [](const json&) { return json{{"fast", true}}; });
    bridge.receive({{"action", "slow"}, {"id", "1"}});
    bridge.receive({{"action", "fast"}, {"id", "2"}});
    ASSERT_TRUE(loop.runUntil([&] { return delivered.size() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(delivered[0]["id"], "2");
    release.set_value();
    settle();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[1]["id"], "1");
    EXPECT_EQ(delivered[1]["data"]["slow"], true);
}

TEST_F(BridgeTest, UnencodableResultsBecomeAFailureReplyInsteadOfSilence) {
    bridge.addSync("nan", [](const json&) { return json{{"v", std::nan("")}}; });
    bridge.receive({{"action", "nan"}, {"id", "1"}});
    settle();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0]["ok"], false);
    EXPECT_EQ(delivered[0]["error"], "Velmora generated a response that could not be encoded.");
}

TEST_F(BridgeTest, EventsHaveExactlyThreeKeys) {
    bridge.sendEvent("jobSyncStarted", {{"message", "Updating remote jobs…"}});
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0], (json{{"type", "event"}, {"name", "jobSyncStarted"},
                                  {"data", {{"message", "Updating remote jobs…"}}}}));
    EXPECT_EQ(Bridge::deliveryScript("{}"), "window.__velmoraReceive({});");
}

TEST(Settings, SaveValidatesEveryKeyAndIgnoresOthers) {
    TempDir dir;
    auto ctx = AppContext::create(AppPaths(dir.path()));
    int relabels = 0;
    ctx->applyNativeLanguage = [&] { ++relabels; };
    QueueUiLoop loop;
    BackgroundRunner background(1);
    std::vector<json> out;
    Bridge bridge(loop, background, [&](const std::string& t) { out.push_back(json::parse(t)); });
    registerActions(bridge, *ctx);

    auto save = [&](json payload) {
        out.clear();
        bridge.receive({{"action", "saveSettings"}, {"id", "s"}, {"payload", payload}});
        EXPECT_TRUE(loop.runUntil([&] { return !out.empty(); }, std::chrono::seconds(5)));
        return out.back();
    };
    auto r = save({{"searchIntervalHours", 6}, {"homeCountryCode", " us "}, {"language", "DE"},
                   {"lastJobSync", "2020-01-01T00:00:00.000Z"}, {"bogus", 1}, {"jobTitle", "  Nurse \n"}, {"theme", " Dark"}, {"welcomeDone", true}});
    ASSERT_EQ(r["ok"], true);
    EXPECT_EQ(r["data"]["searchIntervalHours"], "6");
    EXPECT_EQ(r["data"]["homeCountryCode"], "US");
    EXPECT_EQ(r["data"]["language"], "de");
    EXPECT_EQ(r["data"]["jobTitle"], "Nurse");
    EXPECT_EQ(r["data"]["lastJobSync"], "");
    EXPECT_EQ(r["data"]["theme"], "dark");
    EXPECT_EQ(r["data"]["welcomeDone"], true);
    EXPECT_EQ(r["data"].size(), 10u);
    EXPECT_EQ(ctx->db->getSetting("bogus", "absent"), "absent");
    EXPECT_EQ(relabels, 1);

    r = save({{"searchIntervalHours", 48}, {"homeCountryCode", "USA"}, {"language", "ja"}, {"locationMode", " HOME "}, {"theme", "sepia"}});
    EXPECT_EQ(r["data"]["theme"], "system");
    EXPECT_EQ(r["data"]["searchIntervalHours"], "24");
    EXPECT_EQ(r["data"]["homeCountryCode"], "");
    EXPECT_EQ(r["data"]["language"], "en");
    EXPECT_EQ(r["data"]["locationMode"], "home");

    r = save({{"locationMode", "europe"}, {"homeCountryCode", "u1"}});
    EXPECT_EQ(r["data"]["locationMode"], "worldwide");
    EXPECT_EQ(r["data"]["homeCountryCode"], "");

    // null keeps what was stored (as text it would become a search word); lists are no value;
    // long text is cut to the documented maximum.
    r = save({{"jobTitle", nullptr}, {"keywords", json::array({"rust"})},
              {"homeCountryName", std::string(100000, 'x') + "\xC3\xA9"}});
    EXPECT_EQ(r["data"]["jobTitle"], "Nurse");
    EXPECT_EQ(r["data"]["keywords"], "");
    EXPECT_EQ(r["data"]["homeCountryName"], std::string(200, 'x'));
}

namespace {

struct HostRun {
    int status;
    std::vector<json> lines;
    std::string err;
};

HostRun runHost(const std::string& args, const std::string& input) {
    TempDir io;
    velmora::testing::writeFile(io / "in.txt", input);
    std::string cmd = std::string(VELMORA_BRIDGE_BIN) + " " + args + " < " + (io / "in.txt").string() + " > " +
                      (io / "out.txt").string() + " 2> " + (io / "err.txt").string();
    HostRun run;
    run.status = std::system(cmd.c_str());
    std::istringstream out(velmora::testing::readFile(io / "out.txt"));
    for (std::string line; std::getline(out, line);) run.lines.push_back(json::parse(line));
    run.err = velmora::testing::readFile(io / "err.txt");
    return run;
}

} // namespace

TEST(Host, AnswersEachLineAndSurvivesGarbage) {
    TempDir data;
    std::string input = "{\"action\":\"getSettings\",\"id\":\"1\"}\n"
                        "garbage\n\n[1,2]\n{\"id\":\n"
                        "{\"action\":\"saveSettings\",\"id\":2,\"payload\":{\"keywords\":\"rust, go\"}}\n"
                        "{\"action\":\"noSuchThing\",\"id\":\"3\"}\n"
                        "{\"action\":\"getSettings\"}\n";
    auto run = runHost("--data-dir " + data.path().string(), input);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 3u);
    std::map<std::string, json> byId;
    for (auto& l : run.lines) byId[l["id"]] = l;
    EXPECT_EQ(byId["1"]["data"].size(), 10u);
    EXPECT_EQ(byId["2"]["data"]["keywords"], "rust, go");
    EXPECT_EQ(byId["3"]["error"], "Unknown Velmora action: noSuchThing");
    EXPECT_TRUE(std::filesystem::exists(data / "velmora.db"));
}

TEST(Host, ADatabaseThatCannotBeOpenedStopsStartUp) {
    TempDir data;
    velmora::testing::writeFile(data / "velmora.db", std::string(8192, 'z'));
    auto run = runHost("--data-dir " + data.path().string(), "{\"action\":\"getSettings\",\"id\":\"1\"}\n");
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_EQ(run.err.rfind("Velmora could not start\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("file is not a database"), std::string::npos) << run.err;
}

// Nesting and size are refused before any value is built; the process must survive and answer
// by id whenever the id came before the offending part.
TEST(Host, RefusesRequestsTooDeepOrTooLargeAndKeepsServing) {
    TempDir data;
    auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    auto request = [](const std::string& id, const std::string& payload) {
        return "{\"action\":\"getSettings\",\"id\":\"" + id + "\",\"payload\":" + payload + "}\n";
    };
    std::string input = request("deep", nested(150000)) +
                        request("over", nested(JSONTools::kMaxRequestDepth)) +         // 513 with the envelope
                        request("limit", nested(JSONTools::kMaxRequestDepth - 1)) +    // exactly 512
                        "{\"action\":\"getSettings\",\"payload\":" + nested(200000) + ",\"id\":\"late\"}\n" +
                        request("huge", "\"" + std::string(JSONTools::kMaxRequestBytes, 'x') + "\"") +
                        "{\"id\":7,\"payload\":\"" + std::string(JSONTools::kMaxRequestBytes + 10, 'y') +
                        "\",\"action\":\"getSettings\"}\n" + request("after", "{}");
    auto run = runHost("--data-dir " + data.path().string(), input);
    EXPECT_EQ(run.status, 0) << run.err;
    std::map<std::string, json> byId;
    for (auto& l : run.lines) byId[l["id"]] = l;
    EXPECT_EQ(run.lines.size(), 7u);
    for (const char* id : {"deep", "over", "late"}) { // the id is read even past a deep payload
        EXPECT_EQ(byId[id]["ok"], false) << id;
        EXPECT_EQ(byId[id]["error"], "Velmora could not read this request: it nests more than 512 levels deep.");
    }
    for (const char* id : {"huge", "7"}) {
        EXPECT_EQ(byId[id]["ok"], false) << id;
        EXPECT_EQ(byId[id]["error"], "Velmora could not read this request: it is larger than 8 MB.");
    }
    EXPECT_EQ(byId["limit"]["ok"], true);
    EXPECT_EQ(byId["after"]["ok"], true);
}
