#include "ResumeTestSupport.h"
#include "support/ModelFixtureServer.h"

#include "core/Text.h"

#include <gmock/gmock.h>

#include <cstdlib>

using namespace velmora;
using namespace velmora::testing;
using ::testing::HasSubstr;
using nlohmann::json;
using Reply = ModelFixtureServer::Reply;

namespace {

const char* const kPrivacy = "Private AI service configuration failed the local-only privacy check.";
const char* const kUnexpected = "Private AI assistance returned an unexpected response.";

struct ModelClient : ::testing::Test {
    ModelFixtureServer server;
    ResumeFixture f;
    void SetUp() override { f.useModelAt(server.base()); }
    std::string prompt(size_t i) const { return json::parse(server.requests().at(i).body)["prompt"]; }
};

} // namespace

TEST(LocalAiAddress, OnlyTheThreeLoopbackNamesPassAndTheBasePathIsKept) {
    const std::vector<std::pair<std::string, std::string>> accepted = {
        {"http://localhost:11434///", "http://localhost:11434/api/generate"},
        {"http://127.0.0.1:8080/llm/v1/", "http://127.0.0.1:8080/llm/v1/api/generate"},
        {"http://[::1]:11434", "http://[::1]:11434/api/generate"},
    };
    for (const auto& [base, endpoint] : accepted) EXPECT_EQ(ResumeService::generateEndpoint(base), endpoint);
    for (const char* refused : {"http://192.168.1.20:11434", "http://10.0.0.5", "https://api.example.com",
                                "http://LOCALHOST:11434", "http://localhost.:11434", "http://localhost.example.com",
                                "http://localhost@example.com:11434", "http://127.0.0.2:11434", "http://[::2]:11434",
                                "localhost:11434", "not a url", "", "/"})
        EXPECT_EQ(errorOf([&] { ResumeService::generateEndpoint(refused); }), kPrivacy) << refused;
}

TEST_F(ModelClient, RefusedNamesNeverReachTheNetworkNorDoesAProxy) {
    const std::string port = server.base().substr(server.base().rfind(':') + 1);
    f.useModelAt("http://LocalHost:" + port); // it would reach the fixture server if a connection were made
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("hello"); }), kPrivacy);
    // A proxy would carry the prompt off the machine; one at a dead port would fail the request.
    setenv("http_proxy", "http://127.0.0.1:9", 1);
    setenv("HTTP_PROXY", "http://127.0.0.1:9", 1);
    f.useModelAt("http://localhost:" + port);
    std::string answer = f.service->askLocalAi("hi");
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    EXPECT_EQ(answer, "ok");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(ModelClient, SendsOneCompactRequestTrimsTheAnswerAndNamesEachFailure) {
    server.setDefault(ModelFixtureServer::answer("\n\t  A drafted answer.\n\n"));
    f.useModelAt(server.base() + "/prefix//");
    f.db->setSetting("ollamaModel", "tiny:1b");
    EXPECT_EQ(f.service->askLocalAi("Line one\nLine “two”"), "A drafted answer.");
    const auto sent = server.requests().at(0);
    EXPECT_EQ(json({sent.path, sent.contentType}), json({"/prefix/api/generate", "application/json"}));
    EXPECT_EQ(json::parse(sent.body), (json{{"model", "tiny:1b"}, {"prompt", "Line one\nLine “two”"}, {"stream", false}}));
    // A runaway answer is cut, not kept whole.
    server.enqueue(ModelFixtureServer::answer(std::string(100001, 'x')));
    EXPECT_EQ(f.service->askLocalAi("p").size(), 100000u);

    const std::vector<std::pair<Reply, std::string>> failures = {
        {{404, "{\"response\":\"not this\"}"}, kUnexpected},
        {{200, "{\"done\":true}"}, kUnexpected},
        {{200, "{\"response\":42}"}, kUnexpected},
        // A body that is not JSON fails with the parser's own words, not the status message.
        {{200, "<html>busy</html>", "text/html"}, "parse error"},
        {ModelFixtureServer::answer(" \n\t "), "Private AI assistance returned an empty answer."},
    };
    for (const auto& [reply, message] : failures) {
        server.enqueue(reply);
        EXPECT_THAT(errorOf([&] { f.service->askLocalAi("p"); }), HasSubstr(message));
    }
    Reply late = ModelFixtureServer::answer("too late");
    late.delay = std::chrono::seconds(5);
    server.setDefault(late);
    ResumeFixture impatient(std::chrono::milliseconds(200));
    impatient.useModelAt(server.base());
    EXPECT_THAT(errorOf([&] { impatient.service->askLocalAi("p"); }), HasSubstr("timed out"));
    f.useModelAt("http://127.0.0.1:9");
    EXPECT_THAT(errorOf([&] { f.service->askLocalAi("p"); }), HasSubstr("connect"));
}

TEST(LanguageName, MapsTheFiveCodesCaseInsensitivelyAndEverythingElseToEnglish) {
    std::string names;
    for (const char* code : {"es", "FR", "De", "it", "pt", "en", "", "ja", "pt-BR", " es"})
        names += ResumeService::languageName(code) + " ";
    EXPECT_EQ(names, "Spanish French German Italian Portuguese English English English English English ");
}

// The offline template, a blank fragment and a rewritten line's mode are left to the page
// journey and the host's action test.
TEST_F(ModelClient, AGeneratedResumeComesFromTheModelWithItsNotice) {
    EXPECT_EQ(errorOf([&] { f.service->generateResume(" \n\t ", "en"); }),
              "Describe your background and the type of role you want.");

    server.setDefault(ModelFixtureServer::answer("JORDAN AVERY\nSRE"));
    EXPECT_EQ(f.service->generateResume("  SRE, 8 years, Kubernetes \n", "DE"),
              (json{{"mode", "private_ai"}, {"resume", "JORDAN AVERY\nSRE"},
                    {"notice", "Generated with Velmora private AI assistance. Review all facts before submitting."}}));
    EXPECT_TRUE(text::endsWith(prompt(0), "Write the resume in German. User information:\n\nSRE, 8 years, Kubernetes"));
}

TEST(FragmentPrompt, FollowsItsModeAndCutsTheJobDescription) {
    const std::string prompt = ResumeService::fragmentPrompt("  Led the team  ", "  fact one  ", " SRE ",
                                                             "  " + std::string(7000, 'j') + "TAIL  ", "SHORTEN", "pt");
    // The job description is cut to 7,000 characters; the other inputs are trimmed.
    EXPECT_TRUE(text::endsWith(prompt, "\nOutput language: Portuguese\nJob description: " + std::string(7000, 'j') +
                                           "\nVerified source facts: fact one\nCurrent line: Led the team\nReturn one "
                                           "revised line only."));
    const std::vector<std::pair<std::string, std::string>> modes = {
        {"SHORTEN", "Shorten this resume line while preserving every fact.\nSTRICT RULES:"},
        {"strengthen", "clearer action-oriented wording while preserving every fact. Do not add a metric."},
        {"regenerate", "Regenerate this resume line from the same verified facts without adding any new fact."},
        {"bogus", "Rewrite this resume line for clarity and impact while preserving every fact."}};
    for (const auto& [mode, words] : modes)
        EXPECT_THAT(ResumeService::fragmentPrompt("x", "", "", "", mode, "en"), HasSubstr(words)) << mode;
}
