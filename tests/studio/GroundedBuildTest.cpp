#include "StudioTestEnv.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;
using velmora::testing::StudioEnv;
using S = ResumeStudioService;
using Words = std::vector<std::string>;

namespace {

const char* kHistory = "Acme Corp — Data Engineer (2019–2024)\n  Built ETL pipelines in Airflow\nGlobex — Analyst (2016–2019)";

json fullProfile() {
    return json{{"fullName", "Jane Doe"},
                {"email", "jane@example.com"},
                {"phone", "+1 415 555 2671"},
                {"cityState", "Austin, TX"},
                {"country", "United States"},
                {"currentTitle", "Senior Data Engineer"},
                {"yearsOfExperience", "7"},
                {"skills", "Python; SQL | Airflow, python"},
                {"employmentHistory", kHistory},
                {"education", "BSc Computer Science, MIT, 2015"},
                {"certifications", "AWS Certified Data Analytics"},
                {"coverLetterTemplate", "Dear team, I like data."}};
}

ResumeStudioRequest request(const std::string& role) {
    ResumeStudioRequest r;
    r.targetRole = role;
    r.jobDescription = "We need Airflow and SQL experts for our data platform.";
    return r;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(GroundedPieces, SplitSkillsDropsShortAndRepeatedEntries) {
    EXPECT_EQ(S::splitSkills("Excel; SQL | QA, excel"), (Words{"Excel", "SQL", "QA"}));
    EXPECT_EQ(S::splitSkills("• Go\n• C\n• Rust • go\n-"), (Words{"Go", "C", "Rust"})); // one letter is a skill
    EXPECT_TRUE(S::splitSkills(" , ;").empty());
}

TEST(GroundedPieces, WholeWordsRespectTokenCharacters) {
    EXPECT_TRUE(S::containsWholeWord("Strong C++ and Node.js skills", "c++"));
    EXPECT_TRUE(S::containsWholeWord("Strong C++ and Node.js skills", "node.js"));
    EXPECT_FALSE(S::containsWholeWord("Strong C++ and Node.js skills", "c"));
    EXPECT_FALSE(S::containsWholeWord("react-native", "react"));
    EXPECT_FALSE(S::containsWholeWord("anything", ""));
}

TEST(GroundedPieces, SkillOrderings) {
    std::string job = "Airflow and sql";
    // The skills section keeps the user's order within each group.
    EXPECT_EQ(S::prioritizeSkillsForJob({"Python", "SQL", "zsh", "Airflow", "bash"}, job),
              (Words{"SQL", "Airflow", "Python", "zsh", "bash"}));
    // The summary sorts each group case-insensitively.
    EXPECT_EQ(S::orderSkillsForSummary({"Python", "SQL", "zsh", "Airflow", "bash"}, job),
              (Words{"Airflow", "SQL", "bash", "Python", "zsh"}));
}

TEST(GroundedPieces, FactBlocksEndAtTheNextLabel) {
    ApplicationProfile p;
    p.fullName = "Jane";
    p.employmentHistory = kHistory;
    p.skills = "Go";
    std::string facts = S::buildFacts(p, "  SKILLS\nRust  ");
    EXPECT_EQ(facts, std::string("Full name: Jane\nEmployment history: ") + kHistory +
                         "\nSkills: Go\nEXISTING RESUME TEXT (verified user document):\nSKILLS\nRust");
    EXPECT_EQ(S::extractFactBlock("Employment history", facts),
              "Acme Corp — Data Engineer (2019–2024)\nBuilt ETL pipelines in Airflow\nGlobex — Analyst (2016–2019)");
    EXPECT_EQ(S::extractFactBlock("skills", facts), "Go");
    EXPECT_EQ(S::extractFactBlock("Education", facts), "");
    EXPECT_EQ(S::extractFactBlock("", facts), "");
}

TEST(GroundedPieces, SummaryVariants) {
    ResumeStudioRequest r = request("Data Platform Engineer");
    EXPECT_EQ(S::buildGroundedSummary("Current title: Analyst\nYears of experience: 3.5", r),
              "Analyst with 3.5 years of experience, targeting Data Platform Engineer opportunities.");
    EXPECT_EQ(S::buildGroundedSummary("Years of experience: 7+ years", r),
              "Professional with 7+ years of documented experience, targeting Data Platform Engineer opportunities.");
    EXPECT_EQ(S::buildGroundedSummary("Current title: Analyst\nSkills: a1, b2, c3, d4, e5, f6, SQL", r),
              "Analyst targeting Data Platform Engineer opportunities. Verified skills include SQL, a1, b2, c3, d4, e5.");
    EXPECT_EQ(S::normalizeExperienceLength(" 7 "), "7 years");
    EXPECT_EQ(S::normalizeExperienceLength("7.5.1"), "7.5.1");
}

TEST(GroundedPieces, UnusableSectionRules) {
    std::string longFallback(40, 'x');
    EXPECT_TRUE(S::isUnusableGeneratedSection("skills", "  ", "Go"));
    EXPECT_FALSE(S::isUnusableGeneratedSection("projects", "", ""));
    EXPECT_TRUE(S::isUnusableGeneratedSection("skills", "Go, [YOUR skill]", ""));
    EXPECT_FALSE(S::isUnusableGeneratedSection("skills", "Go, [Yours truly]", "Go"));
    EXPECT_TRUE(S::isUnusableGeneratedSection("education", "Details were not supplied.", "BSc"));
    EXPECT_FALSE(S::isUnusableGeneratedSection("education", "Details were not supplied.", ""));
    EXPECT_TRUE(S::isUnusableGeneratedSection("professional summary", "Short.", longFallback));
    EXPECT_FALSE(S::isUnusableGeneratedSection("professional summary", "Short.", "tiny"));
    EXPECT_TRUE(S::isUnusableGeneratedSection("professional experience", "Did things", longFallback));
    EXPECT_FALSE(S::isUnusableGeneratedSection("professional experience", "Did things", "x"));
    EXPECT_EQ(S::stripCodeFence("```markdown\n- a\n- b\n```"), "- a\n- b");
    EXPECT_EQ(S::stripCodeFence("```\nplain\n```"), "plain");
}

TEST(GroundedBuild, WithoutTheModelEverySectionIsGroundedAndStored) {
    StudioEnv env;
    env.modelAbsent();
    env.profiles->save(fullProfile());
    ResumeStudioRequest r = request("  Data Platform Engineer ");
    r.pageCount = 2;
    r.style = "Classic serif";
    r.language = "DE";
    r.seniority = " Senior ";
    ResumeDocument d = env.studio->build(r);

    EXPECT_GT(d.id, 0);
    EXPECT_EQ(d.name, "Data Platform Engineer Resume");
    EXPECT_EQ(d.templateName, "classic");
    EXPECT_EQ(d.seniority, "Senior");
    EXPECT_EQ(d.pageCount, 2);
    EXPECT_EQ(d.language, "de");
    EXPECT_EQ(d.contact, "Jane Doe\njane@example.com | +1 415 555 2671 | Austin, TX | United States");
    EXPECT_EQ(d.summary, "Senior Data Engineer with 7 years of experience, targeting Data Platform Engineer "
                         "opportunities. Verified skills include Airflow, SQL, Python.");
    EXPECT_EQ(d.skills, "SQL, Airflow, Python");
    EXPECT_EQ(d.experience, S::extractFactBlock("Employment history", d.sourceFacts));
    EXPECT_EQ(d.education, "BSc Computer Science, MIT, 2015");
    EXPECT_EQ(d.certifications, "AWS Certified Data Analytics");
    EXPECT_EQ(d.projects, "");
    EXPECT_EQ(d.coverLetterTemplate, "Dear team, I like data.");
    EXPECT_TRUE(text::startsWith(d.sourceFacts, "Full name: Jane Doe\nEmail: jane@example.com\n"));
    // The target role in the summary counts too; "need" is filler: 4 of 5 keywords, 80 -> 60 + 25.
    EXPECT_EQ(d.matchedKeywords, (Words{"platform", "airflow", "data", "sql"}));
    EXPECT_EQ(d.missingKeywords, (Words{"experts"}));
    EXPECT_EQ(d.atsScore, 85);
    ASSERT_TRUE(env.studio->get(d.id));
    EXPECT_EQ(*env.studio->get(d.id), d);
}

TEST(GroundedBuild, MinimalProfileGivesOnlyTheFallbackSummary) {
    StudioEnv env;
    env.modelAbsent();
    env.profiles->save(json{{"fullName", "Jane Doe"}, {"email", "jane@example.com"}, {"phone", "555-0100"}});
    ResumeDocument d = env.studio->build(request("QA Lead"));
    EXPECT_EQ(d.summary,
              "Professional targeting QA Lead opportunities, based on the verified experience in the supplied resume.");
    EXPECT_EQ(d.skills + d.experience + d.education + d.certifications + d.projects, "");
    EXPECT_EQ(d.contact, "Jane Doe\njane@example.com | 555-0100");
}

TEST(GroundedBuild, ExistingResumeFillsSectionsTheProfileLacks) {
    StudioEnv env;
    env.modelAbsent();
    auto resume = env.dir / "resume.txt";
    velmora::testing::writeFile(resume, "Sam Park\nsam@park.dev    SUMMARY\nAnalyst focused on retention.\n"
                                        "SKILLS:\nSQL, Tableau\nPROJECTS\nChurn model");
    env.profiles->save(json{{"resumePath", resume.string()}, {"skills", "Looker"}});
    ResumeStudioRequest r = request("Analyst");
    r.sourceResumePath = resume.string(); // the same text as the stored copy: used once
    r.name = " Mine ";
    ResumeDocument d = env.studio->build(r);

    EXPECT_EQ(d.name, "Mine");
    EXPECT_EQ(d.summary, "Analyst focused on retention.");
    EXPECT_EQ(d.skills, "Looker"); // the profile's own entry wins
    EXPECT_EQ(d.projects, "Churn model");
    EXPECT_EQ(d.contact, "Sam Park\nsam@park.dev");
    size_t first = d.sourceFacts.find("Churn model");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(d.sourceFacts.find("Churn model", first + 1), std::string::npos);
    EXPECT_TRUE(env.temporaryFiles().empty());
}

TEST(GroundedBuild, FailuresLeaveNoTemporaryFileAndNothingStored) {
    StudioEnv env;
    env.modelAbsent();
    auto resume = env.dir / "resume.txt";
    velmora::testing::writeFile(resume, "Sam Park\nSUMMARY\nAnalyst focused on retention and churn.");
    env.profiles->save(json{{"resumePath", resume.string()}});

    ResumeStudioRequest missing = request("Analyst");
    missing.sourceResumePath = (env.dir / "gone.pdf").string();
    std::string expected = errorOf([&] { ResumeService::extractText(missing.sourceResumePath); });
    EXPECT_EQ(errorOf([&] { env.studio->build(missing); }), expected);
    EXPECT_TRUE(env.temporaryFiles().empty());

    EXPECT_EQ(errorOf([&] { env.studio->build(request("   ")); }), "Enter the job title you are targeting.");

    ResumeStudioRequest noProfile = request("Analyst");
    noProfile.useApplicationProfile = false;
    EXPECT_EQ(errorOf([&] { env.studio->build(noProfile); }),
              "Add information to your Application Profile or upload an existing resume before building a resume.");
    EXPECT_TRUE(env.temporaryFiles().empty());
    EXPECT_TRUE(env.studio->list().empty());
}
