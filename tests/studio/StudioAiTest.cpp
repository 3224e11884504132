// The AI paths against a scripted loopback model server: which answers are used, which are
// replaced by grounded text, and what the prompts carry.

#include "StudioTestEnv.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::ModelFixtureServer;
using velmora::testing::StudioEnv;
using S = ResumeStudioService;

namespace {

std::vector<std::string> prompts(const ModelFixtureServer& server) {
    std::vector<std::string> result;
    for (const auto& request : server.requests()) result.push_back(json::parse(request.body).value("prompt", ""));
    return result;
}

struct AiStudio : ::testing::Test {
    StudioEnv env;
    ModelFixtureServer model;
    void SetUp() override {
        model.setDefault(ModelFixtureServer::status(500));
        env.useModel(model.base());
    }
    void script(std::initializer_list<ModelFixtureServer::Reply> replies) {
        for (const auto& reply : replies) model.enqueue(reply);
    }
};

ModelFixtureServer::Reply says(const std::string& text) { return ModelFixtureServer::answer(text); }
ModelFixtureServer::Reply fails() { return ModelFixtureServer::status(500); }

} // namespace

TEST_F(AiStudio, EveryBranchOfSectionGeneration) {
    env.profiles->save(json{{"fullName", "Jane Doe"},
                            {"email", "jane@example.com"},
                            {"currentTitle", "Senior Data Engineer"},
                            {"yearsOfExperience", "7"},
                            {"skills", "Python; SQL | Airflow"},
                            {"employmentHistory", "Acme Corp — Data Engineer (2019–2024)\nBuilt ETL pipelines"},
                            {"education", "BSc Computer Science, MIT, 2015"},
                            {"certifications", "AWS Certified Data Analytics"}});
    script({
        // summary: fenced draft, fenced fact-check -> the checked text
        says("```markdown\nSenior Data Engineer with seven years building Airflow pipelines.\n```"),
        says("```text\nSenior Data Engineer with 7 years building Airflow pipelines.\n```"),
        says("Python, SQL, [Add more skills]"),           // skills: placeholder -> grounded, no check
        says("Experience was not provided in the facts."), // experience: refusal -> grounded
        says("B.Sc. Computer Science — MIT (2015)"),       // education: usable draft ...
        fails(),                                           // ... but the check fails -> grounded
        says("AWS Certified Data Analytics – Specialty"),  // certifications: usable draft ...
        says("[Insert certification ID]"),                 // ... unusable check -> the draft
        fails(),                                           // projects: first call fails -> grounded (empty)
    });
    ResumeStudioRequest r;
    r.targetRole = "Data Platform Engineer";
    r.pageCount = 2;
    r.language = "de";
    r.jobDescription = "Airflow and SQL";
    ResumeDocument d = env.studio->build(r);

    EXPECT_EQ(d.summary, "Senior Data Engineer with 7 years building Airflow pipelines.");
    EXPECT_EQ(d.skills, "SQL, Airflow, Python");
    EXPECT_EQ(d.experience, "Acme Corp — Data Engineer (2019–2024)\nBuilt ETL pipelines");
    EXPECT_EQ(d.education, "BSc Computer Science, MIT, 2015");
    EXPECT_EQ(d.certifications, "AWS Certified Data Analytics – Specialty");
    EXPECT_EQ(d.projects, "");
    EXPECT_EQ(model.requestCount(), 9u);

    std::vector<std::string> sent = prompts(model);
    std::string facts = d.sourceFacts;
    std::string grounded = S::fallbackSection("professional summary", facts, r);
    EXPECT_EQ(sent[0],
              "Build the professional summary section of an ATS-friendly resume. Write 2-4 concise sentences. Use only "
              "verified facts. Do not invent metrics, employers, skills, credentials, dates, or responsibilities.\n"
              "ABSOLUTE FACT RULE: You may rephrase supplied facts, but you may not create a new fact. Never invent "
              "employers, job titles, dates, degrees, schools, certifications, skills, technologies, projects, years "
              "of experience, responsibilities, metrics, or accomplishments.\nTarget role: Data Platform Engineer\n"
              "Seniority: Mid-level\nPreferred style: Modern ATS\nLength target: 2 page(s)\nOutput language: German\n"
              "Job description: Airflow and SQL\nVERIFIED SOURCE FACTS:\n" +
                  facts +
                  "\nLOCAL GROUNDED SECTION (use as the minimum factual baseline when it contains content):\n" +
                  grounded + "\nReturn only the section content with no heading.");
    EXPECT_EQ(sent[1], "Fact-check this resume professional summary against VERIFIED SOURCE FACTS.\nRemove or rewrite "
                       "every claim that is not explicitly supported. Do not add any new fact while correcting it. "
                       "Preserve supported employers, titles, dates, degrees, certifications, skills, technologies, "
                       "projects, responsibilities, achievements, years and metrics exactly in meaning. If the source "
                       "does not support a claim, delete it. Keep the output in German.\nVERIFIED SOURCE FACTS:\n" +
                           facts +
                           "\nDRAFT SECTION:\nSenior Data Engineer with seven years building Airflow pipelines.\n"
                           "Return only the corrected section with no heading or commentary.");
    EXPECT_TRUE(text::startsWith(sent[2], "Build the skills section"));
    EXPECT_TRUE(text::startsWith(sent[8], "Build the projects section"));

    // Short answers against long grounded text, and an empty answer.
    script({says("Data engineer."), says("Acme."), says("   ")});
    EXPECT_EQ(env.studio->generateSection("professional summary", facts, r, "rules"), grounded);
    std::string history = S::fallbackSection("professional experience", facts, r);
    EXPECT_EQ(env.studio->generateSection("professional experience", facts, r, "rules"), history);
    EXPECT_EQ(env.studio->generateSection("professional experience", facts, r, "rules"), history);
    EXPECT_EQ(model.requestCount(), 12u);
}

TEST_F(AiStudio, PromptsCutLongInputs) {
    ResumeDocument d;
    d.targetRole = "SRE";
    d.summary = "Keeps systems up.";
    d.jobDescription = "  " + std::string(12000, 'j');
    d.sourceFacts = std::string(20000, 'f');
    script({says("Shorter.")});
    env.studio->rewriteSection(d, "summary", "x");
    std::string prompt = prompts(model).at(0);
    EXPECT_NE(prompt.find("\nJob description: " + std::string(9000, 'j') + "\n"), std::string::npos);
    EXPECT_NE(prompt.find("\nVerified source facts: " + std::string(16000, 'f') + "\n"), std::string::npos);
}

TEST_F(AiStudio, SectionRewrite) {
    ResumeDocument d;
    d.targetRole = "SRE";
    d.language = "fr";
    d.experience = "  Ran on-call.\n";
    script({says("Led the on-call rotation.")});
    json result = env.studio->rewriteSection(d, "Experience", "SHORTEN");
    EXPECT_EQ(result, (json{{"text", "Led the on-call rotation."},
                            {"notice", "Rewritten with fact-preserving AI assistance."}}));
    std::string prompt = prompts(model).at(0);
    EXPECT_TRUE(text::startsWith(prompt, "You are editing one resume section. Make it more concise while preserving "
                                         "every fact.\nSTRICT RULES:"));
    EXPECT_TRUE(text::endsWith(prompt, "\nSection: Experience\nCurrent section:\n  Ran on-call.\n\nReturn only the "
                                       "revised section text."));
    EXPECT_NE(prompt.find("\nOutput language: French\n"), std::string::npos);

    script({says("x")});
    env.studio->rewriteSection(d, "experience", "polish");
    EXPECT_NE(prompts(model).at(1).find("Rewrite for clarity and professional impact"), std::string::npos);

    // Unknown or empty sections never reach the model.
    EXPECT_EQ(env.studio->rewriteSection(d, "awards", "rewrite"),
              (json{{"text", ""}, {"notice", "This section is empty."}}));
    EXPECT_EQ(env.studio->rewriteSection(d, "skills", "rewrite")["notice"], "This section is empty.");
    EXPECT_EQ(model.requestCount(), 2u);

    // A failing model leaves the section exactly as stored.
    EXPECT_EQ(env.studio->rewriteSection(d, "experience", "strengthen"),
              (json{{"text", "  Ran on-call.\n"},
                    {"notice", "AI assistance was unavailable; the section was left unchanged."}}));
}

TEST_F(AiStudio, BulletImprovement) {
    script({says("Led the migration of 40 services.")});
    json ok = env.studio->improveBullet(" • Migrated services ", "facts", "SRE", "jd", "es");
    EXPECT_EQ(ok, (json{{"bullet", "Led the migration of 40 services."}, {"mode", "private_ai"}}));
    EXPECT_TRUE(text::endsWith(prompts(model).at(0), "\nOriginal bullet: • Migrated services\nReturn one improved "
                                                     "bullet only."));
    EXPECT_NE(prompts(model).at(0).find("\nOutput language: Spanish\n"), std::string::npos);

    env.modelAbsent();
    EXPECT_EQ(env.studio->improveBullet("• - Migrated services -\n", "", "", "", "en"),
              (json{{"bullet", "Migrated services"}, {"mode", "offline"}}));
    EXPECT_THROW(
        {
            try {
                env.studio->improveBullet(" \n ", "", "", "", "en");
            } catch (const VelmoraError& e) {
                EXPECT_EQ(e.message(), "Enter a bullet to improve.");
                throw;
            }
        },
        VelmoraError);
}

TEST_F(AiStudio, CoverLetter) {
    ResumeDocument d;
    d.targetRole = "Data Engineer";
    d.language = "it";
    d.coverLetterTemplate = std::string(8000, 't');
    script({says("Dear team, ...")});
    EXPECT_EQ(env.studio->generateCoverLetter(d, "Acme"), (json{{"text", "Dear team, ..."}, {"mode", "private_ai"}}));
    std::string prompt = prompts(model).at(0);
    EXPECT_TRUE(text::endsWith(prompt, "do not treat unsupported claims in it as facts): " + std::string(7000, 't')));
    EXPECT_NE(prompt.find("\nCompany: Acme\nTarget role: Data Engineer\nOutput language: Italian\n"), std::string::npos);

    env.modelAbsent();
    json offline = env.studio->generateCoverLetter(d, "  ");
    EXPECT_EQ(offline["mode"], "offline");
    EXPECT_EQ(offline["text"],
              "Dear Hiring Manager,\n\nI am interested in the Data Engineer opportunity. My background includes the "
              "experience and skills summarized in my attached resume. I would welcome the opportunity to discuss how "
              "my verified experience aligns with the needs of this role.\n\nThank you for your consideration.\n\n"
              "Sincerely,");
    EXPECT_TRUE(text::startsWith(env.studio->generateCoverLetter(d, " Acme ")["text"].get<std::string>(),
                                 "Dear Hiring Manager,\n\nI am interested in the Data Engineer opportunity with Acme. "));
}
