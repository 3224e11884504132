// The local pieces every build rests on: reading an existing resume into sections, skill lists,
// the grounded summary, the rules that turn a model's draft down, and the ATS score.
#include "StudioTestEnv.h"

using namespace velmora;
using S = ResumeStudioService;
using Words = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// Layouts neither the corpus nor the build's upload covers, each with the sections it must yield.
TEST(ResumeParsing, SectionsOfAwkwardLayouts) {
    const std::vector<std::tuple<const char*, std::string, ParsedResumeSections>> cases = {
        {"a heading word ending a body line stays in the body",
         "EXPERIENCE\n• Led incident reviews for key projects\n• Wrote the technical\nPROJECTS\nParser",
         {"", "", "• Led incident reviews for key projects\n• Wrote the technical", "", "", "Parser"}},
        {"inline headings open their section with content; a bulleted one does not",
         "Name\nSkills: Python, SQL\nWork History:\nGlobex, Analyst 2019-2022\n- Skills: Excel\n"
         "Work History and Awards\nCertificates\rAWS SAA\nLicensures\nPE License\nEducation: MIT 2015\n",
         {"", "Python, SQL", "Globex, Analyst 2019-2022\n• Skills: Excel\nWork History and Awards", "MIT 2015",
          "AWS SAA\nPE License", ""}},
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
    };
    for (const auto& [name, text, expected] : cases) EXPECT_EQ(S::parseExistingResume(text), expected) << name;
    // Half a megabyte without a line break: one pass, and all of it kept as the summary.
    std::string huge;
    while (huge.size() < 512 * 1024) huge += "word another ";
    EXPECT_EQ(S::parseExistingResume(huge).summary.size(), text::trim(huge).size());
}

TEST(ResumeParsing, HeadingsInSixLanguagesMapToOneSection) {
    // Decoration, accents and a near miss; the Italian and Portuguese ones are the layouts' above.
    const Pairs cases = {{"## TECHNICAL SKILLS ##", "skills"}, {"  •  Work   History : ", "experience"},
                         {"FORMACIÓN ACADÉMICA", "education"}, {"Expérience professionnelle", "experience"},
                         {"Zertifikate", "certifications"},   {"Skill", ""}};
    for (const auto& [line, section] : cases) EXPECT_EQ(S::headingToSection(S::normalizeHeading(line)), section) << line;
}

TEST(ResumeParsing, NameAndContactFromProfileFirstThenFromText) {
    const Pairs names = {
        {"\nJ\n  Jo  \nJane", "Jo"},
        {"é\nÉa", "Éa"}, // one accented letter is one character
        {"x\n\n ", "[YOUR NAME]"},
        {"PRIYA NAIR SUMMARY\nData lead", "PRIYA NAIR"},
        {"Jordan Avery Remote SRE\n", "Jordan Avery"},
        {"SUMMARY\nSenior Engineer\nann@example.com\nAnn Lee", "Ann Lee"},
    };
    for (const auto& [text, name] : names) EXPECT_EQ(S::firstNonEmptyLine(text), name) << text;

    EXPECT_EQ(S::buildContact({.country = "United States", .cityState = "Austin, TX"},
                              "J\nJohn Smith\nJOHN.SMITH@Example.ORG | (415) 555-2671 | https://www.LinkedIn.com/in/john-smith|x\n"),
              "John Smith\nJOHN.SMITH@Example.ORG | (415) 555-2671 | Austin, TX | United States | "
              "https://www.LinkedIn.com/in/john-smith");
    // Phones in international forms come from the header; a year range is no phone.
    EXPECT_EQ(S::buildContact({}, "Ann Lee\n+44 20.7946.0958"), "Ann Lee\n+44 20.7946.0958");
    EXPECT_EQ(S::buildContact({}, "Ann Lee\nEXPERIENCE\nAcme 2019 - 2024"), "Ann Lee");
}

TEST(GroundedPieces, SkillListsSummariesAndUnusableDrafts) {
    EXPECT_EQ(S::splitSkills("• Go\n• C\n• Rust • go\n-"), (Words{"Go", "C", "Rust"})); // one letter is a skill
    EXPECT_TRUE(S::containsWholeWord("Strong C++ and Node.js", "c++") && !S::containsWholeWord("Strong C++", "c"));
    // The order of skills for the job is the builds' to show.

    const ResumeStudioRequest r{.targetRole = "Data Platform Engineer", .jobDescription = "We need Airflow and SQL experts."};
    const Pairs summaries = {
        {"Full name: Jane Doe\nEmail: jane@example.com",
         "Professional targeting Data Platform Engineer opportunities, based on the verified experience in the "
         "supplied resume."},
        {"Years of experience: 7+ years",
         "Professional with 7+ years of documented experience, targeting Data Platform Engineer opportunities."},
        // Seven skills: the job's first, then six in all.
        {"Current title: Analyst\nSkills: a1, b2, c3, d4, e5, f6, SQL",
         "Analyst targeting Data Platform Engineer opportunities. Verified skills include SQL, a1, b2, c3, d4, e5."},
    };
    for (const auto& [known, summary] : summaries) EXPECT_EQ(S::buildGroundedSummary(known, r), summary);

    const std::string longFallback(40, 'x');
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> drafts = {
        {"skills", "  ", "Go", true},
        {"projects", "", "", false},
        {"skills", "Go, [YOUR skill]", "", true},
        {"skills", "Go, [Yours truly]", "Go", false},
        {"education", "Details were not supplied.", "", false},
        {"professional summary", "Short.", longFallback, true},
        {"professional summary", "Short.", "tiny", false},
        {"professional experience", "Did things", longFallback, true},
        {"professional experience", "Did things", "x", false},
    };
    for (const auto& [section, draft, fallback, unusable] : drafts)
        EXPECT_EQ(S::isUnusableGeneratedSection(section, draft, fallback), unusable) << section << ": " << draft;
}

TEST(AtsKeywords, CountThenLengthThenAlphabetWithoutFillerShortTokensOrPunctuation) {
    const std::vector<std::tuple<const char*, size_t, Words>> rows = {
        {"Terraform kubernetes TERRAFORM terraform. Rust go java java python", 10,
         {"terraform", "java", "kubernetes", "python", "rust"}},
        {"Terraform kubernetes terraform", 1, {"terraform"}},
        // node.js keeps its inner dot but loses the full stop; "ui" is too short; a token that
        // ends in plus signs before a blank never matches the closing word boundary.
        {"Skills: node.js. UI experience required with c++ and --yaml-- Experience", 30, {"node.js", "yaml"}},
        {"We need strong Kafka. Hiring now: Terraform is a plus, ideally across teams.", 30, {"terraform", "kafka"}},
        // A token that trims down to two letters is still too short.
        {"IT-Ärzte gesucht", 30, {"gesucht"}},
    };
    for (const auto& [text, limit, keywords] : rows) EXPECT_EQ(S::extractKeywords(text, limit), keywords) << text;
}

TEST(AtsScore, KeywordCoverageAndCoreSections) {
    std::string forty;
    for (int i = 0; i < 40; ++i) forty += "keyword" + std::string{char('a' + i % 26), char('a' + i / 26)} + " ";
    const auto built = [](const std::string& work) {
        return ResumeDocument{
            .summary = "x", .skills = "x", .experience = work, .education = "x", .jobDescription = "react node.js"};
    };
    const std::vector<std::tuple<const char*, ResumeDocument, Words, Words, int>> rows = {
        {"43% coverage: round(43 * 0.75 + 25)",
         {.summary = "Engineer.", .skills = "Alpha, bravo and charlie", .experience = "Acme", .education = "BSc",
          .jobDescription = "alpha bravo charlie delta echo foxtrot golf"},
         {"charlie", "alpha", "bravo"}, {"foxtrot", "delta", "echo", "golf"}, 57},
        {"no job: 52.5 + 25 rounds half up", {.summary = "Engineer.", .skills = "Go", .experience = "Acme", .education = "BSc"},
         {}, {}, 78},
        {"blank and non-core sections do not count", {.summary = " \n ", .projects = "Parser"}, {}, {}, 53},
        {"inside longer tokens: no match", built("reactive, react-native and node.jsx"), {}, {"node.js", "react"}, 25},
        {"a stop before a letter continues the token", built("React.Native on Node.js:"), {"node.js"}, {"react"}, 63},
        // The lists are bounded: 30 matched, 15 missing; those rows check only how many each holds.
        {"contact and letter do not count", {.contact = forty, .coverLetter = forty, .jobDescription = forty}, {}, Words(15), 0},
        {"matched list bounded", {.projects = forty, .jobDescription = forty}, Words(30), {}, 75},
    };
    for (auto [label, d, matched, missing, score] : rows) {
        SCOPED_TRACE(label);
        d.matchedKeywords = {"stale"};
        S::recalculateAts(d);
        EXPECT_EQ(d.atsScore, score);
        const bool counts = d.jobDescription == forty;
        EXPECT_EQ(counts ? Words(d.matchedKeywords.size()) : d.matchedKeywords, matched);
        EXPECT_EQ(counts ? Words(d.missingKeywords.size()) : d.missingKeywords, missing);
    }
}
