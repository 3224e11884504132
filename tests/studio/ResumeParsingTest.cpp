#include "studio/ResumeStudioService.h"

#include <gtest/gtest.h>

using velmora::ApplicationProfile;
using velmora::ParsedResumeSections;
using S = velmora::ResumeStudioService;

TEST(ResumeParsing, TwoWordHeadingIsSplitButStillOpensItsSection) {
    ParsedResumeSections p = S::parseExistingResume(
        "Jane Doe\njane@example.com\nPROFESSIONAL SUMMARY\nBackend engineer building payment APIs.\n"
        "WORK EXPERIENCE\nAcme Corp - Engineer\n• Built billing\nEDUCATION\nBSc Computer Science");
    // "PROFESSIONAL" ends up on its own line; before any heading it is dropped like the name.
    EXPECT_EQ(p.summary, "Backend engineer building payment APIs.\nWORK");
    // "Acme Corp - Engineer" is a body line: the hyphen splitting only applies to heading lines.
    EXPECT_EQ(p.experience, "Acme Corp - Engineer\n• Built billing");
    EXPECT_EQ(p.education, "BSc Computer Science");
    EXPECT_TRUE(p.skills.empty());
}

TEST(ResumeParsing, RunOnPdfTextDropsTheNameAndKeepsTheSentence) {
    ParsedResumeSections p = S::parseExistingResume("Jane Doe    SUMMARY\nSeasoned analyst with SQL depth.");
    EXPECT_EQ(p.summary, "Seasoned analyst with SQL depth.");
    EXPECT_EQ(p, (ParsedResumeSections{"Seasoned analyst with SQL depth.", "", "", "", "", ""}));
}

TEST(ResumeParsing, HeadingVariantsAndBodyLines) {
    ParsedResumeSections p = S::parseExistingResume(
        "Name\r\nSkills:\r\nPython, SQL\r\n- Skills\r\n• Work History:\r\nGlobex, Analyst 2019-2022\r\n"
        "Work History and Awards\r\nCertificates\rAWS SAA\nLicensures\nPE License\nEducation: MIT 2015\n");
    // The splitter puts "Skills" on a line of its own; the hyphen left behind is no content.
    EXPECT_EQ(p.skills, "Python, SQL");
    // The run-on "Work History and Awards" is no alias: it stays a body line.
    EXPECT_EQ(p.experience, "Globex, Analyst 2019-2022\nWork History and Awards");
    // A heading word with a colon and more text is a body line of the section before it.
    EXPECT_EQ(p.certifications, "AWS SAA\nPE License\nEducation: MIT 2015");
    EXPECT_EQ(p.education, "");
}

TEST(ResumeParsing, TextWithoutHeadingsGivesNothing) {
    EXPECT_EQ(S::parseExistingResume("just a paragraph\nabout me"), ParsedResumeSections{});
    EXPECT_EQ(S::parseExistingResume("   \n  "), ParsedResumeSections{});
}

TEST(ResumeParsing, RepeatedHeadingAddsToTheSameSection) {
    ParsedResumeSections p = S::parseExistingResume("x\nSKILLS\nGo\nPROJECTS\nParser\nSKILLS\nRust   and    C");
    EXPECT_EQ(p.skills, "Go\nRust and C");
    EXPECT_EQ(p.projects, "Parser");
}

TEST(ResumeParsing, NormalizeHeadingAndAliases) {
    EXPECT_EQ(S::normalizeHeading("  •  Work   History : "), "work history");
    EXPECT_EQ(S::normalizeHeading("## TECHNICAL SKILLS ##"), "technical skills");
    EXPECT_EQ(S::headingToSection("work history"), "experience");
    EXPECT_EQ(S::headingToSection("licensures"), "certifications");
    EXPECT_EQ(S::headingToSection("areas of expertise"), "skills");
    EXPECT_EQ(S::headingToSection("skill"), "");
    EXPECT_EQ(S::headingToSection("Skills"), ""); // exact, case-sensitive
}

TEST(ResumeParsing, ExistingTextAfterTheMarkerIgnoringCase) {
    EXPECT_EQ(S::extractExistingResumeText("Full name: A\nexisting resume text (VERIFIED user document):\n  body\n"),
              "body");
    EXPECT_EQ(S::extractExistingResumeText("Full name: A"), "");
}

TEST(ResumeParsing, FirstNonEmptyLineCountsCharactersNotBytes) {
    EXPECT_EQ(S::firstNonEmptyLine("\nJ\n  Jo  \nJane"), "Jo");
    EXPECT_EQ(S::firstNonEmptyLine("é\nÉa"), "Éa"); // one accented letter is one character
    EXPECT_EQ(S::firstNonEmptyLine("x\n\n "), "[YOUR NAME]");
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
}
