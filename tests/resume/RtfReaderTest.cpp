#include "resume/RtfReader.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

using velmora::RtfReader;

TEST(RtfReader, PlainTextOfEachConstruct) {
    const std::string deep = "{\\rtf1 " + std::string(10000, '{') + "deep" + std::string(10000, '}') + " end}";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"{\\rtf1 Hello\\par World\\line again\\tab x}", "Hello\nWorld\nagain\tx"},
        {"{\\rtf1 a\\{b\\}c\\\\d}", "a{b}c\\d"},
        {"{\\rtf1 a\\~b\\-c\\_d\\emdash e\\bullet}", "a\u00A0bc-d\u2014e\u2022"},
        // Source line breaks are formatting; a backslash before one is a paragraph mark.
        {"{\\rtf1 one\r\ntwo\\\nthree}", "onetwo\nthree"},
        // The blank after a control word belongs to it; a second blank is text.
        {"{\\rtf1\\b bold\\b0  plain}", "bold plain"},
        // Code pages: windows-1252 by default, raw 8-bit bytes too, an unknown page falls back to it.
        {"{\\rtf1\\ansi Caf\\'e9 \\'93q\\'94}", "Caf\u00E9 \u201Cq\u201D"},
        // Shift-JIS: the second byte of a pair may look like an ASCII brace.
        {"{\\rtf1\\ansi\\ansicpg932 \\'93\\'fa\\'96\\'7b}", "\u65E5\u672C"},
        {"{\\rtf1\\mac \\'8e}", "\u00E9"},
        {"{\\rtf1\\ansi Caf\xe9}", "Caf\u00E9"},
        {"{\\rtf1\\ansicpg99999 Caf\\'e9}", "Caf\u00E9"},
        // Windows editors name the character set in the font table; a group's font ends with it.
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}{\\f1\\fcharset128 MS Mincho;}"
         "{\\f2\\fcharset238 Calibri;}{\\f3\\fcharset0 Times;}}\\f0 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 {\\f1 "
         "\\'93\\'fa\\'96\\'7b} \\'cf\\'f0 \\f2 \\'9a\\f3 Caf\\'e9 \\f9 \\'e9}",
         "\u041F\u0440\u0438\u0432\u0435\u0442 \u65E5\u672C \u041F\u0440 \u0161Caf\u00E9 \u00E9"},
        // Unicode escapes skip their fallbacks; \uc is scoped to its group, and a fallback cut
        // short by a group end does not eat the following text.
        {"{\\rtf1 \\u8364? and \\u-10179?\\u-8704?}", "\u20AC and \U0001F600"},
        {"{\\rtf1\\uc2 \\u9733\\'3f\\'3fx}", "\u2605x"},
        {"{\\rtf1 {\\uc0 \\u233 a}\\u233 ba}", "\u00E9a\u00E9a"},
        {"{\\rtf1\\uc3 {\\u233}abc}", "\u00E9abc"},
        {"{\\rtf1 \\u-10179?x}", "\uFFFDx"}, // a lone surrogate is no UTF-8
        // Destinations without body text are skipped; binary data by its length.
        {"{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s1 Head;}}"
         "{\\info{\\author Me}{\\title T}}{\\*\\generator Gen;}{\\*\\anything x}"
         "{\\pict\\pngblip 0011aa}{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt link}} body}",
         "link body"},
        {"{\\rtf1 A\\bin3 {}\\ B}", "A B"},
        {"{\\rtf1 A\\bin999999 xyz", "A"},
        // Malformed input gives a bounded result.
        {"\xEF\xBB\xBF \n{\\rtf1 ok}", "ok"},
        {"{\\rtf1 Hello}}} World", "Hello World"},
        {"{\\rtf1 bad\\'zz hex\\'4", "badzz hex4"},
        {deep, "deep end"},
        {"{\\rtf1 " + std::string(1000000, '{') + "x", "x"},
    };
    for (const auto& [rtf, text] : rows) EXPECT_EQ(RtfReader::toPlainText(rtf), text) << rtf.substr(0, 80);

    EXPECT_TRUE(velmora::text::isValidUtf8(RtfReader::toPlainText("{\\rtf1 \\u99999999999999999999? ok\\uc99999999999 \\u65 xyz}")));
    for (const char* notRtf : {"plain text", "", "{\\rt"})
        EXPECT_THROW(RtfReader::toPlainText(notRtf), velmora::VelmoraError) << notRtf;
}
