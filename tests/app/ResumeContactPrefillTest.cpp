#include "app/ResumeContactPrefill.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(ResumeContactPrefill, FindsTheContactLinesAUserWouldConfirm) {
    using Fields = std::vector<std::string>; // name, email, phone, LinkedIn, location
    const std::pair<const char*, Fields> cases[] = {
        {"  José Müller-Öz  \nana@example.org \u2022 Austin, TX \u2022 https://www.linkedin.com/in/jmo\nExperience",
         {"José Müller-Öz", "ana@example.org", "", "https://www.linkedin.com/in/jmo", "Austin, TX"}},
        // No name-like first line, no contact at all: nothing is guessed.
        {"2019-2024 Senior Engineer at Acme, 5 years\nBuilt things, shipped things", Fields(5)},
    };
    for (const auto& [text, expected] : cases) {
        const ResumeContact got = contactFromResumeText(text);
        EXPECT_EQ((Fields{got.fullName, got.email, got.phone, got.linkedIn, got.location}), expected) << text;
    }
}
