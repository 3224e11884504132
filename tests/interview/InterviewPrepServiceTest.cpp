#include "interview/InterviewPrepService.h"

#include "core/VelmoraError.h"
#include "support/ModelFixtureServer.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

using namespace velmora;
using namespace velmora::testing;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;
using nlohmann::json;
using Service = InterviewPrepService;

namespace {

const std::string kDescription = "We are hiring a support engineer to own escalations for our payments platform. "
                                 "Webhooks matter: debug webhooks and more webhooks. Escalations too: escalations.";

// The service with its model at `url`; by default nothing listens there.
struct Fixture {
    TempDir dir;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<Service> service;

    explicit Fixture(const std::string& url = "http://127.0.0.1:9") {
        db = std::make_shared<DatabaseService>(std::make_shared<SQLiteDatabase>((dir / "velmora.db").string()));
        db->initialize();
        db->setSetting("ollamaUrl", url);
        service = std::make_shared<Service>(db, std::make_shared<ResumeService>(db));
    }
};

std::string numbered(int count) {
    std::string s;
    for (int i = 1; i <= count; ++i) s += std::to_string(i) + ". How would you handle case " + std::to_string(i) + "?\n";
    return s;
}

} // namespace

TEST(InterviewQuestions, ParsedOnePerLineWithoutMarkersShortLinesOrMissingQuestionMarks) {
    auto q = Service::parseQuestions("Here are your questions:\n\n1) Describe your last on-call shift.\n"
                                     "  - How do you debug a failing webhook?  \r\n* Why?\n- abcdefghijk\n"
                                     "• abcdefghijkl\n12. Walk me through a runbook you wrote？\n"
                                     "1) Describe your last on-call shift.\n");
    EXPECT_THAT(q, ElementsAre("Here are your questions:?", "Describe your last on-call shift.?",
                               "How do you debug a failing webhook?", "abcdefghijkl?",
                               "Walk me through a runbook you wrote？", "Describe your last on-call shift.?"));
    EXPECT_THAT(Service::extractKeywords("Kubernetes kubernetes KUBERNETES. terraform, terraform; golang go remote "
                                         "remote remote work working with about ...node.js-- #rust# rust abc",
                                         5),
                ElementsAre("kubernetes", "terraform", "rust", "node.js", "golang"));
}

TEST(InterviewQuestions, ModelAnswersAreKeptUpToEighteenElseTheBankIsUsed) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer(numbered(25)));
    Fixture f(server.base());
    EXPECT_THAT([&] { f.service->generateQuestions(" Q ", kDescription, "en"); },
                ThrowsMessage<VelmoraError>("Enter a job title."));
    EXPECT_THAT([&] { f.service->generateQuestions("QA", std::string(39, 'x') + "  \n", "en"); },
                ThrowsMessage<VelmoraError>("Paste more of the job description so Velmora can tailor the "
                                            "interview questions."));
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_NO_THROW(f.service->generateQuestions("QA", std::string(40, 'x'), "en"));

    json r = f.service->generateQuestions("  Support Engineer ", "  " + kDescription + "  ", "es");
    EXPECT_EQ(r["mode"], "private_ai");
    ASSERT_EQ(r["questions"].size(), 18u);
    EXPECT_EQ(r["questions"][17], "How would you handle case 18?");
    EXPECT_EQ(r["notice"], "Preguntas creadas con asistencia privada de IA a partir de la descripción del puesto.");
    std::string prompt = json::parse(server.requests().at(1).body)["prompt"];
    for (const std::string part : {"Create exactly 18 realistic interview questions", "Do not invent facts",
                                   "Write all questions in Spanish.", "JOB TITLE:\nSupport Engineer\n\n"})
        EXPECT_NE(prompt.find(part), std::string::npos) << part;
    EXPECT_THAT(prompt, EndsWith("DESCRIPTION:\n" + kDescription));

    // Eight usable lines are enough; fewer, or a failing model, give the bank.
    const std::pair<ModelFixtureServer::Reply, std::string> replies[] = {
        {ModelFixtureServer::answer(numbered(8)), "private_ai"},
        {ModelFixtureServer::answer(numbered(7) + "- Why?\n- Ok?\n"), "offline_fallback"},
        {ModelFixtureServer::status(500), "offline_fallback"}};
    for (const auto& [reply, mode] : replies) {
        server.setDefault(reply);
        EXPECT_EQ(f.service->generateQuestions("Support", kDescription, "en")["mode"], mode) << reply.body;
    }
}

TEST(InterviewQuestions, TheBankSpeaksTheLanguageAndAddsTheDescriptionsKeywords) {
    Fixture f;
    json r = f.service->generateQuestions("Support Engineer", kDescription, "FR");
    EXPECT_EQ(r["notice"], "L\u2019IA privée était indisponible ; Velmora a créé les questions localement à partir du "
                           "titre et de la description.");
    auto q = r["questions"].get<std::vector<std::string>>();
    ASSERT_EQ(q.size(), 17u); // twelve bank rows, five keywords
    EXPECT_EQ(q[1], "Pourquoi ce poste de Support Engineer vous intéresse-t-il ?");
    EXPECT_EQ(q[12], Service::keywordQuestion("escalations", "fr"));
    EXPECT_EQ(q[13], Service::keywordQuestion("webhooks", "fr"));
    EXPECT_EQ(std::set<std::string>(q.begin(), q.end()).size(), q.size());

    const std::tuple<std::string, std::string, std::string> languages[] = {
        {"en", "What experience best prepares you for the QA role?", "The job description mentions sql."},
        {"xx", "What experience best prepares you for the QA role?", "The job description mentions sql."},
        {"es", "¿Qué experiencia te prepara mejor para el puesto de QA?", "La descripción menciona sql."},
        {"de", "Welche Erfahrung bereitet Sie am besten auf die Position QA vor?", "Die Stellenbeschreibung nennt"},
        {"it", "Quale esperienza ti prepara meglio per il ruolo di QA?", "La descrizione menziona sql."},
        {"pt", "Qual experiência prepara você melhor para a função de QA?", "A descrição menciona sql."}};
    for (const auto& [lang, first, keyword] : languages) {
        EXPECT_EQ(Service::buildFallback("QA", "", lang).at(0), first) << lang;
        EXPECT_THAT(Service::keywordQuestion("sql", lang), StartsWith(keyword)) << lang;
    }
}
