#include "resume/RtfReader.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using velmora::RtfReader;
using velmora::VelmoraError;

namespace {
std::string read(const std::string& rtf) { return RtfReader::toPlainText(rtf); }
} // namespace

TEST(RtfReader, BreaksTabsAndEscapedSymbols) {
    EXPECT_EQ(read("{\\rtf1 Hello\\par World\\line again\\tab x}"), "Hello\nWorld\nagain\tx");
    EXPECT_EQ(read("{\\rtf1 a\\{b\\}c\\\\d}"), "a{b}c\\d");
    EXPECT_EQ(read("{\\rtf1 a\\~b\\-c\\_d\\emdash e\\bullet}"), "a\u00A0bc-d\u2014e\u2022");
    // Source line breaks are formatting; a backslash before one is a paragraph mark.
    EXPECT_EQ(read("{\\rtf1 one\r\ntwo\\\nthree}"), "onetwo\nthree");
    // The blank after a control word belongs to it; a second blank is text.
    EXPECT_EQ(read("{\\rtf1\\b bold\\b0  plain}"), "bold plain");
}

TEST(RtfReader, CodePageBytesIncludingDoubleByteCharacters) {
    EXPECT_EQ(read("{\\rtf1\\ansi Caf\\'e9 \\'93q\\'94}"), "Caf\u00E9 \u201Cq\u201D"); // windows-1252 by default
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}"), "\u041F\u0440\u0438\u0432\u0435\u0442");
    // Shift-JIS: the second byte of a pair may look like an ASCII brace.
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg932 \\'93\\'fa\\'96\\'7b}"), "\u65E5\u672C");
    EXPECT_EQ(read("{\\rtf1\\mac \\'8e}"), "\u00E9");
    // Raw 8-bit bytes in the source are read in the code page too.
    EXPECT_EQ(read("{\\rtf1\\ansi Caf\xe9}"), "Caf\u00E9");
    EXPECT_EQ(read("{\\rtf1\\ansicpg99999 Caf\\'e9}"), "Caf\u00E9"); // unknown page: the ANSI default
    // Windows editors name the character set in the font table; a group's font ends with it.
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}{\\f1\\fcharset128 MS Mincho;}"
                   "{\\f2\\fcharset238 Calibri;}{\\f3\\fcharset0 Times;}}\\f0 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 {\\f1 "
                   "\\'93\\'fa\\'96\\'7b} \\'cf\\'f0 \\f2 \\'9a\\f3 Caf\\'e9 \\f9 \\'e9}"),
              "\u041F\u0440\u0438\u0432\u0435\u0442 \u65E5\u672C \u041F\u0440 \u0161Caf\u00E9 \u00E9");
}

TEST(RtfReader, UnicodeEscapesSkipTheirFallbacks) {
    EXPECT_EQ(read("{\\rtf1 \\u8364? and \\u-10179?\\u-8704?}"), "\u20AC and \U0001F600");
    EXPECT_EQ(read("{\\rtf1\\uc2 \\u9733\\'3f\\'3fx}"), "\u2605x");
    EXPECT_EQ(read("{\\rtf1\\uc0 \\u233 x}"), "\u00E9x");
    // \uc is scoped to its group.
    EXPECT_EQ(read("{\\rtf1 {\\uc0 \\u233 a}\\u233 ba}"), "\u00E9a\u00E9a");
    // A fallback cut short by a group end does not eat the following text.
    EXPECT_EQ(read("{\\rtf1\\uc3 {\\u233}abc}"), "\u00E9abc");
    // A lone surrogate becomes the replacement character rather than invalid UTF-8.
    std::string lone = read("{\\rtf1 \\u-10179?x}");
    EXPECT_TRUE(velmora::text::isValidUtf8(lone));
    EXPECT_EQ(lone, "\uFFFDx");
}

TEST(RtfReader, DestinationsWithoutBodyTextAreSkipped) {
    std::string rtf = "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s1 Head;}}"
                      "{\\info{\\author Me}{\\title T}}{\\*\\generator Gen;}{\\*\\anything x}"
                      "{\\pict\\pngblip 0011aa}{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt link}} body}";
    EXPECT_EQ(read(rtf), "link body");
    // Binary data is skipped by length, whatever bytes it holds.
    EXPECT_EQ(read("{\\rtf1 A\\bin3 {}\\ B}"), "A B");
    EXPECT_EQ(read("{\\rtf1 A\\bin999999 xyz"), "A");
}

TEST(RtfReader, MalformedInputGivesABoundedResult) {
    EXPECT_THROW(read("plain text"), VelmoraError);
    EXPECT_THROW(read(""), VelmoraError);
    EXPECT_THROW(read("{\\rt"), VelmoraError);
    EXPECT_EQ(read("\xEF\xBB\xBF \n{\\rtf1 ok}"), "ok");

    EXPECT_EQ(read("{\\rtf1 Hello}}} World"), "Hello World");
    EXPECT_EQ(read("{\\rtf1 {{Hello"), "Hello");
    EXPECT_EQ(read("{\\rtf1 trailing\\"), "trailing");
    EXPECT_EQ(read("{\\rtf1 bad\\'zz hex\\'4"), "badzz hex4");

    std::string deep = "{\\rtf1 " + std::string(10000, '{') + "deep" + std::string(10000, '}') + " end}";
    EXPECT_EQ(read(deep), "deep end");
    // A skipped destination deep inside still ends where its group ends.
    std::string deepSkip = "{\\rtf1 " + std::string(300, '{') + "{\\*\\x hidden}shown" + std::string(300, '}') + "}";
    EXPECT_EQ(read(deepSkip), "shown");
    std::string unclosed = "{\\rtf1 " + std::string(1000000, '{') + "x";
    EXPECT_EQ(read(unclosed), "x");

    std::string hugeParam = read("{\\rtf1 \\u99999999999999999999? ok\\uc99999999999 \\u65 xyz}");
    EXPECT_TRUE(velmora::text::isValidUtf8(hugeParam));
}
