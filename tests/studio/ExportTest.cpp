// Exported resumes read back the way a recruiter's software reads them: the DOCX through this
// program's own import and through LibreOffice, the PDF through poppler and pdffonts.
#include "StudioTestEnv.h"

#include "studio/DocxWriter.h"
#include "studio/PdfWriter.h"
#include "support/ChildProcess.h"

#include <numeric>

using namespace velmora;
using namespace velmora::testing;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

Lines docxLines(const ResumeDocument& d) {
    TempDir dir;
    exportDocx(dir / "cv.docx", d);
    return text::split(ResumeService::extractText((dir / "cv.docx").string()), '\n', false);
}

// Experience long enough for several pages: numbered lines that are easy to find again.
ResumeDocument longResume(int lines) {
    ResumeDocument d = sampleResume();
    d.experience.clear();
    for (int i = 1; i <= lines; ++i)
        d.experience += "Line" + std::to_string(1000 + i).substr(1) + " delivered a measurable improvement to the "
                        "deployment pipeline\n";
    return d;
}

} // namespace

TEST(Export, BothFormatsWriteTheSameLines) {
    const std::string summary = "Summary line";
    const std::vector<std::tuple<const char*, ResumeDocument, Lines>> rows = {
        {"blank contact lines dropped, the rest joined under the name",
         {.contact = "\n  \nJane Doe\r\njane@example.com\n\n+1 555\r\n", .summary = summary},
         {"Jane Doe", "jane@example.com | +1 555", "PROFESSIONAL SUMMARY", "Summary line"}},
        {"no contact: the role comes first", {.targetRole = " Data Engineer ", .summary = summary},
         {"Data Engineer", "PROFESSIONAL SUMMARY", "Summary line"}},
        {"blank sections skipped, one bullet mark per item, none on list sections or entry lines",
         {.summary = "  \n\n \t\n",
          .skills = "- Go\nRust",
          .experience = "- Led the team\n•Shipped it\n   \nAcme GmbH, 2020\n  indented line  ",
          .education = "BSc",
          .certifications = "\n",
          .projects = "• – Tool\n### Lumen Health\n**Staff Engineer** | 2021 – 2025\n+ Wrote Z"},
         {"SKILLS", "- Go", "Rust", "EXPERIENCE", "• Led the team", "• Shipped it", "Acme GmbH, 2020", "indented line",
          "EDUCATION", "• BSc", "PROJECTS", "• Tool", "Lumen Health", "Staff Engineer | 2021 – 2025", "• Wrote Z"}},
        {"without marks, entry lines are known by their dates",
         {.experience = "Acme — Engineer, 2019 – 2022\nBuilt the billing service."},
         {"EXPERIENCE", "Acme — Engineer, 2019 – 2022", "• Built the billing service."}},
        {"markup characters survive; control characters do not",
         {.contact = "Tom & <Jerry> \"TJ\" O'Neil", .summary = "pasted form\x0b feed"},
         {"Tom & <Jerry> \"TJ\" O'Neil", "PROFESSIONAL SUMMARY", "pasted form", "feed"}},
        {"headings in the document's language", {.language = " DE ", .summary = summary, .experience = "Work"},
         {"BERUFLICHES PROFIL", "Summary line", "BERUFSERFAHRUNG", "• Work"}},
    };
    for (const auto& [label, d, lines] : rows) {
        SCOPED_TRACE(label);
        EXPECT_EQ(docxLines(d), lines);
        Lines pdf;
        for (const PdfParagraph& p : buildPdfParagraphs(d)) pdf.push_back(p.text);
        EXPECT_EQ(pdf, lines);
    }
    // The vertical tab above breaks the line before it reaches the XML; a bell does not.
    EXPECT_EQ(docxLines({.summary = "bell\x07 rings"}).back(), "bell rings") << "a character XML cannot hold";
}

TEST(Export, BothFormatsPickTheSameTemplate) {
    // Naming both picks classic; anything unknown is modern.
    const std::vector<std::tuple<const char*, const char*, const char*, const char*, double>> rows = {
        {"Compact one-page", "Arial", "Arial", "500", 8.7},
        {"compact CLASSIC", "Georgia", "Georgia", "720", 9.5},
        {"anything else", "Helvetica", "Aptos", "720", 9.5}};
    ResumeDocument d = sampleResume();
    for (const auto& [style, pdfFamily, docxFont, docxMargin, bodySize] : rows) {
        d.templateName = style;
        const std::string xml = buildDocxDocumentXml(d);
        EXPECT_TRUE(text::contains(xml, std::string("w:ascii=\"") + docxFont + "\"")) << style;
        EXPECT_TRUE(text::contains(xml, std::string("w:left=\"") + docxMargin + "\"")) << style;
        auto ps = buildPdfParagraphs(d);
        EXPECT_EQ(ps.back().family, pdfFamily) << style;
        EXPECT_DOUBLE_EQ(ps.back().size, bodySize) << style;
    }
}

TEST(Export, WritingReplacesTheFileWholeAndAFailureKeepsTheEarlierOne) {
    for (const bool pdf : {false, true}) {
        SCOPED_TRACE(pdf ? "pdf" : "docx");
        const auto write = [pdf](const fs::path& p, const ResumeDocument& d) { pdf ? exportPdf(p, d) : exportDocx(p, d); };
        TempDir dir;
        const fs::path out = dir / (pdf ? "cv.pdf" : "cv.docx");
        // A write that fails part-way, as on a full disk; a writer updating in place would leave half a file.
        writeFile(out, "earlier export");
        EXPECT_EQ(inChild([&](int) { diskFullAt(1024), write(out, longResume(120)); }), ChildEnd::Failed);
        EXPECT_EQ(readFile(out), "earlier export");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "a temporary was left";
    }
}

TEST(Export, LibreOfficeOpensTheDocxWithEveryParagraphInOrder) {
    if (runCommand("command -v soffice").empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    TempDir dir;
    ResumeDocument d = sampleResume();
    d.language = "de", d.contact = "Jürgen Müller & Söhne\njuergen@example.de";
    exportDocx(dir / "cv.docx", d);
    int status = -1;
    runCommand("cd '" + dir.path().string() + "' && soffice -env:UserInstallation=file://" + dir.path().string() +
                   "/lo-profile --headless --convert-to pdf --outdir lo cv.docx >/dev/null 2>&1",
               &status);
    ASSERT_EQ(status, 0);
    // LibreOffice lays the lines out its own way; the words and their order must be the same.
    const text::Regex blanks("\\s+");
    EXPECT_EQ(blanks.replaceAll(text::join(pdfPages(dir / "lo" / "cv.pdf"), ""), ""),
              blanks.replaceAll(text::join(docxLines(d), ""), ""));
}

TEST(Export, PdfReadsBackInOrderInsideThePageWithEmbeddedFonts) {
    TempDir dir;
    ResumeDocument d = sampleResume();
    // A long address and a long line reach the right margin.
    d.summary = "A long address: https://example.com/" + std::string(300, 'a') + "\nand a wrapped line that goes on " +
                std::string(40, 'x') + " and on and on and on and on and on";
    auto out = dir / "cv.pdf";
    PdfExportResult result = writePdf(out, d);
    ASSERT_TRUE(result.pages == 1 && result.complete);
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(out.string()));
    std::unique_ptr<poppler::page> page(doc->create_page(0));
    EXPECT_EQ(std::make_pair(page->page_rect().width(), page->page_rect().height()), std::make_pair(612.0, 792.0));
    for (const auto& word : page->text_list()) {
        poppler::rectf r = word.bbox();
        EXPECT_TRUE(r.left() >= 45.5 && r.right() <= 566.5 && r.top() >= 47.5 && r.bottom() <= 744.5);
    }

    std::string fonts = runCommand("pdffonts '" + out.string() + "'");
    EXPECT_TRUE(text::contains(fonts, "LiberationSans-Bold")) << fonts;
    Lines rows = text::split(fonts, '\n', false);
    for (size_t i = 2; i < rows.size(); ++i) EXPECT_TRUE(text::Regex("\\byes\\s+yes\\s+(yes|no)\\b").search(rows[i])) << rows[i];
}

TEST(Export, PdfPagesContinueWithoutLosingOrRepeatingALineAndNoHeadingEndsAPage) {
    TempDir dir;
    auto out = dir / "long.pdf";
    PdfExportResult result = writePdf(out, longResume(130));
    Lines pages = pdfPages(out);
    ASSERT_GE(pages.size(), 2u);
    EXPECT_EQ(static_cast<size_t>(result.pages), pages.size());
    std::vector<int> numbers, expected(130);
    for (const auto& m : text::Regex("Line(\\d{3})").allMatches(text::join(pages, ""))) numbers.push_back(std::stoi(*m.groups[1]));
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(numbers, expected);
    EXPECT_TRUE(text::contains(pages.back(), "EDUCATION"));

    // Summaries that bring the next heading to every position near the page end.
    for (int summaryLines = 44; summaryLines <= 62; ++summaryLines) {
        ResumeDocument d{.experience = "• First accomplishment"};
        for (int i = 0; i < summaryLines; ++i) d.summary += "Summary line " + std::to_string(i) + "\n";
        writePdf(out, d);
        for (const std::string& page : pdfPages(out))
            EXPECT_FALSE(text::endsWith(text::trim(page), "EXPERIENCE")) << summaryLines << " summary lines";
    }
}

TEST(Export, PdfDrawsHardTextWholeOrRefusesIt) {
    TempDir dir;
    auto out = dir / "cv.pdf";
    // Chinese, Japanese and Korean come from the CJK fallback font, not as boxes; one unbroken
    // 20,000-character token is wrapped, not cut.
    ResumeDocument d{.summary = "日本語の履歴書 北京大学 서울대학교", .projects = std::string(20000, 'a')};
    ASSERT_TRUE(writePdf(out, d).complete);
    std::string all = text::replaceAll(text::join(pdfPages(out), ""), "\u200B", "");
    EXPECT_TRUE(text::contains(all, "日本語の履歴書 北京大学 서울대학교"));
    EXPECT_TRUE(text::contains(text::Regex("\\s+").replaceAll(all, ""), std::string(20000, 'a')));

    // That a failed export keeps the earlier file is the fault test's.
    d.summary = "Unassigned \u0378 character";
    EXPECT_EQ(errorOf([&] { writePdf(out, d); }),
              "The PDF was not saved: some characters in the resume cannot be drawn by any installed font.");
}
