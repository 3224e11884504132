#include "interview/InterviewPrepService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "storage/SQLiteDatabase.h"
#include "support/ModelFixtureServer.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

using namespace velmora;
using namespace velmora::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using nlohmann::json;

namespace {

const std::string kDescription =
    "We are hiring a support engineer to own escalations for our payments platform. You will debug "
    "webhooks, write runbooks and work with product on reliability.";

struct Fixture {
    TempDir dir;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<InterviewPrepService> service;

    Fixture() {
        auto sqlite = std::make_shared<SQLiteDatabase>((dir / "velmora.db").string());
        db = std::make_shared<DatabaseService>(sqlite);
        db->initialize();
        db->setSetting("ollamaUrl", "http://127.0.0.1:9"); // nothing listens there
        service = std::make_shared<InterviewPrepService>(db, std::make_shared<ResumeService>(db));
    }
};

std::string numbered(int count) {
    std::string s;
    for (int i = 1; i <= count; ++i) s += std::to_string(i) + ". How would you handle scenario number " + std::to_string(i) + "?\n";
    return s;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VelmoraError& e) {
        return e.message();
    }
    return "<no error>";
}

} // namespace

TEST(ParseQuestions, MarkersShortLinesAndQuestionMarks) {
    auto q = InterviewPrepService::parseQuestions(
        "Here are your questions:\n\n"
        "1) Describe your last on-call shift.\n"
        "  - How do you debug a failing webhook?  \r\n"
        "* Why?\n"
        "• Tell me about a hard customer\n"
        "12. Walk me through a runbook you wrote？\n"
        "Walk me through a runbook you wrote？\n"
        "1) Describe your last on-call shift.\n");
    EXPECT_THAT(q, ElementsAre("Here are your questions:?", "Describe your last on-call shift.?",
                               "How do you debug a failing webhook?", "Tell me about a hard customer?",
                               "Walk me through a runbook you wrote？", "Walk me through a runbook you wrote？",
                               "Describe your last on-call shift.?"));
    EXPECT_TRUE(InterviewPrepService::parseQuestions("").empty());
    // Eleven characters after the marker is too short; twelve is enough.
    EXPECT_TRUE(InterviewPrepService::parseQuestions("- abcdefghijk").empty());
    EXPECT_THAT(InterviewPrepService::parseQuestions("- abcdefghijkl"), ElementsAre("abcdefghijkl?"));
}

TEST(InterviewKeywords, FrequencyThenLengthWithoutStopWords) {
    std::string text = "Kubernetes kubernetes KUBERNETES. terraform, terraform; golang go remote remote remote "
                       "work working with about ...node.js-- #rust# rust abc";
    auto k = InterviewPrepService::extractKeywords(text, 5);
    EXPECT_THAT(k, ElementsAre("kubernetes", "terraform", "rust", "node.js", "golang"));
    EXPECT_EQ(k.size(), 5u);
}

TEST(InterviewInput, TitleIsCheckedBeforeDescription) {
    Fixture f;
    EXPECT_EQ(errorOf([&] { f.service->generateQuestions(" Q ", "short", "en"); }), "Enter a job title.");
    EXPECT_EQ(errorOf([&] { f.service->generateQuestions("QA", std::string(39, 'x') + "  \n", "en"); }),
              "Paste more of the job description so Velmora can tailor the interview questions.");
    EXPECT_NO_THROW(f.service->generateQuestions("QA", std::string(40, 'x'), "en"));
}

TEST(InterviewModel, KeepsTheFirstEighteenAndSendsTheJob) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer(numbered(25)));
    Fixture f;
    f.db->setSetting("ollamaUrl", server.base());

    json r = f.service->generateQuestions("  Support Engineer ", "  " + kDescription + "  ", "es");
    EXPECT_EQ(r["mode"], "private_ai");
    ASSERT_EQ(r["questions"].size(), 18u);
    EXPECT_EQ(r["questions"][0], "How would you handle scenario number 1?");
    EXPECT_EQ(r["questions"][17], "How would you handle scenario number 18?");
    EXPECT_EQ(r["notice"], "Preguntas creadas con asistencia privada de IA a partir de la descripción del puesto.");

    std::string prompt = json::parse(server.requests().at(0).body)["prompt"];
    EXPECT_EQ(prompt,
              "You are an expert interview coach. Create exactly 18 realistic interview questions for the job below.\n"
              "Use the job description as the primary source. Mix role-specific, technical/functional, behavioral, "
              "situational, stakeholder, performance, and remote-work questions where appropriate.\n"
              "Do not invent facts about the employer. Do not provide answers. Return one question per line with no "
              "headings or commentary.\nWrite all questions in Spanish.\n\nJOB TITLE:\nSupport Engineer\n\nJOB "
              "DESCRIPTION:\n" +
                  kDescription);
}

TEST(InterviewModel, TooFewUsableLinesOrNoModelGiveTheBank) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer(numbered(7) + "- Why?\n- Ok?\n"));
    Fixture f;
    f.db->setSetting("ollamaUrl", server.base());
    json r = f.service->generateQuestions("Support Engineer", kDescription, "en");
    EXPECT_EQ(r["mode"], "offline_fallback");
    EXPECT_EQ(r["notice"], "Private AI was unavailable, so Velmora created role-focused questions locally from the "
                           "title and description.");
    EXPECT_EQ(r["questions"][0], "What experience best prepares you for the Support Engineer role?");
    EXPECT_EQ(server.requestCount(), 1u);

    server.setDefault(ModelFixtureServer::answer(numbered(8)));
    EXPECT_EQ(f.service->generateQuestions("Support Engineer", kDescription, "en")["mode"], "private_ai");

    server.setDefault(ModelFixtureServer::status(500));
    EXPECT_EQ(f.service->generateQuestions("Support Engineer", kDescription, "en")["mode"], "offline_fallback");
}

TEST(InterviewFallback, BankRowsThenKeywordQuestions) {
    Fixture f; // no model
    std::string description = "Webhooks matter. We debug webhooks and more webhooks. Escalations too: escalations. "
                              "Python once.";
    json r = f.service->generateQuestions("Support Engineer", description, "xx");
    auto q = r["questions"].get<std::vector<std::string>>();
    ASSERT_EQ(q.size(), 17u);
    EXPECT_EQ(q[1], "Why are you interested in this Support Engineer position?");
    EXPECT_EQ(q[11], "What questions would you ask during your first few weeks to understand the role\u2019s "
                     "priorities?");
    EXPECT_EQ(q[12], "The job description mentions webhooks. How have you used or worked with webhooks in a real "
                     "situation?");
    EXPECT_EQ(q[13], "The job description mentions escalations. How have you used or worked with escalations in a "
                     "real situation?");
    std::set<std::string> unique;
    for (const auto& s : q) unique.insert(text::lower(s));
    EXPECT_EQ(unique.size(), q.size());
}

TEST(InterviewFallback, LanguagesAreSelectedCaseInsensitively) {
    Fixture f;
    json fr = f.service->generateQuestions("Data Analyst", kDescription, "FR");
    EXPECT_EQ(fr["questions"][0], "Quelle expérience vous prépare le mieux au poste de Data Analyst ?");
    EXPECT_EQ(fr["questions"][1], "Pourquoi ce poste de Data Analyst vous intéresse-t-il ?");
    EXPECT_EQ(fr["notice"], "L\u2019IA privée était indisponible ; Velmora a créé les questions localement à partir du "
                            "titre et de la description.");
    json ja = f.service->generateQuestions("Data Analyst", kDescription, "ja");
    EXPECT_EQ(ja["questions"][0], "What experience best prepares you for the Data Analyst role?");

    EXPECT_EQ(InterviewPrepService::buildFallback("QA", "", "de")[1], "Warum interessiert Sie die Position QA?");
    EXPECT_EQ(InterviewPrepService::buildFallback("QA", "", "it")[0],
              "Quale esperienza ti prepara meglio per il ruolo di QA?");
    EXPECT_EQ(InterviewPrepService::buildFallback("QA", "", "pt").size(), 12u);
    EXPECT_EQ(InterviewPrepService::keywordQuestion("sql", "de"),
              "Die Stellenbeschreibung nennt sql. Wie haben Sie sql in einer realen Arbeitssituation eingesetzt?");
    EXPECT_EQ(InterviewPrepService::notice("pt", true),
              "Perguntas criadas com assistência privada de IA a partir da descrição da vaga.");
}
