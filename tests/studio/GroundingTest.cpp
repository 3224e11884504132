// Model answers are only used when they say what the user's sources say.

#include "StudioTestEnv.h"

#include "core/Text.h"
#include "studio/GroundingCheck.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::ModelFixtureServer;
using velmora::testing::StudioEnv;
using Claims = std::vector<std::string>;

namespace {

const char* kFacts =
    "Full name: Jordan Avery\nEXISTING RESUME TEXT (verified user document):\nSUMMARY\nSite reliability engineer "
    "with eight years of experience running payment platforms on Kubernetes and PostgreSQL.\nEXPERIENCE\n"
    "Northwind Payments — Senior SRE, Mar 2020 – Present\n• Cut p99 checkout latency by 38% and saved $42,000 on "
    "120 nodes.\nEDUCATION\nB.S. Computer Science, Oregon State University, 2016\nSKILLS\nKubernetes, Go, Terraform";

std::string corpusFile(const char* name) { return std::string(VELMORA_FIXTURES_DIR) + "/resumes/corpus/" + name; }

} // namespace

TEST(Grounding, ClaimsTheSourcesDoNotHold) {
    struct Case {
        const char* answer;
        bool skillList;
        const char* language;
        Claims expected;
    };
    const std::vector<Case> cases = {
        {"Site reliability engineer with 8 years running Kubernetes and PostgreSQL platforms at Northwind Payments.",
         false, "en", {}},
        {"• Cut p99 latency by 38%, saving $42,000 across 120 nodes (Mar 2020 – Present).", false, "en", {}},
        {"Targets Senior Backend Engineer roles.", false, "en", {}},
        {"Grew revenue by 300% at Google.", false, "en", {"300%", "Google"}},
        {"Holds a PhD from MIT and a master's degree.", false, "en", {"PhD", "MIT", "master's"}},
        {"Kubernetes, Go, Quantum Computing", true, "en", {"Quantum Computing"}},
        {"Kubernetes, go, quantum computing", true, "en", {"quantum computing"}},
        // Skills the job asks for are the likeliest inventions, in any case.
        {"Ran streaming jobs on kafka for the payment platforms.", false, "en", {"kafka"}},
        {"Ran streaming jobs on Kafka.", false, "en", {"Kafka"}},
        // Capitalised nouns are ordinary words in German; names and numbers are still checked.
        {"Senkte die Latenz um 38% mit Kubernetes.", false, "de", {}},
        {"Senkte die Latenz um 52% bei der Deutschen Bank mit AWS.", false, "de", {"52%", "AWS"}},
    };
    for (const Case& c : cases) {
        GroundingCheck check(kFacts, "We need Kafka and Kubernetes experts.", "Senior Backend Engineer", c.language);
        EXPECT_EQ(check.unsupportedClaims(c.answer, c.skillList), c.expected) << c.answer;
    }
}

TEST(Grounding, InventingOrBlankModelsChangeNoFact) {
    StudioEnv env;
    env.modelAbsent();
    ResumeStudioRequest request;
    request.targetRole = "Senior Backend Engineer";
    request.useApplicationProfile = false;
    request.sourceResumePath = corpusFile("classic-us.txt");
    request.jobDescription = "Kafka, Kubernetes and PostgreSQL.";
    ResumeDocument offline = env.studio->build(request);

    ModelFixtureServer server;
    env.useModel(server.base());
    const std::vector<std::pair<std::string, std::string>> models = {
        {"Grew revenue by 300% at Google. PhD from MIT. Expert in Quantum Computing and Kafka, Kubernetes.",
         "unsupported_facts"},
        {" \n\t ", "ai_unavailable"},
    };
    for (const auto& [answer, reason] : models) {
        server.setDefault(ModelFixtureServer::answer(answer));
        ResumeDocument d = env.studio->build(request);
        SCOPED_TRACE(reason);
        for (auto field : {&ResumeDocument::summary, &ResumeDocument::skills, &ResumeDocument::experience,
                           &ResumeDocument::education, &ResumeDocument::certifications, &ResumeDocument::projects})
            EXPECT_EQ(d.*field, offline.*field);
        ASSERT_EQ(d.keptFromSource.size(), 6u);
        for (const KeptSection& kept : d.keptFromSource) EXPECT_EQ(kept.reason, reason) << kept.section;
        if (reason == "unsupported_facts")
            EXPECT_EQ(d.keptFromSource[0].claims, (Claims{"300%", "Google", "PhD", "MIT", "Quantum Computing", "Kafka"}));
    }

    // A faithful rephrasing is used, and nothing is reported for it.
    server.setDefault(ModelFixtureServer::answer("Kubernetes, PostgreSQL, Terraform, Go"));
    ResumeDocument faithful = env.studio->build(request);
    EXPECT_EQ(faithful.skills, "Kubernetes, PostgreSQL, Terraform, Go");
    for (const KeptSection& kept : faithful.keptFromSource) EXPECT_NE(kept.section, "skills");
}
