// Builds from the user's facts, without the model and against a scripted loopback model: which
// answers are used, which are replaced by grounded text, and what the prompts carry.
#include "StudioTestEnv.h"

using namespace velmora;
using namespace velmora::testing;
using S = ResumeStudioService;
using Words = std::vector<std::string>;

namespace {

const json kProfile = {
    {"fullName", "Jane Doe"}, {"email", "jane@example.com"}, {"phone", "+1 415 555 2671"}, {"cityState", "Austin, TX"},
    {"country", "United States"}, {"currentTitle", "Senior Data Engineer"}, {"yearsOfExperience", "7"},
    {"skills", "Python; SQL | Airflow, python, bash"},
    {"employmentHistory", "Acme Corp — Data Engineer (2019–2024)\n  Built ETL pipelines in Airflow"},
    {"education", "BSc Computer Science, MIT, 2015"}, {"certifications", "AWS Certified Data Analytics"},
    {"coverLetterTemplate", "Dear team, I like data."}};
const char* kJob = "We need Airflow and SQL experts for our data platform.";

struct AiStudio : ::testing::Test {
    ModelFixtureServer model;
    StudioEnv env{{}, model.base()};
    void SetUp() override { model.setDefault(ModelFixtureServer::status(500)); }
    std::string prompt(size_t i) const { return json::parse(model.requests().at(i).body).value("prompt", ""); }
};

ModelFixtureServer::Reply says(const std::string& text) { return ModelFixtureServer::answer(text); }

} // namespace

TEST(GroundedBuild, WithoutTheModelEverySectionIsGroundedAndStored) {
    StudioEnv env;
    env.profiles->save(kProfile);
    ResumeDocument d = env.studio->build({.targetRole = "  Data Platform Engineer ", .seniority = " Senior ",
                                          .style = "Classic serif", .pageCount = 2, .jobDescription = kJob, .language = "DE"});
    EXPECT_EQ(json({d.name, d.templateName, d.seniority, d.pageCount, d.language, d.coverLetterTemplate}),
              json({"Data Platform Engineer Resume", "classic", "Senior", 2, "de", "Dear team, I like data."}));
    EXPECT_EQ(d.contact, "Jane Doe\njane@example.com | +1 415 555 2671 | Austin, TX | United States");
    EXPECT_EQ(d.summary, "Senior Data Engineer with 7 years of experience, targeting Data Platform Engineer "
                         "opportunities. Verified skills include Airflow, SQL, bash, Python.");
    // The target role in the summary counts too; "need" is filler: 4 of 5 keywords, 80 -> 60 + 25.
    EXPECT_EQ(json({d.matchedKeywords, d.atsScore}), json({{"platform", "airflow", "data", "sql"}, 85}));
}

TEST(GroundedBuild, AnExistingResumeFillsWhatTheProfileLacksAndFailuresStoreNothing) {
    StudioEnv env;
    auto resume = env.dir / "resume.txt";
    writeFile(resume, "Sam Park\nsam@park.dev    SUMMARY\nAnalyst focused on retention.\nSKILLS:\nSQL, Tableau\n"
                      "PROJECTS\nChurn model");
    env.profiles->save(json{{"resumePath", resume.string()}, {"skills", "Looker"}});
    EXPECT_NE(errorOf([&] { env.studio->build({.targetRole = "Analyst", .sourceResumePath = env.dir / "gone.pdf"}); }),
              "<no error>");
    EXPECT_EQ(errorOf([&] { env.studio->build({.targetRole = "   "}); }), "Enter the job title you are targeting.");
    EXPECT_TRUE(env.studio->list().empty());

    // The same text as the stored copy: used once.
    ResumeDocument d = env.studio->build({.name = " Mine ", .targetRole = "Analyst", .sourceResumePath = resume});
    EXPECT_EQ(json({d.name, d.summary, d.skills, d.projects, d.contact}),
              json({"Mine", "Analyst focused on retention.", "Looker" /* the profile's own entry wins */,
                    "Churn model", "Sam Park\nsam@park.dev"}));
    EXPECT_EQ(d.sourceFacts.find("Churn model"), d.sourceFacts.rfind("Churn model"));
}

TEST_F(AiStudio, EveryBranchOfSectionGeneration) {
    env.profiles->save(kProfile);
    for (const auto& reply : {
             // summary: fenced draft, fenced fact-check -> the checked text
             says("```markdown\nSenior Data Engineer with seven years building Airflow pipelines.\n```"),
             says("```text\nSenior Data Engineer with 7 years building Airflow pipelines.\n```"),
             says("Python, SQL, [Add more skills]"),           // skills: placeholder -> grounded, no check
             says("Experience was not provided in the facts."), // experience: refusal -> grounded
             says("B.Sc. Computer Science — MIT (2015)"),       // education: usable draft ...
             ModelFixtureServer::status(500),                   // ... but the check fails -> grounded
             says("AWS Certified Data Analytics – Specialty"),  // certifications: usable draft ...
             says("[Insert certification ID]"),                 // ... unusable check -> the draft
             ModelFixtureServer::status(500),                   // projects: first call fails -> grounded (empty)
         })
        model.enqueue(reply);
    const ResumeStudioRequest r{.targetRole = "Data Platform Engineer", .pageCount = 2, .jobDescription = kJob, .language = "de"};
    ResumeDocument d = env.studio->build(r);
    EXPECT_EQ(json({d.summary, d.skills, d.experience, d.education, d.certifications, d.projects}),
              json({"Senior Data Engineer with 7 years building Airflow pipelines.", "SQL, Airflow, Python, bash",
                    "Acme Corp — Data Engineer (2019–2024)\nBuilt ETL pipelines in Airflow",
                    "BSc Computer Science, MIT, 2015", "AWS Certified Data Analytics – Specialty", ""}));
    ASSERT_EQ(model.requests().size(), 9u);

    // The draft prompt carries the rules, the request, every fact and the grounded baseline; the
    // check prompt carries the draft.
    const std::string grounded = S::fallbackSection("professional summary", d.sourceFacts, r);
    for (const std::string& part :
         {std::string("\nTarget role: Data Platform Engineer\n"), std::string("\nLength target: 2 page(s)\n"),
          std::string("\nOutput language: German\n"), "\nJob description: " + r.jobDescription + "\n",
          "VERIFIED SOURCE FACTS:\n" + d.sourceFacts + "\n", "\n" + grounded + "\n"})
        EXPECT_TRUE(text::contains(prompt(0), part)) << part;
    for (const char* part : {"Keep the output in German.", "\nDRAFT SECTION:\nSenior Data Engineer with seven years"})
        EXPECT_TRUE(text::contains(prompt(1), part)) << part;
}

TEST(Grounding, ClaimsTheSourcesDoNotHold) {
    const std::string facts = std::string("Full name: Jordan Avery\n") + S::kExistingResumeMarker + "\n" +
                              readFile(fixturePath("corpus/classic-us.txt"));
    const std::vector<std::tuple<const char*, bool, const char*, Words>> rows = {
        {"• SRE with 8 years running Kubernetes and PostgreSQL at Northwind Payments; cut p99 latency by 38%, saving "
         "$42,000 across 120 nodes (Mar 2020 – Present).", false, "en", {}},
        {"Targets Senior Backend Engineer roles; holds a PhD from MIT and a master's degree.", false, "en",
         {"PhD", "MIT", "master's"}},
        {"Kubernetes, go, quantum computing", true, "en", {"quantum computing"}},
        // Skills the job asks for are the likeliest inventions, in any case.
        {"Ran streaming jobs on kafka for the payment platforms.", false, "en", {"kafka"}},
        // Capitalised nouns are ordinary words in German; names and numbers are still checked.
        {"Senkte die Latenz um 38% mit Kubernetes.", false, "de", {}},
        {"Senkte die Latenz um 52% bei der Deutschen Bank mit AWS.", false, "de", {"52%", "AWS"}},
    };
    for (const auto& [answer, skillList, language, claims] : rows) {
        GroundingCheck check(facts, "We need Kafka and Kubernetes experts.", "Senior Backend Engineer", language);
        EXPECT_EQ(check.unsupportedClaims(answer, skillList), claims) << answer;
    }
}

// A silent model keeps every section too: the corpus test and the page journey show it.
TEST_F(AiStudio, AnInventingModelChangesNoFact) {
    const ResumeStudioRequest r{.targetRole = "Senior Backend Engineer",
                                .jobDescription = "Kafka, Kubernetes and PostgreSQL.",
                                .sourceResumePath = fixturePath("corpus/classic-us.txt"),
                                .useApplicationProfile = false};
    const auto sections = [](const ResumeDocument& d) {
        return Words{d.summary, d.skills, d.experience, d.education, d.certifications, d.projects};
    };
    const Words offline = sections(env.studio->build(r)); // every model call fails
    model.setDefault(
        says("Grew revenue by 300% at Google. PhD from MIT. Expert in Quantum Computing and Kafka, Kubernetes."));
    ResumeDocument d = env.studio->build(r);
    EXPECT_EQ(sections(d), offline);
    ASSERT_EQ(d.keptFromSource.size(), 6u);
    for (const KeptSection& kept : d.keptFromSource) EXPECT_EQ(kept.reason, "unsupported_facts") << kept.section;
    EXPECT_EQ(d.keptFromSource[0].claims, (Words{"300%", "Google", "PhD", "MIT", "Quantum Computing", "Kafka"}));
}

// The offline answers of these calls are left to the bridge test; here, what reaches the model.
TEST_F(AiStudio, RewritesBulletsAndLettersCarryTheirCutInputs) {
    const ResumeDocument d{.targetRole = "SRE", .language = "fr", .experience = "  Ran on-call.\n",
                           .coverLetterTemplate = std::string(8000, 't'), .sourceFacts = std::string(20000, 'f'),
                           .jobDescription = "  " + std::string(12000, 'j')};
    const std::vector<std::pair<std::function<json()>, Words>> rows = {
        {[&] { return env.studio->rewriteSection(d, "Experience", "SHORTEN"); },
         {"Make it more concise while preserving every fact.\nSTRICT RULES:", "\nOutput language: French\n",
          "\nJob description: " + std::string(9000, 'j') + "\n",
          "\nVerified source facts: " + std::string(16000, 'f') + "\n",
          "\nSection: Experience\nCurrent section:\n  Ran on-call.\n\nReturn only the revised section text."}},
        {[&] { return env.studio->improveBullet("• - Migrated services -\n", "facts", "SRE", "jd", "es"); },
         {"\nOutput language: Spanish\n", "\nOriginal bullet: • - Migrated services -\nReturn one improved bullet only."}},
        {[&] { return env.studio->generateCoverLetter(d, "Acme"); },
         {"\nCompany: Acme\nTarget role: SRE\nOutput language: French\n"}},
    };
    model.setDefault(says("Model text."));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(text::contains(rows[i].first().dump(), "Model text."));
        for (const std::string& part : rows[i].second)
            EXPECT_TRUE(text::contains(prompt(i), part)) << part.substr(0, 40);
    }
    // The letter's template closes its prompt, cut like the other inputs.
    EXPECT_TRUE(text::endsWith(prompt(2), "claims in it as facts): " + std::string(7000, 't')));
    // Unknown or empty sections never reach the model.
    EXPECT_EQ(env.studio->rewriteSection(d, "awards", "rewrite"), (json{{"text", ""}, {"notice", "This section is empty."}}));
    EXPECT_EQ(env.studio->rewriteSection(d, "skills", "rewrite")["notice"], "This section is empty.");
    EXPECT_EQ(model.requests().size(), rows.size());
}
