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

#include <array>
#include <sstream>

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
    // Listings "Engineer <i>" for i in [first, last); every fourth one in Sales.
    void storeJobs(int first, int last) {
        std::vector<std::pair<IncomingJob, SecurityAssessment>> jobs;
        for (int i = first; i < last; ++i)
            jobs.push_back(listing("https://remotive.com/" + std::to_string(i), "Engineer " + std::to_string(i),
                                   i % 4 ? "Software & IT" : "Sales"));
        ctx->db->upsertJobs(jobs);
    }
    std::pair<IncomingJob, SecurityAssessment> listing(const std::string& url, const std::string& title,
                                                       const std::string& category, const std::string& description = "") {
        IncomingJob j;
        j.title = title;
        j.company = "Acme";
        j.category = category;
        j.location = "Worldwide";
        j.description = description;
        j.url = url;
        return {j, ctx->security->assess(j.url, "Remotive")};
    }
};

std::string resumeText() {
    std::string s = "Jordan Avery\nSummary\nExperience\nSkills\nEducation\njordan@example.com\n(555) 123-4567\n"
                    "Grew revenue 20%\nCut costs 15%\nServed 300 clients\nLed built created implemented reduced\n";
    for (int i = 0; i < 300; ++i) s += "lorem ";
    return s;
}

const std::string kDescription = "Own escalations for the payments platform, debug webhooks and write runbooks.";

} // namespace

TEST_F(ActionsTest, BadInputIsRefusedWithItsOwnMessage) {
    storeJobs(0, 1);
    const int64_t job = call("getJobs")[0]["id"];
    const int64_t app = call("addApplication", {{"title", "A"}, {"url", "https://e.com/a"}})["id"];
    const std::string gone = "This application no longer exists. Reload the list and try again.";
    const std::string badSort = "Unknown sort \"best\". Use \"newest\" or \"match\".";
    const struct {
        const char* action;
        json payload;
        std::string error;
    } rows[] = {
        {"getJobs", {{"sort", "best"}}, badSort},
        {"getJobs", {{"jobType", "gig"}}, "Unknown job type \"gig\"."},
        {"setJobFilters", {{"sort", "best"}}, badSort},
        {"setJobMark", {{"id", 999}, {"mark", "saved"}}, "This job is no longer stored. Refresh the list and try again."},
        {"setJobMark", {{"id", job}, {"mark", "starred"}}, "Unknown mark \"starred\". Use \"saved\", \"hidden\" or \"\"."},
        {"openSavedSearch", {{"id", 999}}, "This saved search no longer exists."},
        {"deleteSavedSearch", {{"id", "x"}}, "This saved search no longer exists."},
        {"saveSearch", {{"name", ""}}, "Enter a name for the search."},
        {"saveSearch", {{"name", "long"}, {"query", std::string(10240, 'x')}},
         "The search text is too long to save; use at most 500 characters."},
        {"deleteApplication", {{"id", "nonsense"}}, gone},
        {"updateApplication", {{"id", 9999}, {"notes", "x"}}, gone},
        {"updateApplication", {{"id", app}, {"status", "Hired"}}, "Unknown application stage: Hired."},
        {"addApplication", {{"title", "X"}, {"url", "file:///etc/passwd"}},
         "Enter the link of the listing as a web address (http or https)."},
        // A bad resume is refused before any dialog asks for a path.
        {"exportResumePdf", json::object(), "Resume payload is invalid."},
        {"exportResumeDocx", {{"resume", "text"}}, "Resume payload is invalid."},
    };
    for (const auto& row : rows) EXPECT_EQ(error(row.action, row.payload), row.error) << row.action << " " << row.payload;
    EXPECT_TRUE(dialogs->requests().empty());

    ctx->sqlite->execute("DROP TABLE applications;"); // the database's own failure reaches the page
    EXPECT_EQ(error("updateApplication", {{"id", app}}), "SQLite operation failed: no such table: applications");
}

TEST_F(ActionsTest, GetJobsReadsItsPayloadLeniently) {
    storeJobs(0, 205);
    // A limit that does not read as a number is the default 200; an offset near the end keeps
    // the answers small.
    const std::pair<json, size_t> rows[] = {
        {json::object(), 200},         {{{"limit", "7"}}, 7},
        {{{"limit", "5x"}, {"offset", 195}}, 10},
        {{{"limit", " 3"}, {"offset", 195}}, 10},
        {{{"limit", 12.9}}, 12},       {{{"limit", 100000}}, 205},
        {{{"offset", 200}}, 5},        {{{"category", "Sales"}, {"limit", 500}}, 52},
        {{{"query", "engineer 20"}, {"limit", 500}}, 6}, // 20, 200..204
        {{{"postedWithinDays", 99999}, {"source", "All"}, {"jobType", "All"}, {"limit", 500}}, 205},
    };
    for (const auto& [payload, count] : rows) EXPECT_EQ(call("getJobs", payload).size(), count) << payload;

    EXPECT_EQ(call("assessUrl", {{"url", "https://bit.ly/x"}, {"source", "Jobicy"}})["checks"].back(), "Listing source: Jobicy.");
    EXPECT_EQ(call("assessUrl")["label"], "Blocked");
}

TEST_F(ActionsTest, MatchSortFollowsTheProfileSkillsAndTheResume) {
    ctx->db->upsertJobs({listing("https://e.com/rust", "Rust Engineer", "IT", "Rust services on Kubernetes with PostgreSQL."),
                         listing("https://e.com/half", "Backend Engineer", "IT", "Java services with PostgreSQL and Kafka."),
                         listing("https://e.com/chef", "Pastry Chef", "IT", "Bake bread and cakes.")});
    auto best = [&] { return call("getJobs", {{"sort", "match"}})[0]; };
    EXPECT_EQ(best()["url"], "https://e.com/chef"); // no skills yet: every score is 0, newest first

    ctx->profiles->save({{"fullName", "Ana"}, {"skills", "Rust, Kubernetes, PostgreSQL, Go"}});
    const json jobs = call("getJobs", {{"sort", "match"}});
    EXPECT_EQ(jobs[0]["matchedSkills"], (json{"rust", "kubernetes", "postgresql"}));
    EXPECT_EQ(jobs[1]["matchedSkills"], (json{"postgresql"}));
    EXPECT_GT(jobs[0]["matchScore"].get<int>(), jobs[1]["matchScore"].get<int>());
    EXPECT_EQ(jobs[2]["matchScore"], 0);

    // The resume's keywords count too, and a change of skills rescores what was stored.
    ctx->profiles->save({{"fullName", "Ana"}, {"skills", ""}});
    ctx->db->saveResume("cv.pdf", "/x/cv.pdf", json{{"keywords", {"bread", "cakes"}}}.dump());
    EXPECT_EQ(best()["matchedSkills"], (json{"bread", "cakes"}));
}

// Hiding, the remembered filters and saving a search are the page's journey; here what it
// cannot see: the clamp and what a saved search counts as new.
TEST_F(ActionsTest, FiltersAreClampedAndSavedSearchesCountWhatIsNew) {
    EXPECT_EQ(call("setJobFilters", {{"sort", "match"}, {"jobType", "contract"}, {"postedWithinDays", 5000}}),
              (json{{"category", "All"}, {"source", ""}, {"jobType", "contract"}, {"postedWithinDays", 365},
                    {"sort", "match"}, {"includeHidden", false}}));
    EXPECT_EQ(call("getJobFilters")["last"]["postedWithinDays"], 365);

    const int64_t search = call("saveSearch", {{"name", "Sales"}, {"category", "Sales"}})["id"];
    clock->advance(std::chrono::hours(1));
    storeJobs(3, 9); // six new listings, two of them (4 and 8) in Sales
    EXPECT_EQ(call("getDashboard")["savedSearches"], (json{{{"id", search}, {"name", "Sales"}, {"newCount", 2}}}));
    EXPECT_EQ(call("openSavedSearch", {{"id", search}})["category"], "Sales");
    EXPECT_EQ(call("getSavedSearches")[0]["newCount"], 0);
}

TEST_F(ActionsTest, AnEntryFollowsUpAWeekAfterApplyingWithOneNotificationForAllThatAreDue) {
    struct Notifier final : DesktopNotifier {
        std::vector<std::array<std::string, 2>> sent;
        void notify(const std::string&, const std::string& title, const std::string& body) override {
            sent.push_back({title, body});
        }
    } notifier;
    const int64_t id = call("addApplication", {{"title", "Engineer"}, {"url", "https://e.com/a"}})["id"];
    // Ids arrive as text from some pages.
    EXPECT_EQ(call("updateApplication", {{"id", std::to_string(id)}, {"status", "Applied"}})["application"]["followUpAt"],
              "2026-03-08");
    EXPECT_FALSE(remindOfDueFollowUps(*ctx->db, notifier)); // nothing due yet
    call("addApplication", {{"title", "B"}, {"url", "https://e.com/b"}, {"status", "Interviewing"}});
    clock->advance(std::chrono::hours(24 * 8));
    EXPECT_EQ(call("getInitialState")["dashboard"]["followUpsDue"], 2);
    EXPECT_TRUE(remindOfDueFollowUps(*ctx->db, notifier));
    ctx->db->setSetting("language", "de");
    remindOfDueFollowUps(*ctx->db, notifier);
    EXPECT_EQ(notifier.sent, (std::vector<std::array<std::string, 2>>{
                                 {"Follow-ups due", "2 applications are due for a follow-up."},
                                 {"Nachfassen fällig", "Bei 2 Bewerbungen ist Nachfassen fällig."}}));
}

TEST_F(ActionsTest, CsvExportReadsBackCellForCellWithFormulasDefused) {
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"Comma, \"quoted\" title", "line one\nline two\r\nthree"},
        {"=HYPERLINK(\"https://evil.example\",\"x\")", "+SUM(A1:A2)"},
        {"-2+3", "\rcarriage"},
        {"Инженер 数据 ✓", "\ttabbed"},
    };
    for (size_t i = 0; i < hostile.size(); ++i) {
        call("addApplication", {{"title", hostile[i].first}, {"company", "@Handle Co"}, {"status", "Applied"},
                                {"url", "https://e.com/" + std::to_string(i)}, {"notes", hostile[i].second}});
        clock->advance(std::chrono::seconds(1));
    }
    const auto file = dir / "tracker"; // the extension is added
    answer({{"save", {file.string(), nullptr}}});
    EXPECT_EQ(call("exportApplicationsCsv"), (json{{"saved", true}, {"path", file.string() + ".csv"}, {"count", 4}}));
    EXPECT_EQ(call("exportApplicationsCsv"), (json{{"saved", false}})); // cancelled
    // Read by Python's csv module, the way a script or spreadsheet import would.
    const json rows = json::parse(runCommand("python3 -c 'import csv,json,sys; print(json.dumps(list(csv.reader(open("
                                             "sys.argv[1], newline=\"\", encoding=\"utf-8-sig\")))))' " + file.string() + ".csv"),
                                  nullptr, false);
    ASSERT_TRUE(rows.is_array() && rows.size() == hostile.size() + 1) << rows;
    EXPECT_EQ(rows[0].size(), 10u);
    auto defused = [](const std::string& cell) { return (std::string("=+-@\t\r").find(cell[0]) != std::string::npos ? "'" : "") + cell; };
    for (size_t i = 0; i < hostile.size(); ++i) {
        const json& row = rows[hostile.size() - i]; // newest first, as the list shows them
        EXPECT_EQ(row[0], defused(hostile[i].first));
        EXPECT_EQ(row[1], "'@Handle Co");
        EXPECT_EQ(row[2], "https://e.com/" + std::to_string(i));
        EXPECT_EQ(row[5], "2026-03-08");
        EXPECT_EQ(row[9], defused(hostile[i].second));
    }
}

// The journeys show each local result; here the payload reading and the languages.
TEST_F(ActionsTest, ResumeActionsReadTheirPayloadStrictlyAndAnswerInTheUsersLanguage) {
    writeFile(dir / "cv.txt", resumeText());
    const json analysed = call("analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", 1}});
    EXPECT_EQ(analysed["aiStatus"], "ai_unavailable");
    EXPECT_EQ(analysed["analysis"]["score"], 100);
    // The text true is not a boolean: AI stays off.
    EXPECT_EQ(call("analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", "true"}})["aiStatus"],
              "not_requested");
    EXPECT_EQ(call("rewriteResumeFragment", {{"fragment", "  Led a team  "}}), (json{{"text", "Led a team"}, {"mode", "offline"}}));
    EXPECT_EQ(call("rewriteResumeFragment", {{"fragment", "   "}}), (json{{"text", ""}}));
    // The questions themselves, and the model's, are the interview service's own tests.
    ctx->db->setSetting("language", "de"); // the default when the payload names none
    const json questions = call("generateInterviewQuestions", {{"title", "Support Engineer"}, {"description", kDescription}});
    EXPECT_EQ(questions["mode"], "offline_fallback");
    EXPECT_EQ(questions["questions"][1], "Warum interessiert Sie die Position Support Engineer?");
    EXPECT_EQ(call("generateInterviewQuestions", {{"title", "SRE"}, {"description", kDescription}, {"language", "FR"}})["notice"],
              "L\u2019IA privée était indisponible ; Velmora a créé les questions localement à partir du titre et "
              "de la description.");
}

TEST_F(ActionsTest, FileDialogsProposeSafeNamesAndTheActionsWriteTheChosenFile) {
    ResumeDocument named = sampleResume(), blank = sampleResume();
    named.name = "A/B: CV";
    blank.name = " \n ";
    const std::string out = (dir / "out").string();
    fs::create_directories(out);
    writeFile(out + "/generated.txt", "an older, much longer text that must not survive the save");
    // Each action's dialog: its title and the file types it offers.
    const std::map<std::string, std::pair<std::string, std::vector<std::string>>> dialog = {
        {"chooseResumeFile", {"Choose a resume", {"pdf", "docx", "txt", "md", "rtf"}}},
        {"exportResumeDocx", {"Export resume as Word document", {"docx"}}},
        {"exportResumePdf", {"Export resume as PDF", {"pdf"}}},
        {"saveTextFile", {"Save generated resume", {}}},
    };
    const json saved = {{"saved", false}};
    const struct {
        std::string action;
        json payload;
        json answer; // the user's pick in the dialog; null cancels
        json data;   // the reply; null when it fails with `error` at its start
        std::string error, suggested;
    } rows[] = {
        {"chooseResumeFile", {}, "/home/ana/My CV.pdf", {{"selected", true}, {"path", "/home/ana/My CV.pdf"}, {"name", "My CV.pdf"}}, "", ""},
        {"chooseResumeFile", {}, "", {{"selected", false}}, "", ""},
        {"chooseResumeFile", {}, nullptr, {{"selected", false}}, "", ""},
        {"exportResumeDocx", {{"resume", named.toJson()}}, out + "/cv.docx", {{"saved", true}, {"path", out + "/cv.docx"}}, "", "A_B_ CV.docx"},
        {"exportResumePdf", {{"resume", blank.toJson()}}, out + "/for-acme", {{"saved", true}, {"path", out + "/for-acme.pdf"}},
         "", "Velmora-Resume.pdf"},
        {"exportResumePdf", {{"resume", named.toJson()}}, out + "/gone/cv.pdf", nullptr, "Could not create the PDF output file.", "A_B_ CV.pdf"},
        {"exportResumeDocx", {{"resume", named.toJson()}}, out + "/gone/cv.docx", nullptr, "DOCX export failed. ", "A_B_ CV.docx"},
        {"saveTextFile", {{"text", "Jürgen Müller\nResume ✓"}, {"suggestedName", "resume"}}, out + "/generated.txt",
         {{"saved", true}, {"path", out + "/generated.txt"}}, "", "resume.txt"},
        {"saveTextFile", {{"suggestedName", "notes/v2:final.md"}}, nullptr, saved, "", "notes_v2_final.md"},
        {"saveTextFile", {{"suggestedName", "CV.TXT"}}, nullptr, saved, "", "CV.TXT.txt"},
        {"saveTextFile", {}, nullptr, saved, "", "Velmora-Resume.txt"},
        {"saveTextFile", {{"text", "x"}}, out + "/gone/a.txt", nullptr, "Could not write", "Velmora-Resume.txt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.action + " " + row.answer.dump());
        answer({{row.action == "chooseResumeFile" ? "open" : "save", {row.answer}}});
        if (row.data.is_null()) EXPECT_EQ(error(row.action, row.payload).substr(0, row.error.size()), row.error);
        else EXPECT_EQ(call(row.action, row.payload), row.data);
        ASSERT_EQ(dialogs->requests().size(), 1u);
        EXPECT_EQ(dialogs->requests()[0].title, dialog.at(row.action).first);
        EXPECT_EQ(dialogs->requests()[0].extensions, dialog.at(row.action).second);
        EXPECT_EQ(dialogs->requests()[0].suggestedName, row.suggested);
    }
    EXPECT_EQ(readFile(out + "/generated.txt"), "Jürgen Müller\nResume ✓");
    // What was written is all there is: no half-written file beside a failure.
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(out)) written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"cv.docx", "for-acme.pdf", "generated.txt"}));
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
    writeFile(dir / "cv.txt", resumeText());
    const json resume = {{"resume", sampleResume().toJson()}};
    const std::pair<std::string, json> requests[] = {
        {"exportResumeDocx", resume},
        {"exportResumePdf", resume},
        {"exportResumePdf", resume},
        {"generateResume", {{"prompt", "notes"}}},
        {"analyzeResume", {{"path", (dir / "cv.txt").string()}, {"useLocalAi", true}}},
        {"rewriteResumeFragment", {{"fragment", "line"}}},
        {"generateInterviewQuestions", {{"title", "SRE"}, {"description", kDescription}}},
    };
    std::string input;
    for (size_t i = 0; i < std::size(requests); ++i)
        input += json{{"id", std::to_string(i)}, {"action", requests[i].first}, {"payload", requests[i].second}}.dump() + "\n";
    BridgeRun run = runBridge(dir / "data", input, {"--dialogs", (dir / "dialogs.json").string()});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 7u) << run.errors;
    EXPECT_EQ(run.byId["0"]["data"], (json{{"saved", true}, {"path", docx.string()}}));
    EXPECT_EQ(run.byId["1"]["data"], (json{{"saved", true}, {"path", pdf.string()}}));
    EXPECT_EQ(run.byId["2"]["data"], (json{{"saved", false}}));
    EXPECT_TRUE(text::contains(ResumeService::extractText(docx.string()), "Jane Doe"));
    EXPECT_TRUE(text::contains(pdfPages(pdf).at(0), "PROFESSIONAL SUMMARY"));
    EXPECT_EQ(run.byId["3"]["data"]["resume"], "Model text.");
    EXPECT_EQ(run.byId["4"]["data"]["aiFeedback"], "Model text.");
    EXPECT_EQ(run.byId["5"]["data"]["mode"], "private_ai");
    EXPECT_EQ(run.byId["6"]["data"]["mode"], "offline_fallback"); // one line is too few questions
    EXPECT_EQ(server.requests().size(), 4u);

    // Answers of the wrong shape, or none at all, stop the host before it serves anything.
    for (const char* bad : {"[1,2]", R"({"open":"/a.pdf"})", R"({"save":[1]})", "{not json"}) {
        writeFile(dir / "bad.json", bad);
        EXPECT_NE(runBridge(dir / "data", "", {"--dialogs", (dir / "bad.json").string()}).status, 0) << bad;
    }
    EXPECT_NE(runBridge(dir / "data", "", {"--dialogs", (dir / "absent.json").string()}).status, 0);
}

TEST(ScriptedDialogsTest, ReportsAlertsWhereTheScriptCanReadThem) {
    std::ostringstream err;
    ScriptedDialogs dialogs(json{{"open", nullptr}}, &err);
    EXPECT_FALSE(dialogs.chooseOpenFile("t", {}));
    dialogs.showInfo("Velmora blocked a non-web link from this page for safety.");
    EXPECT_EQ(err.str(), "Velmora by Quorvane: Velmora blocked a non-web link from this page for safety.\n");
}
