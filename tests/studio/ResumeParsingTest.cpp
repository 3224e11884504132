#include "studio/ResumeStudioService.h"

#include "core/Text.h"

#include <gtest/gtest.h>

using velmora::ApplicationProfile;
using velmora::ParsedResumeSections;
using S = velmora::ResumeStudioService;

// Layouts the corpus does not cover, each with the sections it must yield.
TEST(ResumeParsing, SectionsOfAwkwardLayouts) {
    struct Case {
        const char* name;
        std::string text;
        ParsedResumeSections expected;
    };
    const std::vector<Case> cases = {
        {"run-on PDF heading after the name", "Jane Doe    SUMMARY\nSeasoned analyst with SQL depth.",
         {"Seasoned analyst with SQL depth.", "", "", "", "", ""}},
        {"capitalised heading glued to the name line", "PRIYA NAIR SUMMARY\nData lead.\nSKILLS\nSQL",
         {"Data lead.", "SQL", "", "", "", ""}},
        {"a heading word ending a body line stays in the body",
         "EXPERIENCE\n• Led incident reviews for key projects\n• Wrote the technical\nPROJECTS\nParser",
         {"", "", "• Led incident reviews for key projects\n• Wrote the technical", "", "", "Parser"}},
        {"inline headings open their section with content; a bulleted one does not",
         "Name\nSkills: Python, SQL\nWork History:\nGlobex, Analyst 2019-2022\n- Skills: Excel\n"
         "Work History and Awards\nCertificates\rAWS SAA\nLicensures\nPE License\nEducation: MIT 2015\n",
         {"", "Python, SQL", "Globex, Analyst 2019-2022\n• Skills: Excel\nWork History and Awards", "MIT 2015",
          "AWS SAA\nPE License", ""}},
        {"repeated headings add to one section; white space collapses only at joins",
         "x\nSKILLS\nGo\nPROJECTS\nParser\nSKILLS\nRust and C",
         {"", "Go\nRust and C", "", "", "", "Parser"}},
        {"Italian and Portuguese headings, leaders and rules",
         "ESPERIENZA PROFESSIONALE\nAcme ........ 2019\n=====\nISTRUZIONE\nLaurea, Politecnico\nCOMPETÊNCIAS\nJava",
         {"", "Java", "Acme 2019", "Laurea, Politecnico", "", ""}},
        {"a wrapped line after a dash joins its line",
         "EXPERIENCE\nAcme Corporation — Engineer, Jan 2020 –\nPresent\n- Cut hosting costs of the billing platform by\n"
         "  40% with caching.\nann@example.com",
         {"", "",
          "Acme Corporation — Engineer, Jan 2020 – Present\n• Cut hosting costs of the billing platform by 40% with "
          "caching.\nann@example.com",
          "", "", ""}},
        {"no heading at all: opening prose is the summary, the rest experience",
         "Ann Lee\nann@example.com\n\nBackend developer with ten years of work on payment systems.\n\n"
         "Acme, 2019-2024\nBuilt the ledger.",
         {"Backend developer with ten years of work on payment systems.", "", "Acme, 2019-2024\nBuilt the ledger.", "",
          "", ""}},
        {"only blanks", "   \n  ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(S::parseExistingResume(c.text), c.expected) << c.name;
}

TEST(ResumeParsing, HeadingsInSixLanguagesMapToOneSection) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"## TECHNICAL SKILLS ##", "skills"},   {"  •  Work   History : ", "experience"},
        {"**Education & Training**", "education"}, {"Education and Training", "education"},
        {"FORMACIÓN ACADÉMICA", "education"},   {"Expérience professionnelle", "experience"},
        {"Berufserfahrung", "experience"},      {"Zertifikate", "certifications"},
        {"Competenze tecniche", "skills"},      {"Experiência Profissional", "experience"},
        {"PERSONAL STATEMENT", "summary"},      {"Compiled Languages", "skills"},
        {"Databases", "skills"},                {"Licensures", "certifications"},
        {"Work History and Awards", ""},        {"Skill", ""},
    };
    for (const auto& [line, section] : cases)
        EXPECT_EQ(S::headingToSection(S::normalizeHeading(line)), section) << line;
    EXPECT_EQ(S::headingToSection("Skills"), ""); // the table is looked up lower-cased
}

TEST(ResumeParsing, BoundedOnAHugeSingleLineAndFoundAfterTheMarker) {
    // Half a megabyte without a line break: one pass, and all of it kept as the summary.
    std::string huge;
    while (huge.size() < 512 * 1024) huge += "word another ";
    EXPECT_EQ(S::parseExistingResume(huge).summary.size(), velmora::text::trim(huge).size());
    EXPECT_EQ(S::extractExistingResumeText("Full name: A\nexisting resume text (VERIFIED user document):\n  body\n"),
              "body");
    EXPECT_EQ(S::extractExistingResumeText("Full name: A"), "");
}

TEST(ResumeParsing, NameIsTheFirstLineThatLooksLikeOne) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\nJ\n  Jo  \nJane", "Jo"},
        {"é\nÉa", "Éa"}, // one accented letter is one character
        {"x\n\n ", "[YOUR NAME]"},
        {"# Tomás Ruiz-Velasco\n", "Tomás Ruiz-Velasco"},
        {"PRIYA NAIR SUMMARY\nData lead", "PRIYA NAIR"},
        {"Jordan Avery Remote SRE\n", "Jordan Avery"},
        {"SUMMARY\nSenior Engineer\nann@example.com\nAnn Lee", "Ann Lee"},
    };
    for (const auto& [text, name] : cases) EXPECT_EQ(S::firstNonEmptyLine(text), name) << text;
}

TEST(ResumeParsing, ContactFromProfileFirstThenFromText) {
    ApplicationProfile profile;
    profile.fullName = " Jane Doe ";
    profile.email = "jane@example.com";
    profile.phone = "555-0100";
    EXPECT_EQ(S::buildContact(profile, ""), "Jane Doe\njane@example.com | 555-0100");

    std::string existing =
        "J\nJohn Smith\nJOHN.SMITH@Example.ORG | (415) 555-2671 | https://www.LinkedIn.com/in/john-smith|x\n";
    ApplicationProfile partial;
    partial.cityState = "Austin, TX";
    partial.country = "United States";
    EXPECT_EQ(S::buildContact(partial, existing),
              "John Smith\nJOHN.SMITH@Example.ORG | (415) 555-2671 | Austin, TX | United States | "
              "https://www.LinkedIn.com/in/john-smith");
    EXPECT_EQ(S::buildContact(ApplicationProfile{}, ""), "[YOUR NAME]");

    // Phones in international forms, from the header; a year range is no phone.
    const std::vector<std::pair<std::string, std::string>> phones = {
        {"Ann Lee\n+33629583939\n\nEXPERIENCE\nAcme 2019 - 2024", "Ann Lee\n+33629583939"},
        {"Ann Lee\nann@x.io · +49 (0)30 1234 5678 · Berlin, Deutschland", "Ann Lee\nann@x.io | +49 (0)30 1234 5678 | Berlin, Deutschland"},
        {"Ann Lee\n+44 20.7946.0958", "Ann Lee\n+44 20.7946.0958"},
        {"Ann Lee\nEXPERIENCE\nAcme 2019 - 2024", "Ann Lee"},
        {"Jane Yuki\nyuki@example.jp\n\nSUMMARY\nBackend developer.", "Jane Yuki\nyuki@example.jp"},
    };
    for (const auto& [text, contact] : phones) EXPECT_EQ(S::buildContact(ApplicationProfile{}, text), contact) << text;
}
