// The page's actions through the real action table over a real data folder. What the page
// journeys already show end to end is not repeated here: this is the payload reading, the
// refusals and the rules behind them.

#include "support/BridgeProcess.h"
#include "BridgeTestBed.h"
#include "app/FollowUpReminder.h"
#include "app/ScriptedDialogs.h"
#include "core/IncomingJob.h"
#include "resume/ResumeService.h"
#include "studio/StudioTestEnv.h"
#include "support/ModelFixtureServer.h"

using namespace velmora;
using namespace velmora::testing;
namespace fs = std::filesystem;

namespace {

class ActionsTest : public BridgeTestBed {
protected:
    std::shared_ptr<ScriptedDialogs> dialogs;

    void SetUp() override {
        BridgeTestBed::SetUp();
        ctx->db->setSetting("ollamaUrl", "http://127.0.0.1:9"); // no model unless a test starts one
        answer(json::object());
    }
    void answer(const json& answers) { ctx->dialogs = dialogs = std::make_shared<ScriptedDialogs>(answers, nullptr); }
    void storeJobs(int count) {
        std::vector<std::pair<IncomingJob, SecurityAssessment>> jobs;
        for (int i = 0; i < count; ++i) jobs.push_back(listing("https://remotive.com/" + std::to_string(i), "Engineer " + std::to_string(i), "IT"));
        ctx->db->upsertJobs(jobs);
    }
    std::pair<IncomingJob, SecurityAssessment> listing(const std::string& url, const std::string& title,
                                                       const std::string& category, const std::string& description = "") {
        const IncomingJob j{.title = title, .company = "Acme", .category = category, .location = "Worldwide",
                            .description = description, .url = url};
        return {j, ctx->security->assess(j.url, "Remotive")};
    }
};

const std::string kResume = "Jordan Avery\nExperience\nLed the support team and cut costs 15%.\nSkills\nZendesk, SQL\n";

const std::string kDescription = "Own escalations for the payments platform, debug webhooks and write runbooks.";

} // namespace

TEST_F(ActionsTest, BadInputIsRefusedWithItsOwnMessage) {
    storeJobs(1);
    const int64_t job = call("getJobs")[0]["id"];
    const int64_t app = call("addApplication", {{"title", "A"}, {"url", "https://e.com/a"}})["id"];
    const struct { const char* action; json payload; std::string error; } rows[] = {
        {"getJobs", {{"sort", "best"}}, "Unknown sort \"best\". Use \"newest\" or \"match\"."},
        {"getJobs", {{"jobType", "gig"}}, "Unknown job type \"gig\"."},
        {"setJobMark", {{"id", 999}, {"mark", "saved"}}, "This job is no longer stored. Refresh the list and try again."},
        {"setJobMark", {{"id", job}, {"mark", "starred"}}, "Unknown mark \"starred\". Use \"saved\", \"hidden\" or \"\"."},
        {"openSavedSearch", {{"id", 999}}, "This saved search no longer exists."},
        {"saveSearch", {{"name", ""}}, "Enter a name for the search."},
        {"saveSearch", {{"name", "long"}, {"query", std::string(10240, 'x')}},
         "The search text is too long to save; use at most 500 characters."},
        {"deleteApplication", {{"id", "nonsense"}}, "This application no longer exists. Reload the list and try again."},
        {"updateApplication", {{"id", app}, {"status", "Hired"}}, "Unknown application stage: Hired."},
        {"addApplication", {{"title", "X"}, {"url", "file:///etc/passwd"}},
         "Enter the link of the listing as a web address (http or https)."},
        // A bad resume is refused before any dialog asks for a path.
        {"exportResumePdf", json::object(), "Resume payload is invalid."},
    };
    for (const auto& row : rows) EXPECT_EQ(error(row.action, row.payload), row.error) << row.action << " " << row.payload;
    EXPECT_TRUE(dialogs->requests().empty());
}

TEST_F(ActionsTest, JobPayloadsAreReadLenientlyAndClamped) {
    storeJobs(205);
    // A limit that does not read as a number is the default 200; an offset near the end keeps
    // the answers small.
    const std::pair<json, size_t> rows[] = {
        {json::object(), 200}, {{{"limit", "7"}}, 7}, {{{"limit", "5x"}, {"offset", 195}}, 10},
        {{{"limit", 12.9}}, 12}, {{{"limit", 100000}, {"source", "All"}, {"jobType", "All"}}, 205},
    };
    for (const auto& [payload, count] : rows) EXPECT_EQ(call("getJobs", payload).size(), count) << payload;
    // Hiding, the remembered filters and saved searches are the page's journey and the query
    // tests'; here the clamp the page cannot see.
    EXPECT_EQ(call("setJobFilters", {{"sort", "match"}, {"jobType", "contract"}, {"postedWithinDays", 5000}}),
              (json{{"category", "All"}, {"source", ""}, {"jobType", "contract"}, {"postedWithinDays", 365},
                    {"sort", "match"}, {"includeHidden", false}}));
}

TEST_F(ActionsTest, MatchSortFollowsTheProfileSkillsAndTheResume) {
    ctx->db->upsertJobs({listing("https://e.com/rust", "Rust Engineer", "IT", "Rust services on Kubernetes with PostgreSQL."),
                         listing("https://e.com/chef", "Pastry Chef", "IT", "Bake bread and cakes.")});
    auto best = [&] { return call("getJobs", {{"sort", "match"}})[0]; };
    ctx->profiles->save({{"fullName", "Ana"}, {"skills", "Rust, Kubernetes, PostgreSQL, Go"}});
    EXPECT_EQ(best()["matchedSkills"], (json{"rust", "kubernetes", "postgresql"}));

    // The resume's keywords count too, and a change of skills rescores what was stored.
    ctx->profiles->save({{"fullName", "Ana"}, {"skills", ""}});
    ctx->db->saveResume("cv.pdf", "/x/cv.pdf", json{{"keywords", {"bread", "cakes"}}}.dump());
    EXPECT_EQ(best()["matchedSkills"], (json{"bread", "cakes"}));
}

TEST_F(ActionsTest, AnEntryFollowsUpAWeekAfterApplyingWithOneNotificationForAllThatAreDue) {
    struct : DesktopNotifier {
        std::vector<std::string> sent;
        void notify(const std::string&, const std::string& t, const std::string& b) override { sent.push_back(t + ": " + b); }
    } notifier;
    const int64_t id = call("addApplication", {{"title", "Engineer"}, {"url", "https://e.com/a"}})["id"];
    // Ids arrive as text from some pages.
    EXPECT_EQ(call("updateApplication", {{"id", std::to_string(id)}, {"status", "Applied"}})["application"]["followUpAt"],
              "2026-03-08");
    EXPECT_FALSE(remindOfDueFollowUps(*ctx->db, notifier)); // nothing due yet
    call("addApplication", {{"title", "B"}, {"url", "https://e.com/b"}, {"status", "Interviewing"}});
    clock->advance(std::chrono::hours(24 * 8));
    ctx->db->setSetting("language", "de");
    EXPECT_TRUE(remindOfDueFollowUps(*ctx->db, notifier));
    EXPECT_EQ(notifier.sent, std::vector<std::string>{"Nachfassen fällig: Bei 2 Bewerbungen ist Nachfassen fällig."});
}

TEST_F(ActionsTest, CsvExportReadsBackCellForCellWithFormulasDefused) {
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"Comma, \"quoted\" title", "line one\nline two\r\nthree"}, {"=HYPERLINK(\"https://evil.example\",\"x\")", "+SUM(A1:A2)"},
        {"-2+3", "\rcarriage"}, {"Инженер 数据 ✓", "\ttabbed"}};
    for (size_t i = 0; i < hostile.size(); ++i) {
        call("addApplication", {{"title", hostile[i].first}, {"company", "@Handle Co"}, {"status", "Applied"},
                                {"url", "https://e.com/" + std::to_string(i)}, {"notes", hostile[i].second}});
        clock->advance(std::chrono::seconds(1));
    }
    const auto file = dir / "tracker"; // the extension is added
    answer({{"save", {file.string(), nullptr}}});
    EXPECT_EQ(call("exportApplicationsCsv")["path"], file.string() + ".csv");
    // Read by Python's csv module, the way a script or spreadsheet import would.
    const json rows = json::parse(runCommand("python3 -c 'import csv,json,sys; print(json.dumps(list(csv.reader(open("
                                             "sys.argv[1], newline=\"\", encoding=\"utf-8-sig\")))))' " + file.string() + ".csv"),
                                  nullptr, false);
    ASSERT_TRUE(rows.is_array() && rows.size() == hostile.size() + 1) << rows;
    auto defused = [](const std::string& cell) { return (std::string("=+-@\t\r").find(cell[0]) != std::string::npos ? "'" : "") + cell; };
    for (size_t i = 0; i < hostile.size(); ++i) {
        const json& row = rows[hostile.size() - i]; // newest first, as the list shows them
        EXPECT_EQ((json{row[0], row[1], row[9]}), (json{defused(hostile[i].first), "'@Handle Co", defused(hostile[i].second)}));
    }
}

// The journeys show each local result; here the payload reading and the stored language.
TEST_F(ActionsTest, ResumeActionsReadTheirPayloadStrictlyAndAnswerInTheUsersLanguage) {
    writeFile(dir / "cv.txt", kResume);
    // The text true is not a boolean: AI stays off.
    for (const auto& [flag, status] : {std::pair<json, const char*>{1, "ai_unavailable"}, {"true", "not_requested"}})
        EXPECT_EQ(call("analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", flag}})["aiStatus"], status);
    // The questions themselves, and the model's, are the interview service's own tests.
    ctx->db->setSetting("language", "de"); // the default when the payload names none
    EXPECT_EQ(call("generateInterviewQuestions", {{"title", "Support Engineer"}, {"description", kDescription}})["questions"][1],
              "Warum interessiert Sie die Position Support Engineer?");
}

TEST_F(ActionsTest, FileDialogsProposeSafeNamesAndTheActionsWriteTheChosenFile) {
    ResumeDocument named = sampleResume(), blank = sampleResume();
    named.name = "A/B: CV";
    blank.name = " \n ";
    const std::string out = dir.path().string();
    writeFile(out + "/generated.txt", "an older, much longer text that must not survive the save");
    // `answer` is the user's pick in the dialog (null cancels); `data` the reply, null when it fails
    // with `error` at its start.
    const struct { std::string action; json payload; json answer; json data; std::string error, suggested; } rows[] = {
        {"chooseResumeFile", {}, nullptr, {{"selected", false}}, "", ""},
        {"exportResumeDocx", {{"resume", named.toJson()}}, out + "/cv.docx", {{"saved", true}, {"path", out + "/cv.docx"}}, "", "A_B_ CV.docx"},
        {"exportResumePdf", {{"resume", blank.toJson()}}, out + "/for-acme", {{"saved", true}, {"path", out + "/for-acme.pdf"}},
         "", "Velmora-Resume.pdf"},
        {"exportResumePdf", {{"resume", named.toJson()}}, out + "/gone/cv.pdf", nullptr, "Could not create the PDF output file.", "A_B_ CV.pdf"},
        {"saveTextFile", {{"text", "Jürgen Müller\nResume ✓"}, {"suggestedName", "resume"}}, out + "/generated.txt",
         {{"saved", true}, {"path", out + "/generated.txt"}}, "", "resume.txt"},
        {"saveTextFile", {{"suggestedName", "notes/v2:final.md"}}, nullptr, {{"saved", false}}, "", "notes_v2_final.md"},
        {"saveTextFile", {{"text", "x"}}, out + "/gone/a.txt", nullptr, "Could not write", "Velmora-Resume.txt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.action + " " + row.answer.dump());
        answer({{row.action == "chooseResumeFile" ? "open" : "save", {row.answer}}});
        if (row.data.is_null()) EXPECT_EQ(error(row.action, row.payload).substr(0, row.error.size()), row.error);
        else EXPECT_EQ(call(row.action, row.payload), row.data);
        ASSERT_EQ(dialogs->requests().size(), 1u);
        EXPECT_EQ(dialogs->requests()[0].suggestedName, row.suggested);
    }
    EXPECT_EQ(readFile(out + "/generated.txt"), "Jürgen Müller\nResume ✓");
}

// The headless host end to end: dialogs answered from --dialogs, files that poppler and libzip
// read back, and the model's answers.
TEST(HostActions, VelmoraBridgeExportsAndAsksTheModel) {
    TempDir dir;
    ModelFixtureServer server;
    server.setDefault(ModelFixtureServer::answer("Model text."));
    AppContext::create(AppPaths(dir / "data"))->db->setSetting("ollamaUrl", server.base());
    const auto docx = dir / "cv.docx", pdf = dir / "cv.pdf";
    writeFile(dir / "dialogs.json", json{{"save", {docx.string(), pdf.string(), nullptr}}}.dump());
    writeFile(dir / "cv.txt", kResume);
    const json resume = {{"resume", sampleResume().toJson()}};
    const std::pair<std::string, json> requests[] = {
        {"exportResumeDocx", resume}, {"exportResumePdf", resume}, {"exportResumePdf", resume},
        {"generateResume", {{"prompt", "notes"}}}, {"analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", true}}},
        {"rewriteResumeFragment", {{"fragment", "line"}}},
        {"generateInterviewQuestions", {{"title", "SRE"}, {"description", kDescription}}},
    };
    std::string input;
    for (size_t i = 0; i < std::size(requests); ++i)
        input += json{{"id", std::to_string(i)}, {"action", requests[i].first}, {"payload", requests[i].second}}.dump() + "\n";
    BridgeRun run = runBridge(dir / "data", input, {"--dialogs", (dir / "dialogs.json").string()});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 7u) << run.errors;
    auto& r = run.byId;
    EXPECT_EQ((json{r["0"]["data"]["path"], r["1"]["data"]["path"], r["2"]["data"]["saved"], r["3"]["data"]["resume"],
                    r["4"]["data"]["aiFeedback"], r["5"]["data"]["mode"], r["6"]["data"]["mode"]}),
              (json{docx.string(), pdf.string(), false, "Model text.", "Model text.", "private_ai",
                    "offline_fallback"})); // one line is too few questions
    EXPECT_TRUE(text::contains(ResumeService::extractText(docx.string()), "Jane Doe"));
    EXPECT_TRUE(text::contains(pdfPages(pdf).at(0), "PROFESSIONAL SUMMARY"));
    EXPECT_EQ(server.requests().size(), 4u);
}
