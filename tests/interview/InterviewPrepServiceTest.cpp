#include "interview/InterviewPrepService.h"

#include "core/VelmoraError.h"
#include "resume/ResumeTestSupport.h"
#include "support/ModelFixtureServer.h"

#include <gmock/gmock.h>

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

// The service over a real database; nothing answers as its model until a test points it at one.
struct Fixture : ResumeFixture {
    Service prep{db, service};
};

std::string numbered(int count) {
    std::string s;
    for (int i = 1; i <= count; ++i) s += std::to_string(i) + ". How would you handle case " + std::to_string(i) + "?\n";
    return s;
}

} // namespace

TEST(InterviewQuestions, ParsedOnePerLineWithoutMarkersShortLinesOrMissingQuestionMarks) {
    auto q = Service::parseQuestions("\n1) Describe your last on-call shift.\n"
                                     "  - How do you debug a failing webhook?  \r\n* Why?\n- abcdefghijk\n"
                                     "• abcdefghijkl\n12. Walk me through a runbook you wrote？\n");
    EXPECT_THAT(q, ElementsAre("Describe your last on-call shift.?", "How do you debug a failing webhook?",
                               "abcdefghijkl?", "Walk me through a runbook you wrote？"));
    EXPECT_THAT(Service::extractKeywords("Kubernetes kubernetes KUBERNETES. terraform, terraform; golang go remote "
                                         "remote remote work working with about ...node.js-- #rust# rust abc",
                                         5),
                ElementsAre("kubernetes", "terraform", "rust", "node.js", "golang"));
}

TEST(InterviewQuestions, ModelAnswersAreKeptUpToEighteenElseTheBankIsUsed) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer(numbered(25)));
    Fixture f;
    f.useModelAt(server.base());
    EXPECT_THAT([&] { f.prep.generateQuestions(" Q ", kDescription, "en"); },
                ThrowsMessage<VelmoraError>("Enter a job title."));
    EXPECT_THAT([&] { f.prep.generateQuestions("QA", std::string(39, 'x') + "  \n", "en"); },
                ThrowsMessage<VelmoraError>("Paste more of the job description so Velmora can tailor the "
                                            "interview questions."));
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_NO_THROW(f.prep.generateQuestions("QA", std::string(40, 'x'), "en"));

    json r = f.prep.generateQuestions("  Support Engineer ", "  " + kDescription + "  ", "es");
    EXPECT_EQ(json::array({r["mode"], r["questions"].size(), r["questions"][17], r["notice"]}),
              json::array({"private_ai", 18, "How would you handle case 18?",
                           "Preguntas creadas con asistencia privada de IA a partir de la descripción del puesto."}));
    std::string prompt = json::parse(server.requests().at(1).body)["prompt"];
    for (const std::string part : {"Create exactly 18 realistic interview questions", "Do not invent facts",
                                   "Write all questions in Spanish.", "JOB TITLE:\nSupport Engineer\n\n"})
        EXPECT_NE(prompt.find(part), std::string::npos) << part;
    EXPECT_THAT(prompt, EndsWith("DESCRIPTION:\n" + kDescription));

    // Eight questions are enough; fewer give the bank, as a model that does not answer does (below).
    for (const auto& [answer, mode] : {std::pair{numbered(8), "private_ai"}, {numbered(7), "offline_fallback"}}) {
        server.setDefault(ModelFixtureServer::answer(answer));
        EXPECT_EQ(f.prep.generateQuestions("Support", kDescription, "en")["mode"], mode) << answer;
    }
}

// The notice of the bank is the bridge test's; here, what the bank asks.
TEST(InterviewQuestions, TheBankSpeaksTheLanguageAndAddsTheDescriptionsKeywords) {
    Fixture f;
    auto q = f.prep.generateQuestions("Support Engineer", kDescription, "FR")["questions"];
    ASSERT_EQ(q.size(), 17u); // twelve bank rows, five keywords
    EXPECT_EQ(q[1], "Pourquoi ce poste de Support Engineer vous intéresse-t-il ?");
    EXPECT_EQ(q[12], Service::keywordQuestion("escalations", "fr"));

    const std::tuple<std::string, std::string, std::string> languages[] = {
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
