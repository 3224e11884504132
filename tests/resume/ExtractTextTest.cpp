#include "ResumeTestSupport.h"

#include "core/Text.h"

#include <gmock/gmock.h>

#include <zip.h>

#include <cstdio>
#include <sstream>

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

std::string importError(const fs::path& path) {
    return errorOf([&] { ResumeService::extractText(path.string()); });
}

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A DOCX whose document part is the given XML, written with libzip.
void writeDocx(const fs::path& path, const std::string& documentXml) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    zip_source_t* src = zip_source_buffer(z, documentXml.data(), documentXml.size(), 0);
    ASSERT_GE(zip_file_add(z, "word/document.xml", src, ZIP_FL_OVERWRITE), 0);
    ASSERT_EQ(zip_close(z), 0);
}

} // namespace

TEST(CleanText, NormalisesLineEndingsBlankRunsAndEmptyLines) {
    EXPECT_EQ(ResumeService::clean("\r\n  a\t\t b \r\r\r\rc\r\n\r\n\r\n\r\nd \n \n e\n\n"), "a b \n\nc\n\nd \n \n e");
    EXPECT_EQ(ResumeService::clean(" \n\t "), "");
    // Only blanks and tabs are collapsed; a no-break space is text.
    EXPECT_EQ(ResumeService::clean("a\u00A0\u00A0b"), "a\u00A0\u00A0b");
}

TEST(ExtractText, EachFormatReadsBackCleaned) {
    TempDir dir;
    writeFile(dir / "bom.TXT", "\xEF\xBB\xBFHello");
    fs::copy_file(fixturePath("sample.docx"), dir / "CAPITALS.DOCX");
    const std::vector<std::pair<fs::path, std::string>> rows = {
        {fixturePath("crlf.txt"), "Jordan Avery\nRemote SRE Lisbon\n\nLed 3 teams. \n \nEnd"},
        {fixturePath("sample.md"), "# Jordan Avery\n\n- Led **3** teams"},
        {dir / "bom.TXT", "Hello"},
        {fixturePath("scan.pdf"), ""},
        // Two runs join with nothing between them, the tab becomes a blank, the break a line;
        // field codes and deleted text stay out.
        {dir / "CAPITALS.DOCX",
         "Jordan Avery Remote SRE\njordan.avery@example.com\nLed S\u00E3o Paulo rollout & cut costs by 30%."},
        {fixturePath("libreoffice.docx"), "Jordan Avery\nRemote SRE Lisbon\n\nLed the migration of 140 services."},
        {fixturePath("sample.rtf"), "Jordan Avery\nRemote SRE Lisbon\nCaf\u00E9 owner \u2013 led 3 kitchens\nUnicode: "
                                    "\u20AC 5, smile \U0001F600, skipped \u2605 star\nBraces { and } and backslash \\\n"
                                    "example.com"},
        {fixturePath("libreoffice.rtf"),
         "Jordan Avery \u2013 S\u00E3o Paulo\nR\u00E9sum\u00E9 \u2713 \u201Cquoted\u201D\n\nLed 3 teams."},
    };
    for (const auto& [path, text] : rows) EXPECT_EQ(ResumeService::extractText(path.string()), text) << path;
}

TEST(ExtractText, PdfPagesComeBackInOrderAsPdftotextSeesThem) {
    std::string text = ResumeService::extractText(fixturePath("two-page.pdf"));
    EXPECT_TRUE(text::startsWith(text, "Jordan Avery\n")) << text;
    EXPECT_TRUE(text::endsWith(text, "B.Sc. Computer Science \u2013 University of Porto | 2017")) << text;
    size_t pageOneEnd = text.find("4 time zones.") + 13;
    size_t pageTwoStart = text.find("Contoso Retail");
    ASSERT_LT(pageOneEnd, pageTwoStart);
    EXPECT_EQ(text.substr(pageOneEnd, pageTwoStart - pageOneEnd), "\n\n") << "only line feeds between the pages";
    EXPECT_THAT(text, ::testing::HasSubstr("\u2022 Led the migration of 140 services"));

    std::string pdftotext;
    FILE* pipe = popen(("pdftotext -enc UTF-8 '" + fixturePath("two-page.pdf") + "' -").c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) pdftotext.append(buffer, n);
    if (pipe) pclose(pipe);
    EXPECT_EQ(words(text), words(pdftotext));
}

TEST(ExtractText, RefusesWhatItCannotReadSafely) {
    TempDir dir;
    constexpr std::uintmax_t MB = 1024u * 1024u;
    fs::create_directory(dir / "folder.txt");
    for (const char* name : {"resume.doc", "resume", "resume.pdf.bak", "resume.html"}) writeFile(dir / name, "Some text");
    // Sparse files over each cap cost no disk.
    for (const auto& [name, size] : {std::pair{"huge.txt", 16 * MB + 1}, std::pair{"huge.md", 16 * MB + 1},
                                     std::pair{"huge.rtf", 64 * MB + 1}, std::pair{"huge.pdf", 256 * MB + 1}}) {
        writeFile(dir / name, "x");
        fs::resize_file(dir / name, size);
    }
    writeFile(dir / "garbage.pdf", "%PDF-1.7\nthis is not a PDF body at all\n");
    writeFile(dir / "empty.pdf", "");
    writeFile(dir / "plain.docx", "This is a text file with a docx name.");
    std::string docx = readFile(fixturePath("sample.docx"));
    writeFile(dir / "truncated.docx", docx.substr(0, docx.size() * 2 / 3));
    writeDocx(dir / "empty-part.docx", "");
    writeFile(dir / "fake.rtf", "Just text pretending to be RTF");
    // Entity amplification ("billion laughs") is stopped by the parser, not by memory.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY e0 \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    for (int i = 1; i < 12; ++i) {
        laughs += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) laughs += "&e" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    writeDocx(dir / "laughs.docx", laughs + "]><w:document xmlns:w=\"x\"><w:p><w:t>&e11;</w:t></w:p></w:document>");

    const std::string notFound = "Resume file was not found.", tooLarge = "The resume file is too large to import.",
                      badPdf = "The PDF resume could not be opened.", noPart = "DOCX document.xml was not found.",
                      badDocx = "The DOCX resume could not be parsed.",
                      format = "Supported resume formats are PDF, DOCX, TXT, MD, and RTF.";
    const std::vector<std::pair<fs::path, std::string>> rows = {
        {"", notFound}, {dir / "nope.pdf", notFound}, {dir / "folder.txt", notFound},
        {dir / "resume.doc", format}, {dir / "resume", format}, {dir / "resume.pdf.bak", format},
        {dir / "resume.html", format},
        {fixturePath("latin1.txt"), "The text resume is not valid UTF-8. Save it as UTF-8 text and try again."},
        {dir / "huge.txt", tooLarge}, {dir / "huge.md", tooLarge}, {dir / "huge.rtf", tooLarge},
        {dir / "huge.pdf", tooLarge},
        {fixturePath("encrypted.pdf"), badPdf}, {dir / "garbage.pdf", badPdf}, {dir / "empty.pdf", badPdf},
        {fixturePath("not-xml.docx"), badDocx}, {dir / "laughs.docx", badDocx},
        {fixturePath("no-document.docx"), noPart}, {dir / "plain.docx", noPart}, {dir / "truncated.docx", noPart},
        {dir / "empty-part.docx", noPart},
        // A 64 KB archive whose document part inflates past 64 MB is cut off while inflating.
        {fixturePath("inflates-past-64mb.docx"), "The DOCX resume is too large to read."},
        {dir / "fake.rtf", "The RTF resume could not be read."},
    };
    for (const auto& [path, error] : rows) EXPECT_EQ(importError(path), error) << path;

    // A truncated PDF may be repaired by the reader or refused, but never half-crash.
    std::string whole = readFile(fixturePath("one-page.pdf"));
    for (size_t cut : {whole.size() / 3, whole.size() / 2, whole.size() - 40}) {
        writeFile(dir / "cut.pdf", whole.substr(0, cut));
        std::string error = importError(dir / "cut.pdf");
        EXPECT_TRUE(error == "<no error>" || error == badPdf) << error;
    }
}
