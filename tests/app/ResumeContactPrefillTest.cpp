#include "app/ResumeContactPrefill.h"
#include "resume/ResumeService.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(ResumeContactPrefill, FindsTheContactLinesAUserWouldConfirm) {
    struct Case {
        const char* text;
        ResumeContact expected;
    };
    const Case cases[] = {
        {"Ana Souza\nLisbon, Portugal | ana.souza@example.com | (555) 010-9999\n\nSUMMARY\nEngineer.",
         {"Ana Souza", "ana.souza@example.com", "(555) 010-9999", "", "Lisbon, Portugal"}},
        {"  José Müller-Öz  \nana@example.org \u2022 Austin, TX \u2022 https://www.linkedin.com/in/jmo\nExperience",
         {"José Müller-Öz", "ana@example.org", "", "https://www.linkedin.com/in/jmo", "Austin, TX"}},
        // No name-like first line, no contact at all: nothing is guessed.
        {"2019-2024 Senior Engineer at Acme, 5 years\nBuilt things, shipped things", {"", "", "", "", ""}},
        {"", {"", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        const ResumeContact got = contactFromResumeText(c.text);
        EXPECT_EQ(got.fullName, c.expected.fullName) << c.text;
        EXPECT_EQ(got.email, c.expected.email) << c.text;
        EXPECT_EQ(got.phone, c.expected.phone) << c.text;
        EXPECT_EQ(got.linkedIn, c.expected.linkedIn) << c.text;
        EXPECT_EQ(got.location, c.expected.location) << c.text;
    }
}
