#include "ResumeTestSupport.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace velmora;
using namespace velmora::testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string errorOf(const std::string& path) {
    try {
        ResumeService::extractText(path);
    } catch (const VelmoraError& e) {
        return e.message();
    }
    return "<no error>";
}

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string runPdftotext(const std::string& path) {
    std::string command = "pdftotext -enc UTF-8 '" + path + "' - 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, n);
    return out;
}

// A DOCX whose document part is the given XML, written with libzip.
void writeDocx(const std::filesystem::path& path, const std::string& documentXml) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    zip_source_t* src = zip_source_buffer(z, documentXml.data(), documentXml.size(), 0);
    zip_int64_t index = zip_file_add(z, "word/document.xml", src, ZIP_FL_OVERWRITE);
    ASSERT_GE(index, 0);
    ASSERT_EQ(zip_close(z), 0);
}

} // namespace

TEST(CleanText, NormalisesLineEndingsBlankRunsAndEmptyLines) {
    EXPECT_EQ(ResumeService::clean("\r\n  a\t\t b \r\r\r\rc\r\n\r\n\r\n\r\nd \n \n e\n\n"), "a b \n\nc\n\nd \n \n e");
    EXPECT_EQ(ResumeService::clean(" \n\t "), "");
    // Only blanks and tabs are collapsed; a no-break space is text.
    EXPECT_EQ(ResumeService::clean("a\u00A0\u00A0b"), "a\u00A0\u00A0b");
}

TEST(ExtractText, RefusesMissingFilesAndUnknownFormats) {
    TempDir dir;
    EXPECT_EQ(errorOf((dir / "nope.pdf").string()), "Resume file was not found.");
    EXPECT_EQ(errorOf(""), "Resume file was not found.");
    std::filesystem::create_directory(dir / "folder.txt");
    EXPECT_EQ(errorOf((dir / "folder.txt").string()), "Resume file was not found.");
    for (const char* name : {"resume.doc", "resume", "resume.pdf.bak", "resume.html"}) {
        writeFile(dir / name, "Some text");
        EXPECT_EQ(errorOf((dir / name).string()), "Supported resume formats are PDF, DOCX, TXT, MD, and RTF.") << name;
    }
}

TEST(ExtractText, PlainTextIsStrictUtf8AndCleaned) {
    EXPECT_EQ(ResumeService::extractText(fixturePath("crlf.txt")),
              "Jordan Avery\nRemote SRE Lisbon\n\nLed 3 teams. \n \nEnd");
    EXPECT_EQ(ResumeService::extractText(fixturePath("sample.md")), "# Jordan Avery\n\n- Led **3** teams");

    std::string latin1 = errorOf(fixturePath("latin1.txt"));
    EXPECT_THAT(latin1, HasSubstr("UTF-8"));

    TempDir dir;
    writeFile(dir / "bom.TXT", "\xEF\xBB\xBFHello");
    EXPECT_EQ(ResumeService::extractText((dir / "bom.TXT").string()), "Hello");
}

TEST(ExtractText, OversizedFilesAreRefusedWithoutReadingThem) {
    TempDir dir;
    constexpr std::uintmax_t MB = 1024u * 1024u;
    for (const auto& [name, size] : {std::pair{"huge.txt", 16 * MB + 1}, std::pair{"huge.md", 16 * MB + 1},
                                     std::pair{"huge.rtf", 64 * MB + 1}, std::pair{"huge.pdf", 256 * MB + 1}}) {
        auto path = dir / name;
        writeFile(path, "x");
        std::filesystem::resize_file(path, size); // sparse: costs no disk
        EXPECT_EQ(errorOf(path.string()), "The resume file is too large to import.") << name;
    }
}

TEST(ExtractPdf, TwoPagesComeBackInOrderAndMatchPdftotext) {
    std::string text = ResumeService::extractText(fixturePath("two-page.pdf"));
    EXPECT_TRUE(text::startsWith(text, "Jordan Avery\n")) << text;
    EXPECT_TRUE(text::endsWith(text, "B.Sc. Computer Science \u2013 University of Porto | 2017")) << text;
    size_t pageOneEnd = text.find("4 time zones.");
    size_t pageTwoStart = text.find("Contoso Retail");
    ASSERT_NE(pageOneEnd, std::string::npos);
    ASSERT_NE(pageTwoStart, std::string::npos);
    std::string between = text.substr(pageOneEnd + 13, pageTwoStart - pageOneEnd - 13);
    EXPECT_FALSE(between.empty());
    EXPECT_EQ(between.find_first_not_of('\n'), std::string::npos) << "only line feeds between the pages";
    EXPECT_THAT(text, HasSubstr("\u2022 Led the migration of 140 services"));

    // The independent reader of the same file sees the same words in the same order.
    EXPECT_EQ(words(text), words(runPdftotext(fixturePath("two-page.pdf"))));
}

TEST(ExtractPdf, CapitalExtensionScanAndUnreadableFiles) {
    TempDir dir;
    std::filesystem::copy_file(fixturePath("one-page.pdf"), dir / "RESUME.PDF");
    EXPECT_THAT(ResumeService::extractText((dir / "RESUME.PDF").string()), HasSubstr("jordan.avery@example.com"));

    EXPECT_EQ(ResumeService::extractText(fixturePath("scan.pdf")), "");
    EXPECT_EQ(errorOf(fixturePath("encrypted.pdf")), "The PDF resume could not be opened.");

    writeFile(dir / "garbage.pdf", "%PDF-1.7\nthis is not a PDF body at all\n");
    EXPECT_EQ(errorOf((dir / "garbage.pdf").string()), "The PDF resume could not be opened.");
    writeFile(dir / "empty.pdf", "");
    EXPECT_EQ(errorOf((dir / "empty.pdf").string()), "The PDF resume could not be opened.");

    // A truncated file may be repaired by the reader or refused, but never half-crash.
    std::string whole = readFile(fixturePath("one-page.pdf"));
    for (size_t cut : {whole.size() / 3, whole.size() / 2, whole.size() - 40}) {
        writeFile(dir / "cut.pdf", whole.substr(0, cut));
        try {
            EXPECT_TRUE(text::isValidUtf8(ResumeService::extractText((dir / "cut.pdf").string())));
        } catch (const VelmoraError& e) {
            EXPECT_EQ(e.message(), "The PDF resume could not be opened.");
        }
    }
}

TEST(ExtractDocx, RunsTabsBreaksAndParagraphs) {
    // Two runs join with nothing between them, the tab becomes a blank, the break a line;
    // field codes and deleted text stay out.
    EXPECT_EQ(ResumeService::extractText(fixturePath("sample.docx")),
              "Jordan Avery Remote SRE\njordan.avery@example.com\nLed S\u00E3o Paulo rollout & cut costs by 30%.");
    EXPECT_EQ(ResumeService::extractText(fixturePath("libreoffice.docx")),
              "Jordan Avery\nRemote SRE Lisbon\n\nLed the migration of 140 services.");
}

TEST(ExtractDocx, BrokenContainersAndParts) {
    EXPECT_EQ(errorOf(fixturePath("not-xml.docx")), "The DOCX resume could not be parsed.");
    EXPECT_EQ(errorOf(fixturePath("no-document.docx")), "DOCX document.xml was not found.");

    TempDir dir;
    writeFile(dir / "plain.docx", "This is a text file with a docx name.");
    EXPECT_EQ(errorOf((dir / "plain.docx").string()), "DOCX document.xml was not found.");
    std::string whole = readFile(fixturePath("sample.docx"));
    writeFile(dir / "truncated.docx", whole.substr(0, whole.size() * 2 / 3));
    EXPECT_EQ(errorOf((dir / "truncated.docx").string()), "DOCX document.xml was not found.");
    writeDocx(dir / "empty-part.docx", "");
    EXPECT_EQ(errorOf((dir / "empty-part.docx").string()), "DOCX document.xml was not found.");
}

TEST(ExtractDocx, ExpansionAttacksAreRefused) {
    TempDir dir;
    // Entity amplification ("billion laughs") is stopped by the parser, not by memory.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    std::string prev = "a";
    for (int i = 0; i < 12; ++i) {
        std::string next = "e" + std::to_string(i);
        laughs += "<!ENTITY " + next + " \"";
        for (int k = 0; k < 10; ++k) laughs += "&" + prev + ";";
        laughs += "\">";
        prev = next;
    }
    laughs += "]><w:document xmlns:w=\"x\"><w:p><w:t>&" + prev + ";</w:t></w:p></w:document>";
    writeDocx(dir / "laughs.docx", laughs);
    EXPECT_EQ(errorOf((dir / "laughs.docx").string()), "The DOCX resume could not be parsed.");

    // A 200 KB archive (Python zipfile, level 9) whose document.xml inflates to 65 MB is cut off
    // while inflating.
    EXPECT_EQ(errorOf(fixturePath("inflates-past-64mb.docx")), "The DOCX resume is too large to read.");
}

TEST(ExtractRtf, HandWrittenAndOfficeDocuments) {
    std::string text = ResumeService::extractText(fixturePath("sample.rtf"));
    EXPECT_EQ(text, "Jordan Avery\nRemote SRE Lisbon\nCaf\u00E9 owner \u2013 led 3 kitchens\nUnicode: \u20AC 5, smile "
                    "\U0001F600, skipped \u2605 star\nBraces { and } and backslash \\\nexample.com");
    EXPECT_THAT(text, Not(HasSubstr("Secret Title")));
    EXPECT_THAT(text, Not(HasSubstr("Helvetica")));

    EXPECT_EQ(ResumeService::extractText(fixturePath("libreoffice.rtf")),
              "Jordan Avery \u2013 S\u00E3o Paulo\nR\u00E9sum\u00E9 \u2713 \u201Cquoted\u201D\n\nLed 3 teams.");

    TempDir dir;
    writeFile(dir / "fake.rtf", "Just text pretending to be RTF");
    EXPECT_EQ(errorOf((dir / "fake.rtf").string()), "The RTF resume could not be read.");
}
