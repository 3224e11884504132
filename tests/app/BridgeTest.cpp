#include "support/BridgeProcess.h"
#include "BridgeTestBed.h"
#include "core/RequestLimits.h"
#include "core/VelmoraError.h"

#include <future>

using namespace velmora;
using namespace velmora::testing;
using JSONTools::kMaxRequestBytes;
using JSONTools::kMaxRequestDepth;

namespace {

using BridgeTest = BridgeTestBed;

json okReply(const std::string& id, const json& data) {
    return {{"type", "response"}, {"id", id}, {"ok", true}, {"data", data}, {"error", nullptr}};
}
json failReply(const std::string& id, const std::string& error) {
    return {{"type", "response"}, {"id", id}, {"ok", false}, {"data", nullptr}, {"error", error}};
}

} // namespace

TEST_F(BridgeTest, EachRequestLineGetsExactlyTheReplyItsIdAsks) {
    int runs = 0;
    bridge.addSync("echo", [](const json& p) { return p; });
    bridge.addSync("count", [&](const json&) { return json{{"runs", ++runs}}; });
    bridge.addSync("boom", [](const json&) -> json { throw VelmoraError("Resume payload is invalid."); });
    bridge.addSync("nan", [](const json&) { return json{{"v", std::nan("")}}; });
    const struct { std::string line; json reply; } rows[] = { // a null reply: no reply at all
        {R"({"action":"echo","id":7,"payload":{"a":1}})", okReply("7", {{"a", 1}})},
        {R"({"action":"echo","id":"x","payload":[1,2]})", okReply("x", json::object())},
        {R"({"action":"boom","id":"1"})", failReply("1", "Resume payload is invalid.")},
        {R"({"action":"getNothing","id":"2"})", failReply("2", "Unknown Velmora action: getNothing")},
        {R"({"action":"nan","id":"3"})", failReply("3", "Velmora generated a response that could not be encoded.")},
        // A page string cut inside an emoji reaches us as a lone surrogate escape: the broken
        // half becomes U+FFFD and every well-formed escape stays intact.
        {R"({"action":"echo","id":"u","payload":{"cut":"ok \ud83d","low":"\ude00!","slash":"\\ud800","twice":"\ud800\ud800\ude00"}})",
         okReply("u", {{"cut", "ok \xEF\xBF\xBD"}, {"low", "\xEF\xBF\xBD!"}, {"slash", "\\ud800"},
                       {"twice", "\xEF\xBF\xBD\xF0\x90\x88\x80"}})},
        // Without an id the action runs but nobody is answered (garbage lines are the host's case).
        {R"({"action":"count"})", nullptr}, {R"({"action":"count","id":""})", nullptr},
        {R"({"action":"count","id":"z"})", okReply("z", {{"runs", 3}})},
    };
    for (const auto& row : rows) {
        delivered.clear();
        bridge.receiveLine(row.line);
        settle();
        if (row.reply.is_null()) EXPECT_TRUE(delivered.empty()) << row.line;
        else EXPECT_EQ(delivered, std::vector<json>{row.reply}) << row.line;
    }
    EXPECT_EQ(runs, 3);
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
    EXPECT_EQ(delivered, (std::vector<json>{okReply("2", {{"fast", true}}), okReply("1", {{"slow", true}})}));
}

// Saved one after another: each row sees what the rows before it stored.
TEST_F(BridgeTest, SaveSettingsValidatesEveryKeyAndIgnoresOthers) {
    int relabels = 0;
    ctx->applyNativeLanguage = [&] { ++relabels; };
    // The page's settings form sends valid values (the first-run journey); here what it cannot.
    const std::pair<json, json> rows[] = { // the payload, and these keys of the reply
        {{{"searchIntervalHours", 48}, {"homeCountryCode", " us "}, {"language", "DE"}, {"jobTitle", "  Nurse \n"},
          {"lastJobSync", "2020-01-01T00:00:00.000Z"}, {"bogus", 1}, {"theme", " Dark"}, {"welcomeDone", "no"}},
         {{"searchIntervalHours", "24"}, {"homeCountryCode", "US"}, {"language", "de"}, {"jobTitle", "Nurse"},
          {"lastJobSync", ""}, {"theme", "dark"}, {"welcomeDone", false}}},
        // null keeps what was stored (as text it would become a search word); lists are no
        // value; long text is cut to 200 characters.
        {{{"jobTitle", nullptr}, {"keywords", json::array({"rust"})}, {"homeCountryName", std::string(100000, 'x') + "é"},
          {"homeCountryCode", "USA"}, {"language", "ja"}, {"locationMode", "europe"}, {"theme", "sepia"}},
         {{"jobTitle", "Nurse"}, {"keywords", ""}, {"homeCountryName", std::string(200, 'x')}, {"homeCountryCode", ""},
          {"language", "en"}, {"locationMode", "worldwide"}, {"theme", "system"}}},
    };
    for (const auto& [payload, expected] : rows) {
        const json reply = call("saveSettings", payload);
        for (const auto& [key, value] : expected.items()) EXPECT_EQ(reply[key], value) << key << " after " << payload;
    }
    EXPECT_EQ(ctx->db->getSetting("bogus", "absent"), "absent");
    EXPECT_EQ(relabels, 2);
}

// The headless host over a real data folder: every line answered by id, garbage, oversized
// and over-deep requests refused without ending the process.
TEST(Host, RefusesRequestsTooDeepOrTooLargeAndKeepsServing) {
    TempDir data;
    auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    auto request = [](const std::string& id, const std::string& payload) {
        return R"({"action":"getSettings","id":")" + id + R"(","payload":)" + payload + "}\n";
    };
    const std::string input =
        std::string("garbage\n\n[1,2]\n{\"id\":\n") + R"({"action":"saveSettings","id":2,"payload":{"keywords":"rust, go"}})" "\n" +
        R"({"action":"getSettings"})" "\n" + request("over", nested(kMaxRequestDepth)) + // 513 with the envelope
        request("limit", nested(kMaxRequestDepth - 1)) +                             // exactly 512
        R"({"action":"getSettings","payload":)" + nested(200000) + R"(,"id":"late"})" "\n" +
        // Refused for its size alone: what follows the id is never read as JSON.
        R"({"id":7,"action":"getSettings","payload":)" + std::string(kMaxRequestBytes, '#') + "}\n" +
        request("after", "{}");
    BridgeRun run = runBridge(data.path(), input);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.lines.size(), 6u);
    auto& r = run.byId;
    const std::string deep = "Velmora could not read this request: it nests more than 512 levels deep.";
    EXPECT_EQ((json{r["2"]["data"]["keywords"], r["over"]["error"], r["late"]["error"], r["7"]["error"], r["limit"]["ok"],
                    r["after"]["ok"]}), // the id is read even past a deep payload
              (json{"rust, go", deep, deep, "Velmora could not read this request: it is larger than 8 MB.", true, true}));
}

TEST(Host, ADatabaseThatCannotBeOpenedStopsStartUp) {
    TempDir data;
    writeFile(data / "velmora.db", std::string(8192, 'z'));
    const BridgeRun run = runBridge(data.path(), R"({"action":"getSettings","id":"1"})" "\n");
    EXPECT_TRUE(run.status != 0 && run.lines.empty() && run.errors.rfind("Velmora could not start\n", 0) == 0 &&
                run.errors.find("file is not a database") != std::string::npos) << run.errors;
}
