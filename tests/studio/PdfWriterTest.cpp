#include "studio/PdfWriter.h"

#include "core/Text.h"
#include "core/VelmoraError.h"
#include "studio/ExportTestSupport.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <poppler-page.h>
#include <sys/resource.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

using Kind = PdfParagraph::Kind;

std::vector<std::string> textsOf(const std::vector<PdfParagraph>& paragraphs) {
    std::vector<std::string> out;
    for (const auto& p : paragraphs) out.push_back(p.text);
    return out;
}

// The numbers of the "LineNNN" markers in a text, in order of appearance.
std::vector<int> lineMarkers(const std::string& text) {
    std::vector<int> numbers;
    for (const auto& m : text::Regex("Line(\\d{3})").allMatches(text)) numbers.push_back(std::stoi(*m.groups[1]));
    return numbers;
}

} // namespace

TEST(PdfStyledText, TemplatesSetFamilySizesAndSpacing) {
    ResumeDocument d = sampleResume();
    d.templateName = "compact";
    auto compact = buildPdfParagraphs(d);
    ASSERT_GE(compact.size(), 6u);
    EXPECT_EQ(compact[0].kind, Kind::Name);
    EXPECT_EQ(compact[0].family, "Arial");
    EXPECT_DOUBLE_EQ(compact[0].size, 14);
    EXPECT_TRUE(compact[0].bold);
    EXPECT_TRUE(compact[0].centred);
    EXPECT_EQ(compact[1].kind, Kind::Contact);
    EXPECT_DOUBLE_EQ(compact[1].size, 8.7);
    EXPECT_EQ(compact[2].kind, Kind::Role);
    EXPECT_DOUBLE_EQ(compact[2].size, 9);
    EXPECT_DOUBLE_EQ(compact[2].spacingAfter, 5);
    EXPECT_EQ(compact[3].kind, Kind::Heading);
    EXPECT_TRUE(compact[3].bold);
    EXPECT_FALSE(compact[3].centred);
    EXPECT_EQ(compact[4].kind, Kind::Body);
    EXPECT_DOUBLE_EQ(compact[4].size, 8.7);
    EXPECT_DOUBLE_EQ(compact[4].spacingAfter, 1);

    d.templateName = "Classic";
    auto classic = buildPdfParagraphs(d);
    EXPECT_EQ(classic[4].family, "Georgia");
    EXPECT_DOUBLE_EQ(classic[4].size, 9.5);
    EXPECT_DOUBLE_EQ(classic[4].spacingAfter, 1.5);
    EXPECT_DOUBLE_EQ(classic[0].size, 16);

    d.templateName = "something else";
    EXPECT_EQ(buildPdfParagraphs(d)[0].family, "Helvetica");
}

TEST(PdfStyledText, ContentAndBulletsMatchTheWordExport) {
    ResumeDocument d;
    d.contact = "  Solo Name  ";
    d.targetRole = "  ";
    d.summary = "Plain summary";
    d.experience = "- Hyphen\n   \n•Bullet\nAcme GmbH | 2020";
    d.language = "de";
    auto ps = buildPdfParagraphs(d);
    EXPECT_EQ(textsOf(ps), (std::vector<std::string>{"Solo Name", "BERUFLICHES PROFIL", "Plain summary",
                                                     "BERUFSERFAHRUNG", "• Hyphen", "• Bullet",
                                                     "Acme GmbH | 2020"}));
    EXPECT_TRUE(ps[1].bold);
    EXPECT_TRUE(ps[3].bold);

    EXPECT_TRUE(buildPdfParagraphs(ResumeDocument{}).empty());
}

TEST(PdfFonts, TemplateFamiliesResolveToInstalledFonts) {
    EXPECT_EQ(resolvePdfFontFamily("Helvetica"), "Liberation Sans");
    EXPECT_EQ(resolvePdfFontFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(resolvePdfFontFamily("Georgia"), "serif");
    EXPECT_EQ(resolvePdfFontFamily("No Such Family 12345"), "sans-serif");
    EXPECT_EQ(resolvePdfFontFamily("DejaVu Sans"), "DejaVu Sans");
}

TEST(PdfExport, OnePageResumeReadsBackInOrderWithEmbeddedFonts) {
    TempDir dir;
    ResumeDocument d = sampleResume();
    d.contact = "Jane O'Hara & Co <Lisbon>\njane@example.com";
    auto out = dir / "cv.pdf";
    PdfExportResult result = writePdf(out, d);
    EXPECT_EQ(result.pages, 1);
    EXPECT_TRUE(result.complete);

    PdfReadBack pdf = readPdf(out);
    ASSERT_TRUE(pdf.opened);
    ASSERT_EQ(pdf.pageTexts.size(), 1u);
    size_t pos = 0;
    for (const std::string& expected : textsOf(buildPdfParagraphs(d))) {
        size_t found = pdf.pageTexts[0].find(expected, pos);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << expected;
        if (found != std::string::npos) pos = found + expected.size();
    }

    std::string fonts = runCommand("pdffonts " + shellQuote(out.string()));
    EXPECT_NE(fonts.find("LiberationSans-Bold"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("LiberationSans "), std::string::npos) << fonts;
    // Every font row says "emb yes".
    auto rows = text::split(fonts, '\n');
    ASSERT_GT(rows.size(), 2u);
    for (size_t i = 2; i < rows.size(); ++i) EXPECT_TRUE(text::Regex("\\byes\\s+yes\\s+yes\\b").search(rows[i]) ||
                                                          text::Regex("\\byes\\s+yes\\s+no\\b").search(rows[i]))
                                                 << rows[i];
}

TEST(PdfExport, TextStaysInsideTheLetterPageRectangle) {
    TempDir dir;
    ResumeDocument d = sampleResume();
    d.summary = "A very long line without any spaces: https://example.com/" + std::string(300, 'a') +
                "\nand a wrapped line that goes on " + std::string(40, 'x') + " and on and on and on and on and on";
    auto out = dir / "cv.pdf";
    writePdf(out, d);

    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(out.string()));
    ASSERT_TRUE(doc);
    std::unique_ptr<poppler::page> page(doc->create_page(0));
    poppler::rectf box = page->page_rect();
    EXPECT_DOUBLE_EQ(box.width(), 612);
    EXPECT_DOUBLE_EQ(box.height(), 792);
    auto words = page->text_list();
    ASSERT_FALSE(words.empty());
    for (const auto& word : words) {
        poppler::rectf r = word.bbox();
        EXPECT_GE(r.left(), 46 - 0.5);
        EXPECT_LE(r.right(), 612 - 46 + 0.5);
        EXPECT_GE(r.top(), 48 - 0.5);
        EXPECT_LE(r.bottom(), 792 - 48 + 0.5);
    }
    // The name is centred on the page.
    poppler::rectf name = words.front().bbox();
    auto nameText = words.front().text().to_utf8();
    EXPECT_EQ(std::string(nameText.begin(), nameText.end()), "Jane");
    poppler::rectf surname = words.at(1).bbox();
    EXPECT_NEAR((name.left() + surname.right()) / 2, 306, 1.5);
    // Nothing of the long address is lost to the margin.
    std::string all = readPdf(out).allText();
    all = text::Regex("\\s+").replaceAll(all, "");
    EXPECT_NE(all.find("https://example.com/" + std::string(300, 'a')), std::string::npos);
}

TEST(PdfExport, LongResumePaginatesWithoutLosingOrRepeatingLines) {
    TempDir dir;
    const int lines = 170;
    auto out = dir / "long.pdf";
    PdfExportResult result = writePdf(out, longResume(lines));
    PdfReadBack pdf = readPdf(out);
    ASSERT_TRUE(pdf.opened);
    EXPECT_GE(pdf.pageTexts.size(), 3u);
    EXPECT_EQ(static_cast<size_t>(result.pages), pdf.pageTexts.size());
    EXPECT_TRUE(result.complete);

    // Across all pages every line appears exactly once and in order; each page continues
    // exactly where the previous one stopped.
    std::vector<int> all;
    int previousLast = 0;
    for (size_t p = 0; p < pdf.pageTexts.size(); ++p) {
        std::vector<int> onPage = lineMarkers(pdf.pageTexts[p]);
        if (onPage.empty()) continue;
        EXPECT_EQ(onPage.front(), previousLast + 1) << "page " << p + 1;
        previousLast = onPage.back();
        all.insert(all.end(), onPage.begin(), onPage.end());
    }
    ASSERT_EQ(all.size(), static_cast<size_t>(lines));
    for (int i = 0; i < lines; ++i) EXPECT_EQ(all[static_cast<size_t>(i)], i + 1);
    // The sections after the experience come after the last line, on the last page.
    EXPECT_NE(pdf.pageTexts.back().find("EDUCATION"), std::string::npos);
    EXPECT_EQ(countOf(pdf.allText(), "PROJECTS"), 1u);
}

TEST(PdfExport, EmptyResumeGivesOneBlankPage) {
    TempDir dir;
    auto out = dir / "empty.pdf";
    EXPECT_EQ(writePdf(out, ResumeDocument{}).pages, 1);
    PdfReadBack pdf = readPdf(out);
    ASSERT_TRUE(pdf.opened);
    ASSERT_EQ(pdf.pageTexts.size(), 1u);
    EXPECT_TRUE(text::isBlank(pdf.pageTexts[0]));
}

TEST(PdfExport, GermanHeadingsAndExportingTwiceReplacesTheFile) {
    TempDir dir;
    auto out = dir / "cv.pdf";
    ResumeDocument d = sampleResume();
    exportPdf(out, d);
    d.language = "de";
    d.contact = "Zweite Person";
    EXPECT_EQ(exportPdf(out, d), out);
    std::string all = readPdf(out).allText();
    EXPECT_NE(all.find("BERUFSERFAHRUNG"), std::string::npos);
    EXPECT_NE(all.find("KOMPETENZEN"), std::string::npos);
    EXPECT_NE(all.find("Zweite Person"), std::string::npos);
    EXPECT_EQ(all.find("Jane Doe"), std::string::npos);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cv.pdf"});
}

TEST(PdfExport, UnwritableDestinationFailsAndKeepsTheEarlierFile) {
    TempDir dir;
    try {
        exportPdf(dir / "missing" / "cv.pdf", sampleResume());
        FAIL() << "expected an error";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.message(), "Could not create the PDF output file.");
    }

    auto out = dir / "cv.pdf";
    writeFile(out, "earlier export");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 2048;
    setrlimit(RLIMIT_FSIZE, &tight);
    std::string message;
    try {
        exportPdf(out, longResume(120));
    } catch (const VelmoraError& e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(message, "Could not create the PDF output file.");
    EXPECT_EQ(readFile(out), "earlier export");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cv.pdf"});
}

TEST(PdfExport, HardTextComesOutWholeOrFailsClearly) {
    TempDir dir;
    auto out = dir / "cv.pdf";
    ResumeDocument d = sampleResume();
    // Chinese, Japanese and Korean come from the CJK fallback font, not as boxes.
    d.summary = "日本語の履歴書 北京大学 서울대학교";
    // One unbroken 200,000-character token is wrapped in bounded time and read back whole.
    d.projects = std::string(200000, 'a');
    ASSERT_TRUE(writePdf(out, d).complete);
    std::string all = text::replaceAll(readPdf(out).allText(), "\u200B", "");
    EXPECT_NE(all.find("日本語の履歴書 北京大学 서울대학교"), std::string::npos);
    std::string joined = text::Regex("\\s+").replaceAll(all, "");
    EXPECT_NE(joined.find(std::string(200000, 'a')), std::string::npos);

    // A character no installed font can draw fails the export instead of printing a box, and
    // leaves the earlier file alone.
    writeFile(out, "earlier export");
    d.summary = "Unassigned \u0378 character";
    try {
        writePdf(out, d);
        FAIL() << "expected an error";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.message(),
                  "The PDF was not saved: some characters in the resume cannot be drawn by any installed font.");
    }
    EXPECT_EQ(readFile(out), "earlier export");
}

TEST(PdfExport, AHeadingNeverEndsAPage) {
    TempDir dir;
    // Enough summary lines to bring the next heading to every position near the page end.
    for (int lines = 44; lines <= 62; ++lines) {
        ResumeDocument d;
        d.contact = "Jane Doe";
        for (int i = 0; i < lines; ++i) d.summary += "Summary line " + std::to_string(i) + "\n";
        d.experience = "• First accomplishment";
        auto out = dir / "cv.pdf";
        writePdf(out, d);
        PdfReadBack pdf = readPdf(out);
        for (const std::string& page : pdf.pageTexts) {
            std::string last = text::trim(page);
            EXPECT_FALSE(text::endsWith(last, "EXPERIENCE")) << lines << " summary lines";
        }
    }
}
