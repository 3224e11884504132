#include "ResumeTestSupport.h"
#include "support/ModelFixtureServer.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using nlohmann::json;

namespace {

// Which rules a generated resume meets. Filler words trigger none of them.
struct Traits {
    bool experience = false, skills = false, education = false, summary = false, email = false, phone = false,
         numbers = false, verbs = false;
    size_t words = 60; // total word count ("\b\w+\b" matches) of the text
};

size_t countWords(const std::string& s) {
    static const text::Regex word("\\b\\w+\\b");
    return word.allMatches(s).size();
}

std::string resume(const Traits& t) {
    std::string s = "Jordan Avery\n";
    if (t.summary) s += "Summary\n";
    if (t.experience) s += "Experience\n";
    if (t.skills) s += "Skills\n";
    if (t.education) s += "Education\n";
    if (t.email) s += "jordan@example.com\n";
    if (t.phone) s += "(555) 123-4567\n";
    if (t.numbers) s += "Grew revenue 20%\nCut costs by 3.5 points\nServed 300 clients\n";
    if (t.verbs) s += "Led built created implemented reduced things\n";
    size_t have = countWords(s);
    for (size_t i = have; i < t.words; ++i) s += (i % 12 == 11) ? "lorem\n" : "lorem ";
    return s;
}

Traits all() {
    Traits t;
    t.experience = t.skills = t.education = t.summary = t.email = t.phone = t.numbers = t.verbs = true;
    t.words = 400;
    return t;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VelmoraError& e) {
        return e.message();
    }
    return "<no error>";
}

} // namespace

TEST(Analyze, EveryRuleMetScoresOneHundred) {
    json r = ResumeService::analyze(resume(all()));
    EXPECT_EQ(r["score"], 100);
    EXPECT_EQ(r["grade"], "Excellent");
    EXPECT_EQ(r["wordCount"], 400);
    EXPECT_EQ(r["strengths"],
              (json{"Experience section detected.", "Skills section detected.", "Education section detected.",
                    "Summary section detected.", "Email contact information detected.",
                    "Phone contact information detected.", "Multiple quantified accomplishments detected.",
                    "Strong action-oriented language detected.",
                    "Resume length is within a typical ATS-friendly range."}));
    EXPECT_EQ(r["tips"], json::array());
    EXPECT_EQ(r["privacy"],
              "Core resume analysis runs locally. Optional AI assistance is used only when you enable AI feedback.");
}

TEST(Analyze, NoRuleMetScoresThirtyFiveWithNineTips) {
    json r = ResumeService::analyze(resume(Traits{}));
    EXPECT_EQ(r["score"], 35);
    EXPECT_EQ(r["grade"], "Needs work");
    EXPECT_EQ(r["strengths"], json::array());
    ASSERT_EQ(r["tips"].size(), 9u);
    EXPECT_EQ(r["tips"][0], "Add a clearly labeled Experience section with recent roles in reverse chronological order.");
    EXPECT_EQ(r["tips"][7], "Start more bullets with strong action verbs such as led, implemented, improved, "
                            "automated, or delivered.");
    EXPECT_EQ(r["tips"][8], "The resume may be too brief; add outcome-focused detail to recent roles.");
}

TEST(Analyze, GradeBoundaries) {
    auto grade = [](Traits t) {
        json r = ResumeService::analyze(resume(t));
        return std::make_pair(r["score"].get<int>(), r["grade"].get<std::string>());
    };
    Traits t;
    t.experience = t.education = t.email = true; // 35+13+7+5
    EXPECT_EQ(grade(t), std::make_pair(60, std::string("Needs polish")));
    t = Traits{};
    t.experience = t.education = t.phone = true; // 35+13+7+4
    EXPECT_EQ(grade(t), std::make_pair(59, std::string("Needs work")));
    t = Traits{};
    t.experience = t.skills = t.education = t.email = true;
    EXPECT_EQ(grade(t), std::make_pair(70, std::string("Good")));
    t = Traits{};
    t.experience = t.skills = t.education = t.phone = true;
    EXPECT_EQ(grade(t), std::make_pair(69, std::string("Needs polish")));
    t = Traits{};
    t.experience = t.skills = t.education = t.summary = t.email = t.phone = true;
    EXPECT_EQ(grade(t), std::make_pair(80, std::string("Strong")));
    t = Traits{};
    t.experience = t.skills = t.education = t.summary = t.numbers = true;
    EXPECT_EQ(grade(t), std::make_pair(79, std::string("Good")));
    t = all();
    t.email = false;
    t.words = 100;
    EXPECT_EQ(grade(t), std::make_pair(90, std::string("Excellent")));
    t = all();
    t.summary = false;
    t.words = 100;
    EXPECT_EQ(grade(t), std::make_pair(89, std::string("Strong")));
}

TEST(Analyze, MinimumLengthCountsCharactersNotBytes) {
    std::string seventyNine(79, 'a');
    EXPECT_EQ(errorOf([&] { ResumeService::analyze(seventyNine); }),
              "The resume does not contain enough readable text to analyze.");
    EXPECT_EQ(ResumeService::analyze(seventyNine + "a")["wordCount"], 1);
    // Clean-up happens first: blanks that collapse do not count.
    EXPECT_THROW(ResumeService::analyze("  " + std::string(40, 'a') + "\t\t\t\t" + std::string(38, 'b') + "\n\n\n\n"),
                 VelmoraError);
    std::string accented;
    for (int i = 0; i < 79; ++i) accented += "\u00E9";
    EXPECT_THROW(ResumeService::analyze(accented), VelmoraError); // 158 bytes, 79 characters
    EXPECT_NO_THROW(ResumeService::analyze(accented + "e\u0301")); // a combining pair is one character
}

TEST(Analyze, LengthLimits) {
    auto tipsFor = [](size_t words) {
        Traits t = all();
        t.words = words;
        return ResumeService::analyze(resume(t));
    };
    json r = tipsFor(249);
    EXPECT_EQ(r["wordCount"], 249);
    EXPECT_EQ(r["tips"], (json{"The resume may be too brief; add outcome-focused detail to recent roles."}));
    EXPECT_EQ(tipsFor(250)["score"], 100);
    EXPECT_EQ(tipsFor(1100)["score"], 100);
    r = tipsFor(1101);
    EXPECT_EQ(r["score"], 95);
    EXPECT_EQ(r["tips"], (json{"The resume is long; prioritize the most relevant 10\u201315 years and remove "
                               "repetitive details."}));
}

TEST(Analyze, ActionVerbsAreWholeWordsCountedOnce) {
    Traits t = all();
    t.verbs = false;
    std::string base = resume(t);
    std::string tip = "Start more bullets with strong action verbs such as led, implemented, improved, automated, or "
                      "delivered.";
    std::string repeated = base;
    for (int i = 0; i < 10; ++i) repeated += " delivered";
    repeated += " built created implemented";
    EXPECT_THAT(ResumeService::analyze(repeated)["tips"], ::testing::Contains(tip)); // 4 distinct verbs

    // Inside longer words they do not count.
    EXPECT_THAT(ResumeService::analyze(repeated + " undelivered misled rebuilt")["tips"], ::testing::Contains(tip));
    json r = ResumeService::analyze(repeated + " LED");
    EXPECT_EQ(r["score"], 100) << r.dump();
}

TEST(Analyze, SectionsAreSubstringsAndWarningsComeLast) {
    Traits t;
    t.words = 60;
    json r = ResumeService::analyze(resume(t) + " linkedin.com/in/jordan-profile");
    EXPECT_EQ(r["strengths"], (json{"Summary section detected."}));

    json warned = ResumeService::analyze(resume(all()) + "\n\u2605\u25C6\u25BA\u25A0\u25CF Stars\nReferences Available Upon "
                                                         "Request");
    EXPECT_EQ(warned["score"], 100);
    EXPECT_EQ(warned["tips"],
              (json{"Heavy decorative symbols can reduce ATS parsing quality; prefer simple bullets and headings.",
                    "Remove \u201CReferences available upon request\u201D; use the space for role-relevant "
                    "accomplishments."}));
    // Three symbols in a row are fine.
    EXPECT_EQ(ResumeService::analyze(resume(all()) + "\n\u2605\u2605\u2605 x")["tips"], json::array());
}

TEST(ExtractKeywords, FrequencyThenTextOrderWithoutStopWords) {
    std::string s = "Experience with React and node.js. Skills: node.js, Go, Python; python PYTHON. "
                    "The team used C++ and c# daily. zeta alpha beta alpha";
    auto k = ResumeService::extractKeywords(s, 18);
    // "node.js" is one token; it ties with "alpha" and sorts after it.
    EXPECT_THAT(k, ElementsAre("python", "alpha", "node.js", "beta", "react", "zeta")); // "daily" is filler
    EXPECT_THAT(ResumeService::extractKeywords(s, 2), ElementsAre("python", "alpha"));
    EXPECT_TRUE(ResumeService::extractKeywords("", 18).empty());
    json r = ResumeService::analyze(resume(all()));
    EXPECT_LE(r["keywords"].size(), 18u);
    EXPECT_EQ(r["keywords"][0], "lorem");
    // The person's own name and filler such as "time" and "across" are no keyword chips.
    std::string own = "Priya Nair\n";
    for (int i = 0; i < 12; ++i) own += "Priya Nair shipped Kafka pipelines across teams in record time. ";
    EXPECT_THAT(ResumeService::analyze(own)["keywords"], ElementsAre("kafka", "pipelines", "record", "shipped"));
}

TEST(AnalyzeFile, RecordsTheResultWithoutTheResumeText) {
    ResumeFixture f;
    TempDir dir;
    auto path = dir / "Jordan Resume.txt";
    writeFile(path, resume(all()));

    json result = f.service->analyzeFile(path.string(), false, "en");
    EXPECT_EQ(result["aiStatus"], "not_requested");
    EXPECT_TRUE(result["aiFeedback"].is_null());
    EXPECT_EQ(result["fileName"], "Jordan Resume.txt");
    EXPECT_EQ(result["analysis"]["score"], 100);

    auto rows = f.sqlite->query("SELECT name, original_path, extracted_text, analysis_json FROM resumes");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(sqlite_row::text(rows[0], "name"), "Jordan Resume.txt");
    EXPECT_EQ(sqlite_row::text(rows[0], "original_path"), path.string());
    EXPECT_EQ(sqlite_row::text(rows[0], "extracted_text"), "");
    EXPECT_EQ(json::parse(*sqlite_row::text(rows[0], "analysis_json")), result);
}

TEST(AnalyzeFile, FailuresStoreNothing) {
    ResumeFixture f;
    TempDir dir;
    writeFile(dir / "short.md", "Too short to grade.");
    EXPECT_EQ(errorOf([&] { f.service->analyzeFile((dir / "short.md").string(), true, "en"); }),
              "The resume does not contain enough readable text to analyze.");
    EXPECT_EQ(errorOf([&] { f.service->analyzeFile((dir / "missing.pdf").string(), false, "en"); }),
              "Resume file was not found.");
    EXPECT_EQ(f.sqlite->query("SELECT id FROM resumes").size(), 0u);
}

TEST(AnalyzeFile, AiFeedbackWhenAvailableAndAFullReportWhenNot) {
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("1. Add metrics.\n"));
    ResumeFixture f;
    f.useModelAt(server.base());
    TempDir dir;
    std::string body = resume(all());
    // Long enough to be cut for the prompt.
    for (int i = 0; i < 2000; ++i) body += " padding";
    writeFile(dir / "long.txt", body);

    json used = f.service->analyzeFile((dir / "long.txt").string(), true, "FR");
    EXPECT_EQ(used["aiStatus"], "ai_used");
    EXPECT_EQ(used["aiFeedback"], "1. Add metrics.");
    std::string prompt = json::parse(server.requests().at(0).body)["prompt"];
    std::string head = "You are a professional resume reviewer. Give concise ATS-friendly feedback with the 7 "
                       "highest-impact improvements. Do not invent experience. Write the feedback in French. Resume:\n\n";
    ASSERT_TRUE(text::startsWith(prompt, head)) << prompt.substr(0, 300);
    std::string excerpt = prompt.substr(head.size());
    EXPECT_EQ(text::characterCount(excerpt), 14000u + 12u);
    EXPECT_TRUE(text::endsWith(excerpt, "\n[truncated]"));

    server.setDefault(ModelFixtureServer::status(500));
    json unavailable = f.service->analyzeFile((dir / "long.txt").string(), true, "en");
    EXPECT_EQ(unavailable["aiStatus"], "ai_unavailable");
    EXPECT_TRUE(unavailable["aiFeedback"].is_null());
    EXPECT_EQ(unavailable["analysis"], used["analysis"]);
    EXPECT_EQ(f.sqlite->query("SELECT id FROM resumes").size(), 2u);
}
