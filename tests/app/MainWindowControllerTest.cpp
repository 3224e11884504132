#include "BridgeTestBed.h"
#include "ControllerTestBed.h"
#include "core/IncomingJob.h"

#include <gmock/gmock.h>

using namespace velmora;
using namespace velmora::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class MainWindowControllerTest : public ControllerTestBed {
protected:
    json applications() const { return ctx->db->getApplications(); }
    fs::path writeResume(const std::string& name = "cv.pdf") {
        writeFile(data / name, "%PDF-1.4 test resume\n");
        return data / name;
    }
};

// The plain-text resume copy Assist Apply hands to an employer's upload field.
class TemporaryResumeTest : public MainWindowControllerTest {};

} // namespace

TEST_F(MainWindowControllerTest, StartsHiddenWithTheSavedLanguageAndLoadsThePageFromTheFirstRootThatHasIt) {
    ctx->db->setSetting("language", "it");
    TempDir empty;
    auto italian = create({empty.path(), resources.path()});
    EXPECT_FALSE(chrome.layerVisible);
    EXPECT_EQ(chrome.title, "Browser candidatura");
    ASSERT_TRUE(italian->loadUI());
    EXPECT_TRUE(fs::equivalent(appView.loadedFile, resources / "ui" / "index.html"));
    EXPECT_EQ(appView.readAccess, appView.loadedFile.parent_path());

    EXPECT_FALSE(create({empty.path()})->loadUI());
    EXPECT_EQ(dialogs.infos, std::vector<std::string>{"Embedded Velmora interface is missing."});
    EXPECT_TRUE(chrome.closed);
}

TEST_F(MainWindowControllerTest, SyncTimerFirstLooksAfterFiveMinutesAndStopsWithTheController) {
    controller->setupTimers();
    for (const auto& [by, checks] : {std::pair{299s, 0}, {1s, 1}, {600s, 3}}) {
        ui.advance(by);
        EXPECT_EQ(syncChecks, checks) << by.count();
    }
    controller.reset(), ctx->window.reset();
    ui.advance(900s);
    EXPECT_EQ(syncChecks, 3);
}

// The confirmation dialog and the refusal's message are the jobs journey's; here what the page
// cannot see.
TEST_F(MainWindowControllerTest, OpenJobRecordsOneEntryPerAddressBeforeItOpens) {
    EXPECT_EQ(controller->openJob({{"url", "mailto:jobs@example.com"}, {"force", true}})["opened"], false);
    const std::string risky = "https://user:pw@careers.example.com/apply"; // rated 40
    EXPECT_EQ(controller->openJob({{"url", risky}})["requiresConfirmation"], true);
    EXPECT_EQ(controller->openJob({{"url", risky}, {"force", true}, {"title", "Engineer"}})["opened"], true);
    EXPECT_EQ(browserView.loads, std::vector<std::string>{risky});
    EXPECT_TRUE(chrome.layerVisible && chrome.assistVisible && controller->externalMode() == "application");

    // An id, even sent as text, links the entry to the stored listing.
    IncomingJob job;
    job.url = "https://remotive.com/jobs/42";
    const int64_t jobId = ctx->db->upsertJob(job, ctx->security->assess(job.url, ""));
    controller->openJob({{"url", job.url}, {"id", std::to_string(jobId)}});
    std::set<json> rows; // address, title, listing
    for (const auto& row : applications()) rows.insert(json::array({row["url"], row["title"], row["jobId"]}));
    EXPECT_EQ(rows, (std::set<json>{json::array({risky, "Engineer", nullptr}), json::array({job.url, "Job application", jobId})}));

    // A failure to record opens nothing.
    ctx->sqlite->execute("DROP TABLE applications;");
    EXPECT_ANY_THROW(controller->openJob({{"url", "https://remotive.com/jobs/1"}}));
    EXPECT_EQ(browserView.loads.size(), 2u);
}

TEST_F(MainWindowControllerTest, NavigationDecisionsCarryOutTheirSideEffects) {
    for (const char* url : {"file:///etc/passwd", ""}) EXPECT_FALSE(controller->navigateExternal(url, true)) << url;
    EXPECT_EQ(dialogs.infos, std::vector<std::string>(2, MainWindowController::kBlockedLink));
    EXPECT_FALSE(chrome.layerVisible);

    // A web link in the page opens in the browser as a website, without Assist Apply.
    controller->loadUI();
    EXPECT_FALSE(controller->decidePolicy(WebViewRole::Interface, "https://example.org/blog"));
    EXPECT_EQ(browserView.loads, std::vector<std::string>{"https://example.org/blog"});
    EXPECT_TRUE(controller->externalMode() == "website" && !chrome.assistVisible);
}

TEST_F(MainWindowControllerTest, HidingTheBrowserRestoresThePageAndRelabelsTheToolbar) {
    controller->navigateExternal("https://example.org", false);
    EXPECT_EQ(chrome.address, "https://example.org/"); // the canonical form the browser loads
    ctx->db->setSetting("language", "es");
    controller->hideExternalBrowser();
    EXPECT_TRUE(!chrome.layerVisible && !appView.bodyClasses.count("browser-docked") && chrome.focusRequests == 1);
    EXPECT_EQ(chrome.title, "Navegador de solicitudes");

    // While visible, a language change follows the mode and the page instead of the defaults.
    controller->navigateExternal("https://example.org", false);
    browserView.setCurrentUrl("https://weworkremotely.com/jobs/1");
    ctx->db->setSetting("language", "de");
    controller->applyNativeLanguage();
    EXPECT_EQ(chrome.title, "Webbrowser");
    EXPECT_EQ(chrome.security, "Quorvane Checked · 85/100");
    browserView.setCurrentUrl("about:blank");
    controller->navigationFinished(WebViewRole::Browser);
    EXPECT_EQ(chrome.security, "Sicherer Browser");
    EXPECT_EQ(chrome.address, "about:blank"); // where the page really is, after any redirect
}

// However the page answers, the armed file goes to one upload at most, and only in the browser.
TEST_F(MainWindowControllerTest, UploadPromptUsesThePendingResumeOnlyOnceAndOnlyInTheBrowser) {
    // No marked field; a click that raised no prompt (disarmed when the check completes); a
    // failing page script.
    const struct { bool hasField, raisesPrompt, scriptFails, attached; } rows[] = {
        {true, true, false, true}, {false, true, false, false}, {true, false, false, false}, {true, true, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.hasField << row.raisesPrompt << row.scriptFails);
        pageFiles.clear();
        simulatePage(json::object(), row.hasField, row.raisesPrompt);
        if (row.scriptFails)
            browserView.respond = [](const std::string&) -> FakeWebSurface::Answer { return {std::nullopt, "TypeError"}; };
        bool attached = !row.attached;
        controller->tryUploadResume("/tmp/r.pdf", [&](bool ok) { attached = ok; });
        EXPECT_FALSE(controller->takePendingUpload(WebViewRole::Interface));
        ui.advance(1s);
        EXPECT_EQ(attached, row.attached);
        EXPECT_EQ(pageFiles.size(), row.attached ? 1u : 0u);
        EXPECT_FALSE(controller->takePendingUpload(WebViewRole::Browser));
    }
    EXPECT_TRUE(controller->tempResumeURLs().count("/tmp/r.pdf"));
}

TEST_F(MainWindowControllerTest, AssistSummarisesWhatWasFilledAndAttached) {
    const std::string resume = writeResume().string();
    const struct { json profile; std::string language; json result; bool hasField; std::string title;
                   size_t attached, tempFiles; } rows[] = {
        // A result of the wrong shape fills nothing; a copy was made but the page had no field to take it.
        {{{"phone", "+1 555"}, {"resumePath", resume}}, "en", {{"filled", "not an array"}, {"resumeTargetFound", true}},
         false, "Assist complete: 0 fields · review before submitting", 0, 1},
        {{{"fullName", "Ana"}, {"resumePath", resume}}, "fr", {{"filled", {1, 2}}, {"resumeTargetFound", true}}, true,
         "Aide terminée : 2 champs · CV joint · vérifiez avant l’envoi", 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        ctx->profiles->save(row.profile);
        ctx->db->setSetting("language", row.language);
        pageFiles.clear();
        simulatePage(row.result, row.hasField);
        runAssist();
        EXPECT_EQ(chrome.title, row.title);
        EXPECT_TRUE(chrome.assistEnabled && dialogs.infos.empty());
        EXPECT_EQ(pageFiles.size(), row.attached);
        ui.advance(58s);
        EXPECT_EQ(tempFiles(), row.tempFiles); // the page may still be reading it
        ui.advance(2s);
        EXPECT_EQ(tempFiles(), 0u);
    }
    // The stored profile fills the script; how it is encoded is the profile tests' matter.
    EXPECT_THAT(lastAutofillScript, ::testing::HasSubstr(R"("fullName":"Ana")"));
}

TEST_F(MainWindowControllerTest, AssistFailuresTellTheUserAndReenableTheButton) {
    controller->navigateExternal("https://example.org/apply", true);
    runAssist(); // an empty profile: "Not now" keeps the page and runs nothing
    EXPECT_EQ(dialogs.choices, std::vector<std::string>{"Your Application Profile is empty\nComplete your Application "
                                                        "Profile first, then reopen the job and click Assist Apply.\n"
                                                        "Open Application Profile | Not now"});
    EXPECT_TRUE(chrome.layerVisible);
    dialogs.choiceAnswers.push_back(true);
    runAssist();
    EXPECT_FALSE(chrome.layerVisible);
    EXPECT_TRUE(browserView.scripts.empty());
    EXPECT_THAT(appView.scripts, ::testing::Contains(::testing::HasSubstr(R"({"data":{"screen":"profile"},"name":"openScreen")")));

    ctx->profiles->save({{"fullName", "Ana"}});
    browserView.respond = [](const std::string&) -> FakeWebSurface::Answer { return {std::nullopt, "SyntaxError: x"}; };
    runAssist();
    EXPECT_EQ(chrome.title, "Assist Apply could not complete on this page.");
    EXPECT_EQ(dialogs.infos, std::vector<std::string>{"Velmora could not autofill this application page.\n\nSyntaxError: "
                                                      "x\n\nYou can still complete the form manually inside Velmora."});
    fs::remove(resources / "ui/assist-autofill.js");
    runAssist();
    EXPECT_THAT(dialogs.infos.back(), ::testing::HasSubstr("\n\nAssisted Auto Apply script is missing.\n\n"));
    EXPECT_TRUE(chrome.assistEnabled);
}

TEST_F(MainWindowControllerTest, ShellActionsAnswerThroughTheBridge) {
    BackgroundRunner background(1);
    std::vector<json> replies;
    Bridge bridge(ui, background, [&](const std::string& text) { replies.push_back(json::parse(text)); });
    registerActions(bridge, *ctx);
    auto call = [&](const std::string& action, const json& payload) {
        bridge.receive({{"action", action}, {"id", "1"}, {"payload", payload}});
        ui.drain();
        return replies.back();
    };
    EXPECT_EQ(call("reopenApplication", {{"url", "https://careers.example.com/1"}})["data"]["opened"], true);
    EXPECT_TRUE(chrome.layerVisible && applications().empty()); // reopening records nothing
    EXPECT_EQ(call("appPageChanged", json::object())["data"], json({{"ok", true}}));
    EXPECT_FALSE(chrome.layerVisible);
}

TEST_F(TemporaryResumeTest, TheCopyCarriesTheUsersFileNameAndGoesWithTheWindow) {
    ctx->profiles->save({{"fullName", "Ana Lima"}, {"resumePath", writeResume("Ana Lima Currículo.pdf").string()}});
    simulatePage({{"filled", {"name"}}, {"resumeTargetFound", true}}, true);
    runAssist();
    ASSERT_EQ(pageFiles.size(), 1u);
    const fs::path copy = pageFiles[0];
    EXPECT_EQ(copy.filename(), "Ana Lima Currículo.pdf");
    EXPECT_EQ(copy.parent_path().parent_path(), ctx->paths->tempDirectory());
    EXPECT_EQ(fileMode(copy.parent_path()), 0700u);
    EXPECT_EQ(fileMode(copy), 0600u);
    EXPECT_EQ(readFile(copy), "%PDF-1.4 test resume\n");
    // Quitting long before the one-minute clean-up leaves nothing in Temp.
    controller.reset();
    EXPECT_EQ(tempFiles(), 0u);
}

TEST(TemporaryResumeName, IsTheUsersNameMadeSafeAsOneFileName) {
    const std::pair<std::string, std::string> rows[] = {
        {"a/../b.pdf", "a_.._b.pdf"}, {"..hidden.md", "hidden.md"}, {"cv\nnew\u202Eline.txt", "cv_new_line.txt"},
        {"what?<>|\"*:.rtf", "what_.rtf"}, {"noext", "noext.pdf"}, {"...", "resume.pdf"},
        {"cv.abcdefghij", "cv.abcdefghij"}, {"cv.abcdefghijk", "cv.pdf"},
        {std::string(300, 'x') + ".pdf", std::string(100, 'x') + ".pdf"},
    };
    for (const auto& [stored, expected] : rows)
        EXPECT_EQ(ApplicationProfileService::temporaryResumeName(stored), expected) << stored;
}
