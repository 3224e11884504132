// The local pieces every build falls back on: skill lists, fact blocks, the grounded summary and
// the rules that turn a model's draft down.
#include "studio/ResumeStudioService.h"

#include <gtest/gtest.h>

using namespace velmora;
using S = ResumeStudioService;
using Words = std::vector<std::string>;

TEST(GroundedPieces, SkillListsAndWholeWords) {
    EXPECT_EQ(S::splitSkills("• Go\n• C\n• Rust • go\n-"), (Words{"Go", "C", "Rust"})); // one letter is a skill
    EXPECT_TRUE(S::splitSkills(" , ;").empty());
    const std::vector<std::tuple<std::string, std::string, bool>> words = {
        {"Strong C++ and Node.js skills", "c++", true}, {"Strong C++ and Node.js skills", "node.js", true},
        {"Strong C++ and Node.js skills", "c", false},  {"react-native", "react", false},
        {"anything", "", false}};
    for (const auto& [text, word, found] : words) EXPECT_EQ(S::containsWholeWord(text, word), found) << word;
    // The skills section keeps the user's order within each group; the summary sorts each group.
    const Words skills = {"Python", "SQL", "zsh", "Airflow", "bash"};
    EXPECT_EQ(S::prioritizeSkillsForJob(skills, "Airflow and sql"), (Words{"SQL", "Airflow", "Python", "zsh", "bash"}));
    EXPECT_EQ(S::orderSkillsForSummary(skills, "Airflow and sql"), (Words{"Airflow", "SQL", "bash", "Python", "zsh"}));
}

// The full fact block and a profile-built summary are checked through a whole build.
TEST(GroundedPieces, SummaryVariantsAndMissingFacts) {
    const std::string facts = "Full name: Jane\nEmployment history: Acme\n  Built ETL\nSkills: Go";
    EXPECT_EQ(S::extractFactBlock("employment history", facts), "Acme\nBuilt ETL");
    EXPECT_EQ(S::extractFactBlock("Education", facts), "");
    EXPECT_EQ(S::extractFactBlock("", facts), "");
    ResumeStudioRequest r;
    r.targetRole = "Data Platform Engineer";
    r.jobDescription = "We need Airflow and SQL experts.";
    const std::vector<std::pair<std::string, std::string>> summaries = {
        {"Current title: Analyst\nYears of experience: 3.5",
         "Analyst with 3.5 years of experience, targeting Data Platform Engineer opportunities."},
        {"Years of experience: 7+ years",
         "Professional with 7+ years of documented experience, targeting Data Platform Engineer opportunities."},
        // Seven skills: the job's first, then six in all.
        {"Current title: Analyst\nSkills: a1, b2, c3, d4, e5, f6, SQL",
         "Analyst targeting Data Platform Engineer opportunities. Verified skills include SQL, a1, b2, c3, d4, e5."},
    };
    for (const auto& [known, summary] : summaries) EXPECT_EQ(S::buildGroundedSummary(known, r), summary);
    EXPECT_EQ(S::normalizeExperienceLength(" 7 "), "7 years");
    EXPECT_EQ(S::normalizeExperienceLength("7.5.1"), "7.5.1");
}

TEST(GroundedPieces, UnusableDrafts) {
    const std::string longFallback(40, 'x');
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> rows = {
        {"skills", "  ", "Go", true},
        {"projects", "", "", false},
        {"skills", "Go, [YOUR skill]", "", true},
        {"skills", "Go, [Yours truly]", "Go", false},
        {"education", "Details were not supplied.", "BSc", true},
        {"education", "Details were not supplied.", "", false},
        {"professional summary", "Short.", longFallback, true},
        {"professional summary", "Short.", "tiny", false},
        {"professional experience", "Did things", longFallback, true},
        {"professional experience", "Did things", "x", false},
    };
    for (const auto& [section, draft, fallback, unusable] : rows)
        EXPECT_EQ(S::isUnusableGeneratedSection(section, draft, fallback), unusable) << section << ": " << draft;
    EXPECT_EQ(S::stripCodeFence("```markdown\n- a\n- b\n```"), "- a\n- b");
    EXPECT_EQ(S::stripCodeFence("```\nplain\n```"), "plain");
}
