#include "ResumeTestSupport.h"
#include "support/ModelFixtureServer.h"

#include "core/Text.h"

#include <gmock/gmock.h>

using namespace velmora;
using namespace velmora::testing;
using ::testing::ElementsAre;
using nlohmann::json;

namespace {

// Which rules a generated resume meets. Filler words trigger none of them.
struct Traits {
    bool experience = false, skills = false, education = false, summary = false, email = false, phone = false,
         numbers = false, verbs = false;
    size_t words = 60; // total word count ("\b\w+\b" matches) of the text
};

std::string resume(const Traits& t) {
    std::string s = "Jordan Avery\n";
    s += std::string(t.summary ? "Summary\n" : "") + (t.experience ? "Experience\n" : "") + (t.skills ? "Skills\n" : "") +
         (t.education ? "Education\n" : "") + (t.email ? "jordan@example.com\n" : "") + (t.phone ? "(555) 123-4567\n" : "") +
         (t.numbers ? "Grew revenue 20%\nCut costs by 3.5 points\nServed 300 clients\n" : "") +
         (t.verbs ? "Led built created implemented reduced things\n" : "");
    static const text::Regex word("\\b\\w+\\b");
    for (size_t i = word.allMatches(s).size(); i < t.words; ++i) s += (i % 12 == 11) ? "lorem\n" : "lorem ";
    return s;
}

Traits all(size_t words = 400, bool verbs = true) { return Traits{true, true, true, true, true, true, true, verbs, words}; }

const std::string kVerbTip =
    "Start more bullets with strong action verbs such as led, implemented, improved, automated, or delivered.";

bool lists(const std::string& text, const char* list, const std::string& entry) {
    json found = ResumeService::analyze(text)[list];
    return std::find(found.begin(), found.end(), entry) != found.end();
}

} // namespace

TEST(Analyze, ScoresAndGradesAtEveryBoundary) {
    const std::vector<std::tuple<const char*, Traits, int, const char*>> rows = {
        {"every rule", all(), 100, "Excellent"},
        {"35+13+7+5", {true, false, true, false, true}, 60, "Needs polish"},
        {"35+13+7+4", {true, false, true, false, false, true}, 59, "Needs work"},
        {"+skills, email", {true, true, true, false, true}, 70, "Good"},
        {"+skills, phone", {true, true, true, false, false, true}, 69, "Needs polish"},
        {"six sections and contacts", {true, true, true, true, true, true}, 80, "Strong"},
        {"four sections and numbers", {true, true, true, true, false, false, true}, 79, "Good"},
        {"all but email, short", {true, true, true, true, false, true, true, true, 100}, 90, "Excellent"},
        {"all but summary, short", {true, true, true, false, true, true, true, true, 100}, 89, "Strong"},
        {"too long", all(1101), 95, "Excellent"},
        {"too short", all(249), 95, "Excellent"},
        {"long enough", all(250), 100, "Excellent"},
        {"not too long", all(1100), 100, "Excellent"},
    };
    for (const auto& [label, traits, score, grade] : rows) {
        json r = ResumeService::analyze(resume(traits));
        EXPECT_EQ(json({r["score"], r["grade"]}), json({score, grade})) << label;
    }
}

TEST(Analyze, QuantifiedLinesAndActionVerbsAtTheirThresholds) {
    const std::string filler = "Jordan Avery\nReliable remote engineer who writes clear plans and ships careful work.\n";
    const std::string quantified = "Multiple quantified accomplishments detected.";
    const std::vector<std::tuple<std::string, const char*, std::string, bool>> rows = {
        {filler + "Grew 20%\nCut 3.5 points\nServed 300\n", "strengths", quantified, true},
        // Numbers sharing a line count once.
        {filler + "Grew 20% for 300 clients\nCut 3.5 points\n", "strengths", quantified, false},
        {resume(all(400, false)) + " delivered delivered delivered built created implemented", "tips", kVerbTip, true},
        {resume(all(400, false)) + " built created implemented undelivered misled rebuilt", "tips", kVerbTip, true},
        {resume(all(400, false)) + " built created implemented delivered LED", "tips", kVerbTip, false},
    };
    for (const auto& [text, list, entry, present] : rows) EXPECT_EQ(lists(text, list, entry), present) << text;
}

TEST(Analyze, StrengthsTipsAndWarningsInTheirOrder) {
    json r = ResumeService::analyze(resume(all()));
    EXPECT_EQ(json({r["wordCount"], r["strengths"].size(), r["strengths"][8], r["tips"]}),
              json({400, 9, "Resume length is within a typical ATS-friendly range.", json::array()}));
    json tips = ResumeService::analyze(resume(Traits{}))["tips"];
    ASSERT_EQ(tips.size(), 9u);
    EXPECT_EQ(json({tips[7], tips[8]}),
              json({kVerbTip, "The resume may be too brief; add outcome-focused detail to recent roles."}));
    EXPECT_EQ(ResumeService::analyze(resume(all(1101)))["tips"],
              (json{"The resume is long; prioritize the most relevant 10\u201315 years and remove repetitive details."}));
    json warned = ResumeService::analyze(resume(all()) + "\n\u2605\u25C6\u25BA\u25A0\u25CF Stars\nReferences Available "
                                                         "Upon Request");
    EXPECT_EQ(warned["score"], 100);
    EXPECT_EQ(warned["tips"],
              (json{"Heavy decorative symbols can reduce ATS parsing quality; prefer simple bullets and headings.",
                    "Remove \u201CReferences available upon request\u201D; use the space for role-relevant "
                    "accomplishments."}));
    EXPECT_EQ(ResumeService::analyze(resume(all()) + "\n\u2605\u2605\u2605 x")["tips"], json::array());
}

TEST(Analyze, MinimumLengthCountsCharactersAfterCleanUp) {
    std::string accented;
    for (int i = 0; i < 79; ++i) accented += "\u00E9";
    const std::vector<std::pair<std::string, bool>> rows = {
        {std::string(79, 'a'), false},
        {std::string(80, 'a'), true},
        {"  " + std::string(40, 'a') + "\t\t\t\t" + std::string(38, 'b') + "\n\n\n\n", false}, // blanks collapse
        {accented, false}, // 158 bytes, 79 characters
    };
    for (const auto& [text, enough] : rows)
        EXPECT_EQ(errorOf([&] { ResumeService::analyze(text); }),
                  enough ? "<no error>" : "The resume does not contain enough readable text to analyze.")
            << text;
}

TEST(ExtractKeywords, FrequencyThenTextOrderWithoutStopWordsOrTheOwnName) {
    std::string s = "Experience with React and node.js. Skills: node.js, Go, Python; python PYTHON. "
                    "The team used C++ and c# daily. zeta alpha beta alpha";
    // "node.js" is one token; it ties with "alpha" and sorts after it; "daily" is filler.
    EXPECT_THAT(ResumeService::extractKeywords(s, 18), ElementsAre("python", "alpha", "node.js", "beta", "react", "zeta"));
    EXPECT_THAT(ResumeService::extractKeywords(s, 2), ElementsAre("python", "alpha"));
    std::string own = "Priya Nair\n";
    for (int i = 0; i < 12; ++i) own += "Priya Nair shipped Kafka pipelines across teams in record time. ";
    EXPECT_THAT(ResumeService::analyze(own)["keywords"], ElementsAre("kafka", "pipelines", "record", "shipped"));
}

TEST(AnalyzeFile, RecordsTheResultNotTheTextAndAsksTheModelWhenAllowed) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("1. Add metrics.\n"));
    ResumeFixture f;
    writeFile(f.dir / "short.md", "Too short to grade.");
    EXPECT_NE(errorOf([&] { f.service->analyzeFile((f.dir / "short.md").string(), true, "en"); }), "<no error>");
    EXPECT_TRUE(f.sqlite->query("SELECT id FROM resumes").empty());

    auto path = f.dir / "Jordan Resume.txt";
    std::string body = resume(all());
    for (int i = 0; i < 2000; ++i) body += "padding "; // long enough to be cut for the prompt
    writeFile(path, body);
    json plain = f.service->analyzeFile(path.string(), false, "en");
    auto rows = f.sqlite->query("SELECT name, original_path, extracted_text, analysis_json FROM resumes");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(json({*sqlite_row::text(rows[0], "name"), *sqlite_row::text(rows[0], "original_path"),
                    *sqlite_row::text(rows[0], "extracted_text"), json::parse(*sqlite_row::text(rows[0], "analysis_json")),
                    plain["aiStatus"]}),
              json({"Jordan Resume.txt", path.string(), "", plain, "not_requested"}));

    f.useModelAt(server.base());
    json used = f.service->analyzeFile(path.string(), true, "FR");
    EXPECT_EQ(json({used["aiStatus"], used["aiFeedback"], used["analysis"]}), json({"ai_used", "1. Add metrics.", plain["analysis"]}));
    // The resume closes the prompt, cut to 14,000 characters and marked as cut.
    std::string prompt = json::parse(server.requests().at(0).body)["prompt"];
    const std::string head = " Write the feedback in French. Resume:\n\n";
    EXPECT_EQ(prompt.substr(prompt.find(head) + head.size()), body.substr(0, 14000) + "\n[truncated]");
}
