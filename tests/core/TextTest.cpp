#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(Text, CaseMappingTrimAndUtf8ValidationAreUnicodeAware) {
    EXPECT_EQ(text::lower("ÉCOLE Straße ÀÖ"), "école straße àö");
    EXPECT_EQ(text::upper("straße"), "STRASSE");
    // Trimming removes Unicode white space and newlines only.
    EXPECT_EQ(text::trim("\u00a0\t line one\nline two \r\n\u2003"), "line one\nline two");
    EXPECT_EQ(text::trim("   "), "");
    EXPECT_EQ(text::trim("é"), "é");
    EXPECT_TRUE(text::isValidUtf8("plain ascii é €"));
    EXPECT_FALSE(text::isValidUtf8(std::string("bad \xC3\x28 byte")));
    EXPECT_FALSE(text::isValidUtf8(std::string("\xED\xA0\x80"))); // an encoded surrogate
}

TEST(Text, CharacterLimitsCountWhatUsersSee) {
    // e + combining acute, a flag (two regional indicators), a family emoji joined by ZWJ.
    std::string s = "e\u0301\U0001F1E9\U0001F1EA\U0001F468\u200D\U0001F469\u200D\U0001F467x";
    EXPECT_EQ(text::characterCount(s), 4u);
    EXPECT_EQ(text::prefixCharacters(s, 2), "e\u0301\U0001F1E9\U0001F1EA");
    EXPECT_EQ(text::prefixCharacters(s, 10), s);
    EXPECT_EQ(text::prefixCharacters(s, 0), "");
}

TEST(Text, AffixesMayBeTheWholeText) {
    // text, affix, ends with it, starts with it
    for (const auto& [s, affix, ends, starts] :
         {std::tuple{"abc", "abc", true, true}, std::tuple{"ab", "abc", false, false},
          std::tuple{"xabc", "bc", true, false}, std::tuple{"abcx", "ab", false, true}}) {
        EXPECT_EQ(text::endsWith(s, affix), ends) << s << " " << affix;
        EXPECT_EQ(text::startsWith(s, affix), starts) << s << " " << affix;
    }
}

TEST(Text, RegexUsesIcuSyntaxAndReportsByteRanges) {
    const std::string subject = "Über mich\nExperience\nskills: C++";
    auto matches = text::Regex("(?<=^|\\n)(experience|skills)\\b", text::Regex::CaseInsensitive).allMatches(subject);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(subject.substr(matches[0].begin, matches[0].end - matches[0].begin), "Experience");

    auto m = text::Regex("(a)|(b)").firstMatch("b");
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->groups[1].has_value());
    EXPECT_EQ(*m->groups[2], "b");

    EXPECT_EQ(text::Regex("\\s+").replaceAll("a  b\n\tc", " "), "a b c");
    EXPECT_EQ(text::Regex(",\\s*").split("a, b,c"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(text::Regex("^\\d{3}$", text::Regex::Multiline).search("ab\n123\ncd"));
    EXPECT_THROW(text::Regex("(unclosed"), VelmoraError);
}
