#include "studio/ResumeStudioService.h"

#include <gtest/gtest.h>

using velmora::ResumeDocument;
using S = velmora::ResumeStudioService;
using Words = std::vector<std::string>;

namespace {

ResumeDocument withCoreSections() {
    ResumeDocument d;
    d.summary = "Engineer.";
    d.skills = "Go";
    d.experience = "Acme";
    d.education = "BSc";
    return d;
}

} // namespace

TEST(AtsKeywords, OrderedByCountThenLengthThenAlphabet) {
    Words k = S::extractKeywords("Terraform kubernetes TERRAFORM terraform. Rust go java java python", 10);
    EXPECT_EQ(k, (Words{"terraform", "java", "kubernetes", "python", "rust"}));
    EXPECT_EQ(S::extractKeywords("Terraform kubernetes terraform", 1), (Words{"terraform"}));
}

TEST(AtsKeywords, TrimsStopWordsShortTokensAndPunctuation) {
    // node.js keeps its inner dot but loses the full stop; "ui" is too short; a token that ends in
    // plus signs before a blank never matches the closing word boundary.
    Words k = S::extractKeywords("Skills: node.js. UI experience required with c++ and --yaml-- Experience", 30);
    EXPECT_EQ(k, (Words{"node.js", "yaml"}));
    // Job-ad filler is no keyword: only the skills are left to be missing.
    EXPECT_EQ(S::extractKeywords("We need strong Kafka. Hiring now: Terraform is a plus, ideally across teams.", 30),
              (Words{"terraform", "kafka"}));
    EXPECT_TRUE(S::extractKeywords("", 30).empty());
}

TEST(AtsScore, WorkedExampleFortyThreePercentCoverage) {
    ResumeDocument d = withCoreSections();
    d.jobDescription = "alpha bravo charlie delta echo foxtrot golf";
    d.skills = "Alpha, bravo and charlie";
    S::recalculateAts(d);
    // Keyword order (all counted once): longer first, then alphabetical.
    EXPECT_EQ(d.matchedKeywords, (Words{"charlie", "alpha", "bravo"}));
    EXPECT_EQ(d.missingKeywords, (Words{"foxtrot", "delta", "echo", "golf"}));
    EXPECT_EQ(d.atsScore, 57); // round(43 * 0.75 + 25) = round(57.25)
}

TEST(AtsScore, EmptyJobDescriptionScoresBySectionsRoundingHalfUp) {
    ResumeDocument d = withCoreSections();
    d.matchedKeywords = {"stale"};
    S::recalculateAts(d);
    EXPECT_EQ(d.atsScore, 78); // 52.5 + 25 = 77.5
    EXPECT_TRUE(d.matchedKeywords.empty());
    EXPECT_TRUE(d.missingKeywords.empty());

    const int expected[] = {53, 59, 65, 71};
    ResumeDocument partial;
    std::string* fields[] = {&partial.summary, &partial.skills, &partial.experience, &partial.education};
    for (int filled = 0; filled < 4; ++filled) {
        S::recalculateAts(partial);
        EXPECT_EQ(partial.atsScore, expected[filled]) << filled << " filled sections";
        *fields[filled] = "  text  ";
    }
    // Blank sections and non-core sections do not count.
    ResumeDocument blank;
    blank.summary = " \n ";
    blank.projects = "Parser";
    S::recalculateAts(blank);
    EXPECT_EQ(blank.atsScore, 53);
}

TEST(AtsScore, MatchesWholeTokensOnly) {
    ResumeDocument d = withCoreSections();
    d.jobDescription = "react node.js";
    d.experience = "Built reactive dashboards with react-native and node.jsx";
    S::recalculateAts(d);
    EXPECT_TRUE(d.matchedKeywords.empty());
    EXPECT_EQ(d.atsScore, 25);

    d.experience = "Built (React) dashboards on Node.js, daily";
    S::recalculateAts(d);
    EXPECT_EQ(d.matchedKeywords, (Words{"node.js", "react"}));
    EXPECT_EQ(d.atsScore, 100);

    // A full stop, comma, semicolon or colon ends a token; a stop followed by a letter does not.
    d.experience = "Built React; dashboards on Node.js.";
    S::recalculateAts(d);
    EXPECT_EQ(d.matchedKeywords, (Words{"node.js", "react"}));
    d.experience = "Built React.Native dashboards on Node.js:";
    S::recalculateAts(d);
    EXPECT_EQ(d.matchedKeywords, (Words{"node.js"}));
}

TEST(AtsScore, ContactAndCoverLetterDoNotCountAndListsAreBounded) {
    ResumeDocument d;
    std::string description;
    for (int i = 0; i < 40; ++i) description += "keyword" + std::string(1, static_cast<char>('a' + i % 26)) +
                                                std::string(1, static_cast<char>('a' + i / 26)) + " ";
    d.jobDescription = description;
    d.contact = description;
    d.coverLetter = description;
    S::recalculateAts(d);
    EXPECT_TRUE(d.matchedKeywords.empty());
    EXPECT_EQ(d.missingKeywords.size(), 15u);
    EXPECT_EQ(d.atsScore, 0);

    d.projects = description;
    S::recalculateAts(d);
    EXPECT_EQ(d.matchedKeywords.size(), 30u);
    EXPECT_TRUE(d.missingKeywords.empty());
    EXPECT_EQ(d.atsScore, 75);
}
