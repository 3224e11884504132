#include "jobs/JobCategories.h"

#include <gtest/gtest.h>

using namespace velmora;

// Short keywords hit inside longer words and the first matching row wins; "ai " and "hr "
// need their space, so a title ending in "ai" or "hr" does not hit them.
TEST(JobCategories, ClassifyFollowsRowOrderAndSubstrings) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"Senior Backend Engineer", "Software & IT"}, {"Security Engineer", "Cybersecurity"}, {"", "Other Remote Jobs"},
        {"Social Media Manager", "Cybersecurity"}, {"DATA ANALYST", "Data & AI"}, {"Paralegal", "Legal"},
        {"Head of AI", "Other Remote Jobs"}, {"AI Trainer", "Data & AI"}, {"Bookkeeper", "Finance & Accounting"},
        {"HR Generalist", "Human Resources"}, {"Chief of HR", "Other Remote Jobs"},
        {"ÜBERSETZER MARKETING", "Marketing"}, // lower-cased beyond ASCII
    };
    // clang-format on
    for (const auto& [title, category] : rows) {
        EXPECT_EQ(classify(title), category) << title;
        EXPECT_EQ(normalizeCategory(category), category) << "a program category is its own normal form";
    }
}

TEST(JobCategories, NormalizeCategoryMapsSourceVocabularyAndKeepsOtherTextCleanAndShort) {
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"Software Development", "Software & IT"}, {"  \n\t ", "Other Remote Jobs"}, {"&nbsp;", "Other Remote Jobs"},
        {"Customer Service &amp; Support", "Customer Support"},
        {"Three Letter Words", "Human Resources"},       // "hr" inside three
        {"Cyber Security Engineering", "Software & IT"}, // the first row wins
        {"  Teaching  ", "Teaching"},
        {"Tom &#39;n&#39; Jerry &lt;Cartoons&gt; &quot;x&quot;", "Tom 'n' Jerry <Cartoons> \"x\""},
        {"Fish &amp;lt;Chips", "Fish &lt;Chips"}, // decoded once only
        {std::string(49, 'z') + "ééé", std::string(49, 'z') + "é"}, // 50 characters, not bytes
    };
    // clang-format on
    for (const auto& [given, expected] : rows)
        EXPECT_EQ(normalizeCategory(given), expected) << given;
}
