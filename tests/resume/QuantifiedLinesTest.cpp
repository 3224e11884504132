// "Multiple" quantified accomplishments means three lines with a number; numbers sharing a
// line count once.
#include "resume/ResumeService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace velmora;
using ::testing::Contains;
using ::testing::Not;

TEST(QuantifiedLines, ThreeLinesWithANumberAreNeeded) {
    const std::string strength = "Multiple quantified accomplishments detected.";
    const std::string three = "Grew revenue 20%\nCut costs by 3.5 points\nServed 300 clients\n";
    const std::string two = "Grew revenue 20% for 300 clients\nCut costs by 3.5 points\n";
    // Enough words without numbers to be analysed at all.
    const std::string filler = "Jordan Avery\nReliable remote engineer who writes clear plans and ships careful work.\n";
    EXPECT_THAT(ResumeService::analyze(filler + three)["strengths"], Contains(strength));
    EXPECT_THAT(ResumeService::analyze(filler + two)["strengths"], Not(Contains(strength)));
}
