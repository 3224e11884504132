// The resume and interview actions end to end: through the action table in-process, and
// through the real velmora-bridge program, with and without a model server.

#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"
#include "support/ModelFixtureServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

using namespace velmora;
using namespace velmora::testing;

namespace {

const std::string kDescription = "Own escalations for the payments platform, debug webhooks and write runbooks.";

class ResumeActionsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<AppContext> ctx = AppContext::create(AppPaths(dir / "data"));
    QueueUiLoop loop;
    BackgroundRunner background{2};
    std::vector<json> delivered;
    Bridge bridge{loop, background, [this](const std::string& text) { delivered.push_back(json::parse(text)); }};

    void SetUp() override {
        ctx->db->setSetting("ollamaUrl", "http://127.0.0.1:9"); // no model unless a test starts one
        registerActions(bridge, *ctx);
    }

    json call(const std::string& action, const json& payload) {
        delivered.clear();
        bridge.receive({{"action", action}, {"id", "r"}, {"payload", payload}});
        EXPECT_TRUE(loop.runUntil([&] { return bridge.inFlight() == 0; }, std::chrono::seconds(30)));
        loop.drain();
        EXPECT_EQ(delivered.size(), 1u);
        return delivered.empty() ? json() : delivered[0];
    }
};

std::string resumeText() {
    std::string s = "Jordan Avery\nSummary\nExperience\nSkills\nEducation\njordan@example.com\n(555) 123-4567\n"
                    "Grew revenue 20%\nCut costs 15%\nServed 300 clients\nLed built created implemented reduced\n";
    for (int i = 0; i < 300; ++i) s += "lorem ";
    return s;
}

} // namespace

TEST_F(ResumeActionsTest, WithoutAModelEveryActionGivesItsLocalResult) {
    writeFile(dir / "cv.txt", resumeText());

    json generated = call("generateResume", {{"prompt", "Support lead"}});
    EXPECT_EQ(generated["ok"], true);
    EXPECT_EQ(generated["data"]["mode"], "offline_template");

    json analysed = call("analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", 1}});
    EXPECT_EQ(analysed["data"]["aiStatus"], "ai_unavailable");
    EXPECT_EQ(analysed["data"]["analysis"]["score"], 100);
    // The text true is not a boolean: AI stays off.
    EXPECT_EQ(call("analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", "true"}})["data"]["aiStatus"],
              "not_requested");

    EXPECT_EQ(call("rewriteResumeFragment", {{"fragment", "  Led a team  "}})["data"],
              (json{{"text", "Led a team"}, {"mode", "offline"}}));
    EXPECT_EQ(call("rewriteResumeFragment", {{"fragment", "   "}})["data"], (json{{"text", ""}}));

    // The interface language is the default when the payload names none.
    ctx->db->setSetting("language", "de");
    json questions = call("generateInterviewQuestions", {{"title", "Support Engineer"}, {"description", kDescription}});
    EXPECT_EQ(questions["data"]["mode"], "offline_fallback");
    EXPECT_EQ(questions["data"]["questions"][1], "Warum interessiert Sie die Position Support Engineer?");
}

TEST_F(ResumeActionsTest, FailuresAreRepliedAsErrors) {
    EXPECT_EQ(call("generateResume", json::object())["error"], "Describe your background and the type of role you want.");
    EXPECT_EQ(call("analyzeResume", json::object())["error"], "Resume file was not found.");
    EXPECT_EQ(call("generateInterviewQuestions", {{"title", "A"}})["error"], "Enter a job title.");
}

TEST_F(ResumeActionsTest, WithAModelTheAnswersAreUsed) {
    ModelFixtureServer server;
    ctx->db->setSetting("ollamaUrl", server.base());
    server.setDefault(ModelFixtureServer::answer("Drafted."));
    EXPECT_EQ(call("generateResume", {{"prompt", "Support lead"}})["data"]["mode"], "private_ai");
    EXPECT_EQ(call("rewriteResumeFragment", {{"fragment", "led team"}, {"mode", "shorten"}})["data"],
              (json{{"text", "Drafted."}, {"mode", "private_ai"}}));
    std::string questions;
    for (int i = 1; i <= 9; ++i) questions += "- Question number " + std::to_string(i) + " about webhooks?\n";
    server.setDefault(ModelFixtureServer::answer(questions));
    json q = call("generateInterviewQuestions", {{"title", "Support Engineer"}, {"description", kDescription}, {"language", "it"}});
    EXPECT_EQ(q["data"]["mode"], "private_ai");
    EXPECT_EQ(q["data"]["questions"].size(), 9u);
    EXPECT_EQ(q["data"]["notice"], "Domande create con assistenza IA privata in base alla descrizione del lavoro.");
}

TEST(ResumeActionsHeadless, TheBridgeProgramAnswersAllFourActions) {
    TempDir dir;
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("Model text."));
    {
        auto ctx = AppContext::create(AppPaths(dir / "data"));
        ctx->db->setSetting("ollamaUrl", server.base());
    }
    writeFile(dir / "cv.txt", resumeText());
    std::vector<json> requests = {
        {{"id", "1"}, {"action", "generateResume"}, {"payload", {{"prompt", "notes"}}}},
        {{"id", "2"}, {"action", "analyzeResume"}, {"payload", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", true}}}},
        {{"id", "3"}, {"action", "rewriteResumeFragment"}, {"payload", {{"fragment", "line"}}}},
        {{"id", "4"}, {"action", "generateInterviewQuestions"}, {"payload", {{"title", "SRE"}, {"description", kDescription}}}},
    };
    std::string input;
    for (const auto& r : requests) input += r.dump() + "\n";
    writeFile(dir / "in.txt", input);
    std::string command = std::string(VELMORA_BRIDGE_BIN) + " --data-dir '" + (dir / "data").string() + "' < '" +
                          (dir / "in.txt").string() + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);

    std::map<std::string, json> replies;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        json reply = json::parse(line);
        replies[reply["id"]] = reply;
    }
    ASSERT_EQ(replies.size(), 4u) << output;
    EXPECT_EQ(replies["1"]["data"]["resume"], "Model text.");
    EXPECT_EQ(replies["2"]["data"]["aiFeedback"], "Model text.");
    EXPECT_EQ(replies["3"]["data"]["mode"], "private_ai");
    // One line is too few questions: the bank answers.
    EXPECT_EQ(replies["4"]["data"]["mode"], "offline_fallback");
    EXPECT_EQ(server.requestCount(), 4u);
}
