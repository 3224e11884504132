#include "studio/ResumeStudioService.h"

#include <gtest/gtest.h>

using velmora::ResumeDocument;
using S = velmora::ResumeStudioService;
using Words = std::vector<std::string>;

TEST(AtsKeywords, CountThenLengthThenAlphabetWithoutFillerShortTokensOrPunctuation) {
    struct Row {
        const char* text;
        size_t limit;
        Words keywords;
    };
    const Row rows[] = {
        {"Terraform kubernetes TERRAFORM terraform. Rust go java java python", 10,
         {"terraform", "java", "kubernetes", "python", "rust"}},
        {"Terraform kubernetes terraform", 1, {"terraform"}},
        // node.js keeps its inner dot but loses the full stop; "ui" is too short; a token that
        // ends in plus signs before a blank never matches the closing word boundary.
        {"Skills: node.js. UI experience required with c++ and --yaml-- Experience", 30, {"node.js", "yaml"}},
        {"We need strong Kafka. Hiring now: Terraform is a plus, ideally across teams.", 30, {"terraform", "kafka"}},
        // A token that trims down to two letters is still too short.
        {"IT-Ärzte gesucht", 30, {"gesucht"}},
        {"", 30, {}},
    };
    for (const Row& row : rows) EXPECT_EQ(S::extractKeywords(row.text, row.limit), row.keywords) << row.text;
}

TEST(AtsScore, KeywordCoverageAndCoreSections) {
    std::string forty;
    for (int i = 0; i < 40; ++i) forty += "keyword" + std::string{char('a' + i % 26), char('a' + i / 26)} + " ";
    struct Row {
        const char* label;
        std::string jd, summary, skills, experience, education, projects, contactAndLetter;
        Words matched, missing;
        int score;
    };
    const std::vector<Row> rows = {
        {"43% coverage: round(43 * 0.75 + 25)", "alpha bravo charlie delta echo foxtrot golf", "Engineer.",
         "Alpha, bravo and charlie", "Acme", "BSc", "", "", {"charlie", "alpha", "bravo"},
         {"foxtrot", "delta", "echo", "golf"}, 57},
        {"no job: 52.5 + 25 rounds half up", "", "Engineer.", "Go", "Acme", "BSc", "", "", {}, {}, 78},
        {"no job, three core sections", "", "x", "x", "x", "", "", "", {}, {}, 71},
        {"no job, two", "", "x", "x", "", "", "", "", {}, {}, 65},
        {"no job, one", "", "x", "", "", "", "", "", {}, {}, 59},
        {"blank and non-core sections do not count", "", " \n ", "", "", "", "Parser", "", {}, {}, 53},
        {"inside longer tokens is no match", "react node.js", "x", "x", "Built reactive apps with react-native and node.jsx",
         "x", "", "", {}, {"node.js", "react"}, 25},
        {"punctuation around tokens", "react node.js", "x", "x", "Built (React) dashboards on Node.js, daily", "x", "", "",
         {"node.js", "react"}, {}, 100},
        {"a stop followed by a letter continues the token", "react node.js", "x", "x", "Built React.Native on Node.js:",
         "x", "", "", {"node.js"}, {"react"}, 63},
        {"contact and letter do not count; missing list bounded", forty, "", "", "", "", "", forty, {}, {}, 0},
        {"matched list bounded", forty, "", "", "", "", forty, "", {}, {}, 75},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ResumeDocument d;
        d.jobDescription = row.jd;
        d.summary = row.summary;
        d.skills = row.skills;
        d.experience = row.experience;
        d.education = row.education;
        d.projects = row.projects;
        d.contact = d.coverLetter = row.contactAndLetter;
        d.matchedKeywords = {"stale"};
        S::recalculateAts(d);
        EXPECT_EQ(d.atsScore, row.score);
        if (row.jd == forty) {
            EXPECT_EQ(d.matchedKeywords.size(), row.projects.empty() ? 0u : 30u);
            EXPECT_EQ(d.missingKeywords.size(), row.projects.empty() ? 15u : 0u);
            continue;
        }
        EXPECT_EQ(d.matchedKeywords, row.matched);
        EXPECT_EQ(d.missingKeywords, row.missing);
    }
}
