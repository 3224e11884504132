#include "ResumeTestSupport.h"
#include "support/ModelFixtureServer.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;
using namespace velmora::testing;
using ::testing::HasSubstr;
using nlohmann::json;

namespace {

const char* const kPrivacy = "Private AI service configuration failed the local-only privacy check.";
const char* const kUnexpected = "Private AI assistance returned an unexpected response.";

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VelmoraError& e) {
        return e.message();
    }
    return "<no error>";
}

} // namespace

TEST(LocalAiAddress, OnlyTheThreeLoopbackNamesPassAndTheBasePathIsKept) {
    EXPECT_EQ(ResumeService::generateEndpoint("http://localhost:11434"), "http://localhost:11434/api/generate");
    EXPECT_EQ(ResumeService::generateEndpoint("http://localhost:11434///"), "http://localhost:11434/api/generate");
    EXPECT_EQ(ResumeService::generateEndpoint("http://127.0.0.1:8080/llm/v1/"), "http://127.0.0.1:8080/llm/v1/api/generate");
    EXPECT_EQ(ResumeService::generateEndpoint("http://[::1]:11434"), "http://[::1]:11434/api/generate");
    // The scheme and port are not the check's business.
    EXPECT_EQ(ResumeService::generateEndpoint("https://localhost"), "https://localhost/api/generate");

    for (const char* refused : {"http://192.168.1.20:11434", "http://10.0.0.5", "https://api.example.com",
                                "http://LOCALHOST:11434", "http://Localhost", "http://localhost.example.com",
                                "http://localhost@example.com:11434", "http://127.0.0.2:11434", "http://[::2]:11434",
                                "localhost:11434", "not a url", "", "/"}) {
        EXPECT_EQ(errorOf([&] { ResumeService::generateEndpoint(refused); }), kPrivacy) << refused;
    }
}

TEST(LocalAiAddress, RefusedHostsNeverReachTheNetwork) {
    ModelFixtureServer server;
    ResumeFixture f;
    std::string port = std::to_string(server.port());

    // Each of these names would reach the fixture server if a connection were made.
    for (const std::string& base : {"http://LOCALHOST:" + port, "http://localhost.:" + port, "http://LocalHost:" + port}) {
        f.useModelAt(base);
        EXPECT_EQ(errorOf([&] { f.service->askLocalAi("hello"); }), kPrivacy) << base;
    }
    EXPECT_EQ(server.requestCount(), 0u);

    // Control: the accepted spelling of the same address does reach it.
    f.useModelAt("http://localhost:" + port);
    EXPECT_EQ(f.service->askLocalAi("hello"), "ok");
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST(LocalAiClient, SendsOneCompactRequestAndTrimsTheAnswer) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("\n\t  A drafted answer.\n\n"));
    ResumeFixture f;
    f.useModelAt(server.base() + "/prefix//");
    f.db->setSetting("ollamaModel", "tiny:1b");

    EXPECT_EQ(f.service->askLocalAi("Line one\nLine “two”"), "A drafted answer.");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/prefix/api/generate");
    EXPECT_EQ(requests[0].contentType, "application/json");
    json body = json::parse(requests[0].body);
    EXPECT_EQ(body, (json{{"model", "tiny:1b"}, {"prompt", "Line one\nLine “two”"}, {"stream", false}}));
}

TEST(LocalAiClient, ProxySettingsInTheEnvironmentAreIgnored) {
    ModelFixtureServer server;
    ResumeFixture f;
    f.useModelAt(server.base());
    // A proxy would carry the prompt off the machine; point one at a dead port to notice it.
    setenv("http_proxy", "http://127.0.0.1:9", 1);
    setenv("HTTP_PROXY", "http://127.0.0.1:9", 1);
    std::string answer = f.service->askLocalAi("hi");
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    EXPECT_EQ(answer, "ok");
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST(LocalAiClient, BadRepliesFailWithTheirMessages) {
    ModelFixtureServer server;
    ResumeFixture f;
    f.useModelAt(server.base());

    server.enqueue(ModelFixtureServer::status(500));
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("p"); }), kUnexpected);
    server.enqueue(ModelFixtureServer::status(404, "{\"response\":\"not this\"}"));
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("p"); }), kUnexpected);
    server.enqueue(ModelFixtureServer::raw("[\"response\"]"));
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("p"); }), kUnexpected);
    server.enqueue(ModelFixtureServer::raw("{\"done\":true}"));
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("p"); }), kUnexpected);
    server.enqueue(ModelFixtureServer::raw("{\"response\":42}"));
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("p"); }), kUnexpected);

    // A body that is not JSON fails with the parser's own words, not the status message.
    server.enqueue(ModelFixtureServer::raw("<html>busy</html>", "text/html"));
    std::string parseError = errorOf([&] { f.service->askLocalAi("p"); });
    EXPECT_NE(parseError, kUnexpected);
    EXPECT_THAT(parseError, HasSubstr("parse error"));

    // White space only is no answer; a runaway answer is cut, not kept whole.
    server.enqueue(ModelFixtureServer::answer(" \n\t "));
    EXPECT_EQ(errorOf([&] { f.service->askLocalAi("p"); }), "Private AI assistance returned an empty answer.");
    server.enqueue(ModelFixtureServer::answer(std::string(1024 * 1024, 'x')));
    EXPECT_EQ(f.service->askLocalAi("p").size(), 100000u);
}

TEST(LocalAiClient, BlankAnswersCountAsUnavailableEverywhere) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("  \n "));
    ResumeFixture f;
    f.useModelAt(server.base());
    EXPECT_EQ(f.service->generateResume("Support lead", "en")["mode"], "offline_template");
    EXPECT_EQ(f.service->rewriteFragment("led team", "", "", "", "rewrite", "en"),
              (json{{"text", "led team"}, {"mode", "offline"}}));
    TempDir dir;
    std::string body;
    for (int i = 0; i < 30; ++i) body += "Experience with Kafka and Go at Acme. ";
    writeFile(dir / "r.txt", body);
    json analysed = f.service->analyzeFile((dir / "r.txt").string(), true, "en");
    EXPECT_EQ(analysed["aiStatus"], "ai_unavailable");
    EXPECT_TRUE(analysed["aiFeedback"].is_null());
}

TEST(LocalAiClient, TransportFailuresCarryTheirOwnMessage) {
    int deadPort;
    {
        ModelFixtureServer gone;
        deadPort = gone.port();
    }
    ResumeFixture refused;
    refused.useModelAt("http://127.0.0.1:" + std::to_string(deadPort));
    std::string message = errorOf([&] { refused.service->askLocalAi("p"); });
    EXPECT_THAT(message, HasSubstr("connect"));

    ModelFixtureServer slow;
    ModelFixtureServer::Reply late = ModelFixtureServer::answer("too late");
    late.delay = std::chrono::seconds(30);
    slow.setDefault(late);
    ResumeFixture impatient(std::chrono::milliseconds(300));
    impatient.useModelAt(slow.base());
    EXPECT_THAT(errorOf([&] { impatient.service->askLocalAi("p"); }), HasSubstr("timed out"));
}

TEST(LanguageName, MapsTheFiveCodesCaseInsensitivelyAndEverythingElseToEnglish) {
    EXPECT_EQ(ResumeService::languageName("es"), "Spanish");
    EXPECT_EQ(ResumeService::languageName("FR"), "French");
    EXPECT_EQ(ResumeService::languageName("De"), "German");
    EXPECT_EQ(ResumeService::languageName("it"), "Italian");
    EXPECT_EQ(ResumeService::languageName("pt"), "Portuguese");
    for (const char* other : {"en", "", "ja", "pt-BR", " es"}) EXPECT_EQ(ResumeService::languageName(other), "English") << other;
}

TEST(GenerateResume, BlankNotesFailBeforeAnyRequest) {
    ModelFixtureServer server;
    ResumeFixture f;
    f.useModelAt(server.base());
    EXPECT_EQ(errorOf([&] { f.service->generateResume(" \n\t ", "en"); }),
              "Describe your background and the type of role you want.");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(GenerateResume, UsesTheModelWithTheNotesAndLanguage) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("JORDAN AVERY\nSRE"));
    ResumeFixture f;
    f.useModelAt(server.base());

    json result = f.service->generateResume("  SRE, 8 years, Kubernetes \n", "DE");
    EXPECT_EQ(result["mode"], "private_ai");
    EXPECT_EQ(result["resume"], "JORDAN AVERY\nSRE");
    EXPECT_EQ(result["notice"], "Generated with Velmora private AI assistance. Review all facts before submitting.");

    std::string prompt = json::parse(server.requests().at(0).body)["prompt"];
    EXPECT_THAT(prompt, HasSubstr("Never invent employers, dates, degrees, certifications, metrics, or skills."));
    EXPECT_TRUE(text::endsWith(prompt, "Write the resume in German. User information:\n\nSRE, 8 years, Kubernetes"))
        << prompt;
}

TEST(GenerateResume, FallsBackToTheOfflineTemplateWithTheNotes) {
    ResumeFixture f; // nothing listens at the model address
    json result = f.service->generateResume("\n  Support lead, Zendesk  \n", "en");
    EXPECT_EQ(result["mode"], "offline_template");
    EXPECT_EQ(result["notice"],
              "Private AI assistance was unavailable, so Velmora created a structured offline template instead.");

    const std::string& tmpl = ResumeService::offlineTemplate();
    std::vector<std::string> lines = text::split(tmpl, '\n', true);
    ASSERT_EQ(lines.size(), 27u); // 26 lines, each ending in a line feed
    EXPECT_EQ(lines[0], "[YOUR NAME]");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[4], "[2\u20134 lines describing your target role, years of relevant experience, strongest "
                        "specialties, and remote-work strengths.]");
    EXPECT_EQ(lines[7], "\u2022 [Skill] \u2022 [Skill] \u2022 [Skill] \u2022 [Tool/Technology] \u2022 [Domain]");
    EXPECT_EQ(lines[10], "[EMPLOYER] \u2014 [Job Title] | [Location/Remote] | [Month Year \u2013 Month Year]");
    EXPECT_EQ(lines[25], "TARGETING NOTES PROVIDED TO VELMORA");
    EXPECT_EQ(result["resume"], tmpl + "Support lead, Zendesk\n\nReplace every bracketed placeholder with verified "
                                       "facts before applying.");
}

TEST(FragmentRewrite, BlankFragmentAsksNothing) {
    ModelFixtureServer server;
    ResumeFixture f;
    f.useModelAt(server.base());
    EXPECT_EQ(f.service->rewriteFragment("  \n ", "facts", "SRE", "jd", "rewrite", "en"), (json{{"text", ""}}));
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(FragmentRewrite, PromptFollowsModeAndCutsLongTexts) {
    std::string jd = "  " + std::string(7000, 'j') + "TAIL  ";
    std::string prompt = ResumeService::fragmentPrompt("  Led the team  ", "  fact one  ", " SRE ", jd, "SHORTEN", "pt");
    EXPECT_EQ(prompt, "Shorten this resume line while preserving every fact.\nSTRICT RULES: Use only verified source "
                      "facts. Never invent a metric, responsibility, employer, title, date, technology, skill, "
                      "credential, project, or achievement.\nTarget role:  SRE \nOutput language: Portuguese\nJob "
                      "description: " +
                          std::string(7000, 'j') +
                          "\nVerified source facts: fact one\nCurrent line: Led the team\nReturn one revised line only.");
    EXPECT_THAT(ResumeService::fragmentPrompt("x", "", "", "", "strengthen", "en"),
                HasSubstr("clearer action-oriented wording while preserving every fact. Do not add a metric."));
    EXPECT_THAT(ResumeService::fragmentPrompt("x", "", "", "", "regenerate", "en"),
                HasSubstr("Regenerate this resume line from the same verified facts without adding any new fact."));
    EXPECT_TRUE(text::startsWith(ResumeService::fragmentPrompt("x", "", "", "", "bogus", "en"),
                                 "Rewrite this resume line for clarity and impact while preserving every fact."));
}

TEST(FragmentRewrite, ModelAnswerOrTheUnchangedLine) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("  Led a 6-person team.\n"));
    ResumeFixture f;
    f.useModelAt(server.base());
    EXPECT_EQ(f.service->rewriteFragment(" led team ", "", "", "", "rewrite", "en"),
              (json{{"text", "Led a 6-person team."}, {"mode", "private_ai"}}));

    server.setDefault(ModelFixtureServer::status(503));
    EXPECT_EQ(f.service->rewriteFragment(" led team ", "", "", "", "rewrite", "en"),
              (json{{"text", "led team"}, {"mode", "offline"}}));
}
