#include "ResumeTestSupport.h"

#include "core/Text.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

TEST(ExtractText, EachFormatReadsBackCleanedAndPdfPagesInOrder) {
    EXPECT_EQ(ResumeService::clean("\r\n  a\t\t b \r\r\r\rc\r\n\r\n\r\n\r\nd \n \n e\n\n"), "a b \n\nc\n\nd \n \n e");
    // Only blanks and tabs are collapsed; a no-break space is text.
    EXPECT_EQ(ResumeService::clean(" \n\t ") + ResumeService::clean("a\u00A0\u00A0b"), "a\u00A0\u00A0b");
    TempDir dir;
    writeFile(dir / "bom.TXT", "\xEF\xBB\xBFHello");
    fs::copy_file(fixturePath("sample.docx"), dir / "CAPITALS.DOCX");
    const std::vector<std::pair<fs::path, std::string>> rows = {
        {fixturePath("crlf.txt"), "Jordan Avery\nRemote SRE Lisbon\n\nLed 3 teams. \n \nEnd"},
        {dir / "bom.TXT", "Hello"},
        {fixturePath("scan.pdf"), ""},
        // Two runs join with nothing between them, the tab becomes a blank, the break a line;
        // field codes and deleted text stay out.
        {dir / "CAPITALS.DOCX",
         "Jordan Avery Remote SRE\njordan.avery@example.com\nLed S\u00E3o Paulo rollout & cut costs by 30%."},
        {fixturePath("libreoffice.docx"), "Jordan Avery\nRemote SRE Lisbon\n\nLed the migration of 140 services."},
        {fixturePath("libreoffice.rtf"),
         "Jordan Avery \u2013 S\u00E3o Paulo\nR\u00E9sum\u00E9 \u2713 \u201Cquoted\u201D\n\nLed 3 teams."},
    };
    for (const auto& [path, text] : rows) EXPECT_EQ(ResumeService::extractText(path.string()), text) << path;

    // Pages come back in order, as pdftotext sees them.
    std::string text = ResumeService::extractText(fixturePath("two-page.pdf"));
    EXPECT_TRUE(text::contains(text, "4 time zones.\n\nContoso Retail")) << "only line feeds between the pages";
    const auto squeezed = [](const std::string& s) { return text::Regex("\\s+").replaceAll(s, ""); };
    EXPECT_EQ(squeezed(text), squeezed(runCommand("pdftotext -enc UTF-8 '" + fixturePath("two-page.pdf") + "' -")));
}

TEST(ExtractText, RefusesWhatItCannotReadSafely) {
    TempDir dir;
    constexpr std::uintmax_t MB = 1024u * 1024u;
    fs::create_directory(dir / "folder.txt");
    // Sparse files over each cap cost no disk.
    for (const auto& [name, size] : {std::pair{"huge.txt", 16 * MB + 1}, std::pair{"huge.md", 16 * MB + 1},
                                     std::pair{"huge.rtf", 64 * MB + 1}, std::pair{"huge.pdf", 256 * MB + 1}}) {
        writeFile(dir / name, "x");
        fs::resize_file(dir / name, size);
    }
    const std::string docx = readFile(fixturePath("sample.docx")), notFound = "Resume file was not found.",
                      tooLarge = "The resume file is too large to import.", badPdf = "The PDF resume could not be opened.",
                      noPart = "DOCX document.xml was not found.", badDocx = "The DOCX resume could not be parsed.",
                      format = "Supported resume formats are PDF, DOCX, TXT, MD, and RTF.";
    // Each file, what is written to it first (nothing for the samples and the missing), and the refusal.
    const std::vector<std::tuple<fs::path, std::optional<std::string>, std::string>> rows = {
        {"", {}, notFound}, {dir / "nope.pdf", {}, notFound}, {dir / "folder.txt", {}, notFound},
        {dir / "resume.doc", "Some text", format}, {dir / "resume", "Some text", format},
        {dir / "resume.pdf.bak", "Some text", format}, {dir / "resume.html", "Some text", format},
        {fixturePath("latin1.txt"), {}, "The text resume is not valid UTF-8. Save it as UTF-8 text and try again."},
        {dir / "huge.txt", {}, tooLarge}, {dir / "huge.md", {}, tooLarge}, {dir / "huge.rtf", {}, tooLarge},
        {dir / "huge.pdf", {}, tooLarge}, {fixturePath("encrypted.pdf"), {}, badPdf},
        {dir / "garbage.pdf", "%PDF-1.7\nthis is not a PDF body at all\n", badPdf}, {dir / "empty.pdf", "", badPdf},
        // Entity amplification ("billion laughs") is stopped by the parser, not by memory.
        {fixturePath("not-xml.docx"), {}, badDocx}, {fixturePath("laughs.docx"), {}, badDocx},
        {fixturePath("no-document.docx"), {}, noPart}, {fixturePath("empty-part.docx"), {}, noPart},
        {dir / "plain.docx", "This is a text file with a docx name.", noPart},
        {dir / "truncated.docx", docx.substr(0, docx.size() * 2 / 3), noPart},
        // A 64 KB archive whose document part inflates past 64 MB is cut off while inflating.
        {fixturePath("inflates-past-64mb.docx"), {}, "The DOCX resume is too large to read."},
        {dir / "fake.rtf", "Just text pretending to be RTF", "The RTF resume could not be read."},
    };
    const auto importError = [](const fs::path& path) { return errorOf([&] { ResumeService::extractText(path.string()); }); };
    for (const auto& [path, content, error] : rows) {
        if (content) writeFile(path, *content);
        EXPECT_EQ(importError(path), error) << path;
    }

    // A truncated PDF may be repaired by the reader or refused, but never half-crash.
    std::string whole = readFile(fixturePath("one-page.pdf"));
    for (size_t cut : {whole.size() / 3, whole.size() / 2, whole.size() - 40}) {
        writeFile(dir / "cut.pdf", whole.substr(0, cut));
        std::string error = importError(dir / "cut.pdf");
        EXPECT_TRUE(error == "<no error>" || error == badPdf) << error;
    }
}
