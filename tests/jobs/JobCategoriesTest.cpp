#include "jobs/JobCategories.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(JobCategories, ClassifyFollowsRowOrderAndSubstrings) {
    EXPECT_EQ(classify("Senior Backend Engineer"), "Software & IT");
    EXPECT_EQ(classify("Security Engineer"), "Cybersecurity");
    EXPECT_EQ(classify("Barista"), "Other Remote Jobs");
    EXPECT_EQ(classify(""), "Other Remote Jobs");
    // Short keywords hit inside longer words; row order decides.
    EXPECT_EQ(classify("Social Media Manager"), "Cybersecurity");
    EXPECT_EQ(classify("Assistant to William"), "Cybersecurity");
    EXPECT_EQ(classify("DATA ANALYST"), "Data & AI");
    EXPECT_EQ(classify("Senior Product Manager"), "Product");
    EXPECT_EQ(classify("Scrum Master"), "Project Management");
    EXPECT_EQ(classify("Paralegal"), "Legal");
    EXPECT_EQ(classify("Online English Tutor"), "Education");
    EXPECT_EQ(classify("Copywriter"), "Writing & Editorial");
    EXPECT_EQ(classify("Registered Nurse"), "Healthcare");
}

TEST(JobCategories, ClassifyKeywordsWithTrailingSpace) {
    // "ai " needs the space: a title ending in "ai" or "ui" does not hit it.
    EXPECT_EQ(classify("Head of AI"), "Other Remote Jobs");
    EXPECT_EQ(classify("AI Trainer"), "Data & AI");
    EXPECT_EQ(classify("UI Artist"), "Design & Creative");
    EXPECT_EQ(classify("HR Generalist"), "Human Resources");
    EXPECT_EQ(classify("Chief of HR"), "Other Remote Jobs");
}

TEST(JobCategories, ClassifyLowerCasesBeyondAscii) {
    EXPECT_EQ(classify("ÜBERSETZER MARKETING"), "Marketing");
    EXPECT_EQ(classify("SÉCURITÉ CYBER"), "Cybersecurity");
}

TEST(JobCategories, NormalizeCategoryMapsSourceVocabulary) {
    EXPECT_EQ(normalizeCategory("Software Development"), "Software & IT");
    EXPECT_EQ(normalizeCategory("  \n\t "), "Other Remote Jobs");
    EXPECT_EQ(normalizeCategory(""), "Other Remote Jobs");
    EXPECT_EQ(normalizeCategory("&nbsp;"), "Other Remote Jobs");
    EXPECT_EQ(normalizeCategory("Writing"), "Writing");
    EXPECT_EQ(normalizeCategory("Customer Service &amp; Support"), "Customer Support");
    EXPECT_EQ(normalizeCategory("Three Letter Words"), "Human Resources"); // "hr" inside three
    EXPECT_EQ(normalizeCategory("Cyber Security Engineering"), "Software & IT"); // row 1 first
    EXPECT_EQ(normalizeCategory("Product Management"), "Product");
}

TEST(JobCategories, NormalizeCategoryKeepsUnknownTextTrimmedAndCut) {
    EXPECT_EQ(normalizeCategory("  Teaching  "), "Teaching");
    EXPECT_EQ(normalizeCategory("Tom &#39;n&#39; Jerry &lt;Cartoons&gt; &quot;x&quot;"),
              "Tom 'n' Jerry <Cartoons> \"x\"");
    // An escaped entity is decoded once only.
    EXPECT_EQ(normalizeCategory("Fish &amp;lt;Chips"), "Fish &lt;Chips");
    std::string sixty(60, 'z');
    EXPECT_EQ(normalizeCategory(sixty), std::string(50, 'z'));
    // The cut counts characters, not bytes.
    std::string accented;
    for (int i = 0; i < 60; ++i) accented += "é";
    std::string expected;
    for (int i = 0; i < 50; ++i) expected += "é";
    EXPECT_EQ(normalizeCategory(accented), expected);
}

TEST(JobCategories, ProgramCategoriesAreFixedPoints) {
    for (const char* c : {"Software & IT", "Cybersecurity", "Data & AI", "Product", "Project Management",
                          "Customer Support", "Sales", "Marketing", "Design & Creative", "Finance & Accounting",
                          "Human Resources", "Healthcare", "Writing & Editorial", "Legal", "Education",
                          "Other Remote Jobs"})
        EXPECT_EQ(normalizeCategory(c), c);
    // and so is whatever classify produces
    for (const char* title : {"Barista", "Attorney", "Teacher", "Editor", "Nurse", "Sales Lead"})
        EXPECT_EQ(normalizeCategory(classify(title)), classify(title)) << title;
}
