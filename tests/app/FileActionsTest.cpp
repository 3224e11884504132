#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/QueueUiLoop.h"
#include "app/ScriptedDialogs.h"
#include "core/VelmoraError.h"
#include "studio/ExportTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace velmora;
using namespace velmora::testing;

namespace {

class FileActionsTest : public ::testing::Test {
protected:
    TempDir data;
    TempDir out;
    std::shared_ptr<AppContext> ctx = AppContext::create(AppPaths(data.path()));
    QueueUiLoop loop;
    BackgroundRunner background{1};
    std::vector<json> delivered;
    Bridge bridge{loop, background, [this](const std::string& text) { delivered.push_back(json::parse(text)); }};
    std::ostringstream alerts;
    std::shared_ptr<ScriptedDialogs> dialogs;

    void answer(const json& answers) {
        dialogs = std::make_shared<ScriptedDialogs>(answers, &alerts);
        ctx->dialogs = dialogs;
    }

    FileActionsTest() {
        answer(json::object());
        registerFileActions(bridge, *ctx);
    }

    // Sends one request and returns its reply envelope.
    json call(const std::string& action, const json& payload = json::object()) {
        delivered.clear();
        bridge.receive({{"action", action}, {"id", "1"}, {"payload", payload}});
        EXPECT_TRUE(loop.runUntil([&] { return bridge.inFlight() == 0; }, std::chrono::seconds(20)));
        loop.drain();
        EXPECT_EQ(delivered.size(), 1u);
        return delivered.empty() ? json() : delivered.front();
    }

    ScriptedDialogs::Request lastRequest() {
        auto requests = dialogs->requests();
        EXPECT_FALSE(requests.empty());
        return requests.empty() ? ScriptedDialogs::Request{} : requests.back();
    }
};

} // namespace

TEST_F(FileActionsTest, ChooseResumeFileReportsPathAndNameOrNothing) {
    answer({{"open", {"/home/ana/Documents/My CV.pdf", nullptr, ""}}});
    json reply = call("chooseResumeFile");
    EXPECT_EQ(reply["data"], (json{{"selected", true}, {"path", "/home/ana/Documents/My CV.pdf"}, {"name", "My CV.pdf"}}));
    EXPECT_EQ(lastRequest().title, "Choose a resume");
    EXPECT_EQ(lastRequest().extensions, (std::vector<std::string>{"pdf", "docx", "txt", "md", "rtf"}));
    for (int cancelled = 0; cancelled < 3; ++cancelled) // null, empty text, exhausted queue
        EXPECT_EQ(call("chooseResumeFile")["data"], (json{{"selected", false}}));
}

TEST_F(FileActionsTest, ExportDocxProposesASafeNameAndWritesTheChosenFile) {
    auto path = out / "exported.docx";
    answer({{"save", {path.string()}}});
    ResumeDocument d = sampleResume();
    d.name = "A/B: CV";
    json reply = call("exportResumeDocx", {{"resume", d.toJson()}});
    EXPECT_EQ(reply["data"], (json{{"saved", true}, {"path", path.string()}}));
    auto request = lastRequest();
    EXPECT_EQ(request.title, "Export resume as Word document");
    EXPECT_EQ(request.suggestedName, "A_B_ CV.docx");
    EXPECT_EQ(request.extensions, std::vector<std::string>{"docx"});

    auto entries = readZip(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_NE(entries["word/document.xml"].find("Senior Backend Engineer"), std::string::npos);
}

TEST_F(FileActionsTest, ExportPdfWithBlankNameAndMissingExtension) {
    auto chosen = out / "resume-for-acme";
    answer({{"save", {chosen.string(), nullptr}}});
    ResumeDocument d = sampleResume();
    d.name = " \n ";
    json reply = call("exportResumePdf", {{"resume", d.toJson()}});
    EXPECT_EQ(lastRequest().title, "Export resume as PDF");
    EXPECT_EQ(lastRequest().suggestedName, "Velmora-Resume.pdf");
    EXPECT_EQ(reply["data"], (json{{"saved", true}, {"path", chosen.string() + ".pdf"}}));
    PdfReadBack pdf = readPdf(chosen.string() + ".pdf");
    ASSERT_TRUE(pdf.opened);
    EXPECT_NE(pdf.allText().find("Jane Doe"), std::string::npos);

    // Cancelling writes nothing.
    EXPECT_EQ(call("exportResumePdf", {{"resume", d.toJson()}})["data"], (json{{"saved", false}}));
    EXPECT_EQ(folderEntries(out.path()).size(), 1u);
}

TEST_F(FileActionsTest, ExportRefusesABadResumeBeforeAskingForAPath) {
    answer({{"save", {(out / "x.pdf").string()}}});
    EXPECT_EQ(call("exportResumePdf")["error"], "Resume payload is invalid.");
    EXPECT_EQ(call("exportResumeDocx", {{"resume", "text"}})["error"], "Resume payload is invalid.");
    json missingKeys = call("exportResumeDocx", {{"resume", {{"name", "x"}}}});
    EXPECT_EQ(missingKeys["ok"], false);
    EXPECT_FALSE(missingKeys["error"].get<std::string>().empty());
    EXPECT_TRUE(dialogs->requests().empty());
}

TEST_F(FileActionsTest, ExportFailureIsTheWritersMessage) {
    answer({{"save", {(out / "gone" / "cv.pdf").string(), (out / "gone" / "cv.docx").string()}}});
    json pdf = call("exportResumePdf", {{"resume", sampleResume().toJson()}});
    EXPECT_EQ(pdf["ok"], false);
    EXPECT_EQ(pdf["error"], "Could not create the PDF output file.");
    json docx = call("exportResumeDocx", {{"resume", sampleResume().toJson()}});
    EXPECT_EQ(docx["error"].get<std::string>().rfind("DOCX export failed. ", 0), 0u);
}

TEST_F(FileActionsTest, SaveTextFileNamesAndWritesTheText) {
    auto path = out / "generated.txt";
    writeFile(path, "an older, much longer text that must not survive the save");
    answer({{"save", {path.string(), nullptr, nullptr, nullptr}}});
    json reply = call("saveTextFile", {{"text", "Jürgen Müller\nResume ✓"}, {"suggestedName", "resume"}});
    EXPECT_EQ(reply["data"], (json{{"saved", true}, {"path", path.string()}}));
    EXPECT_EQ(readFile(path), "Jürgen Müller\nResume ✓");
    EXPECT_EQ(lastRequest().title, "Save generated resume");
    EXPECT_EQ(lastRequest().suggestedName, "resume.txt");
    EXPECT_TRUE(lastRequest().extensions.empty());

    call("saveTextFile", {{"suggestedName", "notes/v2:final.md"}});
    EXPECT_EQ(lastRequest().suggestedName, "notes_v2_final.md");
    call("saveTextFile", {{"suggestedName", "CV.TXT"}});
    EXPECT_EQ(lastRequest().suggestedName, "CV.TXT.txt"); // the ending is compared case-sensitively
    EXPECT_EQ(call("saveTextFile")["data"], (json{{"saved", false}}));
    EXPECT_EQ(lastRequest().suggestedName, "Velmora-Resume.txt");
}

TEST_F(FileActionsTest, SaveTextFileFailureLeavesNoPartialFile) {
    answer({{"save", {(out / "missing" / "a.txt").string()}}});
    json reply = call("saveTextFile", {{"text", "x"}});
    EXPECT_EQ(reply["ok"], false);
    EXPECT_NE(reply["error"].get<std::string>().find("No such file or directory"), std::string::npos);
    EXPECT_TRUE(folderEntries(out.path()).empty());
}

TEST(ScriptedDialogsTest, RejectsMalformedAnswersAndReportsAlerts) {
    EXPECT_THROW(ScriptedDialogs(json::array(), nullptr), VelmoraError);
    EXPECT_THROW(ScriptedDialogs(json{{"open", "/a.pdf"}}, nullptr), VelmoraError);
    EXPECT_THROW(ScriptedDialogs(json{{"save", {1}}}, nullptr), VelmoraError);
    TempDir dir;
    writeFile(dir / "bad.json", "{not json");
    EXPECT_THROW(ScriptedDialogs::fromFile(dir / "bad.json", nullptr), VelmoraError);
    EXPECT_THROW(ScriptedDialogs::fromFile(dir / "absent.json", nullptr), VelmoraError);

    std::ostringstream err;
    ScriptedDialogs dialogs(json{{"open", nullptr}}, &err);
    EXPECT_FALSE(dialogs.chooseOpenFile("t", {}));
    dialogs.showInfo("Velmora blocked a non-web link from this page for safety.");
    EXPECT_EQ(err.str(), "Velmora by Quorvane: Velmora blocked a non-web link from this page for safety.\n");
}

// The headless host end to end: answers from --dialogs, files that poppler and libzip read.
TEST(FileActionsBridgeTest, VelmoraBridgeExportsThroughScriptedDialogs) {
    TempDir dir;
    auto docx = dir / "cv.docx";
    auto pdf = dir / "cv.pdf";
    auto txt = dir / "cover.txt";
    writeFile(dir / "dialogs.json",
              json{{"save", {docx.string(), pdf.string(), nullptr, txt.string()}}}.dump());
    json resume = sampleResume().toJson();
    std::string requests = json{{"action", "exportResumeDocx"}, {"id", "1"}, {"payload", {{"resume", resume}}}}.dump() +
                           "\n" +
                           json{{"action", "exportResumePdf"}, {"id", "2"}, {"payload", {{"resume", resume}}}}.dump() +
                           "\n" +
                           json{{"action", "exportResumePdf"}, {"id", "3"}, {"payload", {{"resume", resume}}}}.dump() +
                           "\n" + json{{"action", "saveTextFile"}, {"id", "4"}, {"payload", {{"text", "Dear team"}}}}.dump() +
                           "\n";
    writeFile(dir / "requests.jsonl", requests);
    int status = -1;
    std::string output = runCommand(std::string(VELMORA_BRIDGE_BIN) + " --data-dir " + shellQuote((dir / "data").string()) +
                                        " --dialogs " + shellQuote((dir / "dialogs.json").string()) + " < " +
                                        shellQuote((dir / "requests.jsonl").string()),
                                    &status);
    ASSERT_EQ(status, 0) << output;
    std::map<std::string, json> replies;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        json envelope = json::parse(line);
        replies[envelope["id"].get<std::string>()] = envelope;
    }
    ASSERT_EQ(replies.size(), 4u) << output;
    EXPECT_EQ(replies["1"]["data"], (json{{"saved", true}, {"path", docx.string()}}));
    EXPECT_EQ(replies["2"]["data"], (json{{"saved", true}, {"path", pdf.string()}}));
    EXPECT_EQ(replies["3"]["data"], (json{{"saved", false}}));
    EXPECT_EQ(replies["4"]["data"], (json{{"saved", true}, {"path", txt.string()}}));

    EXPECT_NE(readZip(docx)["word/document.xml"].find("Jane Doe"), std::string::npos);
    EXPECT_NE(readPdf(pdf).allText().find("PROFESSIONAL SUMMARY"), std::string::npos);
    EXPECT_EQ(readFile(txt), "Dear team");

    writeFile(dir / "broken.json", "[1,2]");
    runCommand(std::string(VELMORA_BRIDGE_BIN) + " --data-dir " + shellQuote((dir / "data").string()) + " --dialogs " +
                   shellQuote((dir / "broken.json").string()) + " </dev/null 2>/dev/null",
               &status);
    EXPECT_NE(status, 0);
}
