#include "studio/DocxWriter.h"

#include "core/VelmoraError.h"
#include "studio/ExportTestSupport.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

std::vector<std::string> runTextsOf(const ResumeDocument& d) {
    XmlReadBack xml = parseXml(buildDocxDocumentXml(d));
    EXPECT_TRUE(xml.wellFormed);
    return xml.runTexts;
}

ResumeDocument bare() {
    ResumeDocument d;
    d.name = "";
    return d;
}

} // namespace

TEST(DocxDocumentXml, MatchesTheWordFormatExactly) {
    ResumeDocument d = bare();
    d.templateName = "Compact one-page";
    d.language = "DE";
    d.contact = "Ann & Co\nann@x.io";
    d.summary = "Hi";
    d.experience = "Built <things>";
    const std::string font = "<w:rFonts w:ascii=\"Arial\" w:hAnsi=\"Arial\"/>";
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>\n"
        "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:rPr>" + font +
        "<w:b/><w:sz w:val=\"27\"/></w:rPr><w:t xml:space=\"preserve\">Ann &amp; Co</w:t></w:r></w:p>\n"
        "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:rPr>" + font +
        "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">ann@x.io</w:t></w:r></w:p>\n"
        "<w:p><w:pPr><w:keepNext/><w:spacing w:before=\"150\" w:after=\"50\"/><w:pBdr><w:bottom w:val=\"single\" w:sz=\"4\" "
        "w:color=\"808080\"/></w:pBdr></w:pPr><w:r><w:rPr>" + font +
        "<w:b/><w:sz w:val=\"19\"/></w:rPr><w:t>BERUFLICHES PROFIL</w:t></w:r></w:p>\n"
        "<w:p><w:pPr><w:spacing w:after=\"35\"/></w:pPr><w:r><w:rPr>" + font +
        "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">Hi</w:t></w:r></w:p>\n"
        "<w:p><w:pPr><w:keepNext/><w:spacing w:before=\"150\" w:after=\"50\"/><w:pBdr><w:bottom w:val=\"single\" w:sz=\"4\" "
        "w:color=\"808080\"/></w:pBdr></w:pPr><w:r><w:rPr>" + font +
        "<w:b/><w:sz w:val=\"19\"/></w:rPr><w:t>BERUFSERFAHRUNG</w:t></w:r></w:p>\n"
        "<w:p><w:pPr><w:spacing w:after=\"35\"/></w:pPr><w:r><w:rPr>" + font +
        "<w:sz w:val=\"18\"/></w:rPr><w:t xml:space=\"preserve\">• Built &lt;things&gt;</w:t></w:r></w:p>\n"
        "<w:sectPr><w:pgMar w:top=\"500\" w:right=\"500\" w:bottom=\"500\" w:left=\"500\" w:header=\"300\" "
        "w:footer=\"300\" w:gutter=\"0\"/></w:sectPr>\n</w:body></w:document>";
    EXPECT_EQ(buildDocxDocumentXml(d), expected);
}

TEST(DocxDocumentXml, TemplatesChooseFontSizesAndMargins) {
    ResumeDocument d = bare();
    d.contact = "Name\nmail";
    d.targetRole = "Role";
    d.skills = "Go";

    d.templateName = "Classic serif";
    std::string classic = buildDocxDocumentXml(d);
    EXPECT_NE(classic.find("w:ascii=\"Georgia\" w:hAnsi=\"Georgia\"/><w:b/><w:sz w:val=\"30\"/>"), std::string::npos);
    EXPECT_NE(classic.find("w:hAnsi=\"Georgia\"/><w:sz w:val=\"21\"/></w:rPr><w:t xml:space=\"preserve\">Role<"),
              std::string::npos);
    EXPECT_NE(classic.find("<w:b/><w:sz w:val=\"20\"/></w:rPr><w:t>SKILLS<"), std::string::npos);
    EXPECT_NE(classic.find("<w:sz w:val=\"19\"/></w:rPr><w:t xml:space=\"preserve\">mail<"), std::string::npos);
    EXPECT_NE(classic.find("w:top=\"720\" w:right=\"720\" w:bottom=\"720\" w:left=\"720\""), std::string::npos);

    // A style naming both picks classic; anything unknown is modern.
    d.templateName = "compact CLASSIC";
    EXPECT_NE(buildDocxDocumentXml(d).find("\"Georgia\""), std::string::npos);
    d.templateName = "Modern ATS";
    std::string modern = buildDocxDocumentXml(d);
    EXPECT_NE(modern.find("w:ascii=\"Aptos\""), std::string::npos);
    EXPECT_EQ(modern.find("Georgia"), std::string::npos);
}

TEST(DocxDocumentXml, ContactBlockGivesNameAndOneJoinedContactLine) {
    ResumeDocument d = bare();
    d.targetRole = "Data Engineer";
    d.summary = "Summary line";

    // No contact: the role line comes first; with no role either, the first heading.
    EXPECT_EQ(runTextsOf(d), (std::vector<std::string>{"Data Engineer", "PROFESSIONAL SUMMARY", "Summary line"}));
    d.targetRole = "";
    EXPECT_EQ(runTextsOf(d).front(), "PROFESSIONAL SUMMARY");

    d.contact = "Only Name";
    std::string xml = buildDocxDocumentXml(d);
    EXPECT_EQ(runTextsOf(d), (std::vector<std::string>{"Only Name", "PROFESSIONAL SUMMARY", "Summary line"}));
    EXPECT_EQ(countOf(xml, "<w:b/>"), 2u); // the name and the heading

    d.contact = "\n  \nJane Doe\r\njane@example.com\n\n+1 555\r\n";
    EXPECT_EQ(runTextsOf(d), (std::vector<std::string>{"Jane Doe", "jane@example.com | +1 555", "PROFESSIONAL SUMMARY",
                                                       "Summary line"}));
}

TEST(DocxDocumentXml, SectionsSkipBlanksAndBulletOnlyListSections) {
    ResumeDocument d = bare();
    d.summary = "  \n\n \t\n";
    d.skills = "- Go\nRust";
    d.experience = "- Led the team\n•Shipped it\n   \nAcme GmbH, 2020\n  indented line  ";
    d.education = "BSc";
    d.certifications = "\n";
    d.projects = "• Tool";
    EXPECT_EQ(runTextsOf(d), (std::vector<std::string>{"SKILLS", "- Go", "Rust", "EXPERIENCE", "• Led the team",
                                                       "• Shipped it", "Acme GmbH, 2020", "indented line", "EDUCATION",
                                                       "• BSc", "PROJECTS", "• Tool"}));
}

TEST(DocxDocumentXml, OneBulletMarkPerItemAndNoneOnEntryLines) {
    struct Case {
        std::string text;
        bool bulleted;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"• – Migrated X\n• * Mentored Y\n### Lumen Health\n**Staff Engineer** | 2021 – 2025\n+ Wrote Z",
         true,
         {"• Migrated X", "• Mentored Y", "Lumen Health", "Staff Engineer | 2021 – 2025", "• Wrote Z"}},
        // Without any marks, entry lines are known by their dates and separators.
        {"Acme — Engineer, 2019 – 2022\nBuilt the billing service.\nShipped v2 of the API", true,
         {"Acme — Engineer, 2019 – 2022", "• Built the billing service.", "• Shipped v2 of the API"}},
        {"- Go\nRust", false, {"- Go", "Rust"}},
    };
    for (const Case& c : cases) EXPECT_EQ(sectionLines(c.text, c.bulleted), c.lines) << c.text;
}

TEST(DocxDocumentXml, EscapesMarkupAndDropsCharactersXmlCannotHold) {
    ResumeDocument d = bare();
    d.contact = "Tom & <Jerry> \"TJ\" O'Neil";
    d.summary = std::string("Tab\there, bell\x07 and form\x0b feed");
    std::string xml = buildDocxDocumentXml(d);
    EXPECT_NE(xml.find(">Tom &amp; &lt;Jerry&gt; &quot;TJ&quot; O&apos;Neil<"), std::string::npos);
    EXPECT_EQ(xml.find('\x07'), std::string::npos);
    // Read back, the text is what the user wrote.
    std::vector<std::string> texts = runTextsOf(d);
    EXPECT_EQ(texts.at(0), "Tom & <Jerry> \"TJ\" O'Neil");
    EXPECT_EQ(texts.at(2), "Tab\there, bell and form");
    EXPECT_EQ(texts.at(3), "feed"); // a vertical tab is a line break in pasted text
}

TEST(DocxDocumentXml, HeadingsFollowTheDocumentLanguage) {
    ResumeDocument d = bare();
    d.skills = "Go";
    d.experience = "Work";
    d.language = "de";
    std::vector<std::string> de = runTextsOf(d);
    EXPECT_EQ(de.at(0), "KOMPETENZEN");
    EXPECT_EQ(de.at(2), "BERUFSERFAHRUNG");
    d.language = "pt-BR";
    EXPECT_EQ(runTextsOf(d).at(0), "SKILLS");
    d.language = " PT ";
    EXPECT_EQ(runTextsOf(d).at(0), "COMPETÊNCIAS");

    EXPECT_EQ(resumeHeading("fr", "Experience"), "EXPÉRIENCE");
    EXPECT_EQ(resumeHeading("es", "education"), "EDUCACIÓN");
    EXPECT_EQ(resumeHeading("it", "certifications"), "CERTIFICAZIONI");
    EXPECT_EQ(resumeHeading("xx", "summary"), "PROFESSIONAL SUMMARY");
    EXPECT_EQ(resumeHeading("de", "languages"), "LANGUAGES");
}

TEST(DocxPackage, FixedPartsAreTheOpcBoilerplate) {
    EXPECT_EQ(docxContentTypesXml(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
              "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">\n"
              "  <Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>\n"
              "  <Default Extension=\"xml\" ContentType=\"application/xml\"/>\n"
              "  <Override PartName=\"/word/document.xml\" "
              "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>\n"
              "</Types>");
    EXPECT_EQ(docxRelationshipsXml(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
              "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">\n"
              "  <Relationship Id=\"rId1\" "
              "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
              "Target=\"word/document.xml\"/>\n"
              "</Relationships>");
}

TEST(DocxExport, WritesAZipWithExactlyTheThreeParts) {
    TempDir dir;
    ResumeDocument d = sampleResume();
    auto out = dir / "Jane CV.docx";
    EXPECT_EQ(exportDocx(out, d), out);

    auto entries = readZip(out);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.at("[Content_Types].xml"), docxContentTypesXml());
    EXPECT_EQ(entries.at("_rels/.rels"), docxRelationshipsXml());
    EXPECT_EQ(entries.at("word/document.xml"), buildDocxDocumentXml(d));
    for (const auto& [name, content] : entries) EXPECT_TRUE(parseXml(content).wellFormed) << name;

    XmlReadBack body = parseXml(entries.at("word/document.xml"));
    EXPECT_EQ(body.runTexts.at(0), "Jane Doe");
    EXPECT_EQ(body.runTexts.at(1), "jane@example.com | +1 555 0100 | Lisbon, Portugal");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"Jane CV.docx"}); // no temporary left behind
}

TEST(DocxExport, ExportingAgainReplacesTheFileInsteadOfMerging) {
    TempDir dir;
    auto out = dir / "cv.docx";
    // Something that is not an archive at all: a zip tool updating in place would choke on it.
    writeFile(out, std::string(5000, 'x'));
    ResumeDocument first = sampleResume();
    exportDocx(out, first);
    ResumeDocument second = bare();
    second.contact = "Second Person";
    exportDocx(out, second);

    auto entries = readZip(out);
    ASSERT_EQ(entries.size(), 3u);
    std::string body = entries.at("word/document.xml");
    EXPECT_NE(body.find("Second Person"), std::string::npos);
    EXPECT_EQ(body.find("Jane Doe"), std::string::npos);
    EXPECT_EQ(folderEntries(dir.path()).size(), 1u);
}

TEST(DocxExport, FailedWriteKeepsTheEarlierFileAndLeavesNoTemporary) {
    TempDir dir;
    auto out = dir / "cv.docx";
    writeFile(out, "earlier export");

    // A file-size limit makes the write fail part-way, like a full disk, even for root.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 512;
    setrlimit(RLIMIT_FSIZE, &tight);
    std::string message;
    try {
        exportDocx(out, longResume(60));
    } catch (const VelmoraError& e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(message.rfind("DOCX export failed. ", 0), 0u) << message;
    EXPECT_EQ(readFile(out), "earlier export");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cv.docx"});
}

TEST(DocxExport, MissingFolderIsReportedAsAnExportFailure) {
    TempDir dir;
    try {
        exportDocx(dir / "no-such-folder" / "cv.docx", sampleResume());
        FAIL() << "expected an error";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.message().rfind("DOCX export failed. ", 0), 0u);
        EXPECT_NE(e.message().find("No such file or directory"), std::string::npos) << e.message();
    }
}

TEST(DocxExport, LibreOfficeReadsTheTextBack) {
    if (runCommand("command -v soffice").empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    TempDir dir;
    ResumeDocument d = sampleResume();
    d.language = "de";
    d.contact = "Jürgen Müller & Söhne\njuergen@example.de";
    auto docx = dir / "cv.docx";
    exportDocx(docx, d);

    int status = -1;
    std::string profile = "file://" + (dir.path() / "lo-profile").string();
    runCommand("cd " + shellQuote(dir.path()) + " && soffice -env:UserInstallation=" + shellQuote(profile) +
                   " --headless --convert-to pdf --outdir " + shellQuote((dir / "lo").string()) + " " +
                   shellQuote(docx.string()) + " >/dev/null 2>&1",
               &status);
    ASSERT_EQ(status, 0);
    PdfReadBack pdf = readPdf(dir / "lo" / "cv.pdf");
    ASSERT_TRUE(pdf.opened);
    std::string all = pdf.allText();
    // Every paragraph written is there, in order.
    size_t pos = 0;
    for (const std::string& expected : parseXml(buildDocxDocumentXml(d)).runTexts) {
        size_t found = all.find(expected, pos);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << expected;
        if (found != std::string::npos) pos = found + expected.size();
    }
    EXPECT_NE(all.find("BERUFSERFAHRUNG"), std::string::npos);
}
