#include "app/Actions.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "ControllerTestBed.h"
#include "app/MainWindowController.h"
#include "core/VelmoraError.h"
#include "core/IncomingJob.h"
#include "core/SecurityAssessment.h"
#include "support/FakeBrowserChrome.h"
#include "support/FakeDialogs.h"
#include "support/FakeWebSurface.h"
#include "support/ManualUiLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;
using namespace std::chrono_literals;

namespace {

constexpr const char* kTestScript = "({ profile: __VELMORA_PROFILE__, again: __VELMORA_PROFILE__ })";

class MainWindowControllerTest : public ControllerTestBed {
protected:
    int syncChecks = 0;

    MainWindowControllerTest() {
        writeUi({{"index.html", "<!doctype html><title>t</title>"}, {"assist-autofill.js", kTestScript}});
        controller = makeController({resources.path()});
    }

    std::shared_ptr<MainWindowController> makeController(std::vector<std::filesystem::path> roots) {
        MainWindowController::Options options;
        options.resourceRoots = std::move(roots);
        options.autoSyncIfDue = [this] { ++syncChecks; };
        auto made = create(std::move(options));
        ctx->window = made;
        return made;
    }

    json applications() const { return ctx->db->getApplications(); }

    void saveProfile(const json& fields) { ctx->profiles->save(fields); }

    std::filesystem::path writeResume() {
        auto file = data / "cv.pdf";
        writeFile(file, "%PDF-1.4 test resume\n");
        return file;
    }

    size_t tempFiles() const {
        size_t n = 0;
        std::error_code ec;
        for (auto it = std::filesystem::directory_iterator(ctx->paths->tempDirectory(), ec);
             !ec && it != std::filesystem::directory_iterator(); ++it)
            ++n;
        return n;
    }

    // The page under test: answers the autofill script with `result`, and plays a form
    // whose marked field takes whatever file the upload prompt hands over (when `hasField`).
    void simulatePage(const json& autofillResult, bool hasField) {
        browserView.respond = [this, autofillResult, hasField](const std::string& script) -> FakeWebSurface::Answer {
            if (script == uploadClickScript()) {
                if (!hasField) return {json(false), ""};
                if (auto file = controller->takePendingUpload(WebViewRole::Browser)) pageFiles.push_back(*file);
                return {json(true), ""};
            }
            if (script == uploadCheckScript()) return {json(!pageFiles.empty()), ""};
            lastAutofillScript = script;
            return {autofillResult, ""};
        };
    }
    std::vector<std::filesystem::path> pageFiles;
    std::string lastAutofillScript;

    void runAssist() {
        bool finished = false;
        controller->assistApplyAsync([&] { finished = true; });
        ui.advance(1s); // script answers and the 0.7 s upload wait
        ASSERT_TRUE(finished);
    }
};

TEST_F(MainWindowControllerTest, StartsHiddenWithTheSavedLanguageAndLoadsThePage) {
    ctx->db->setSetting("language", "it");
    auto italian = makeController({resources.path()});
    EXPECT_FALSE(chrome.layerVisible);
    EXPECT_EQ(chrome.leading, 246.0);
    EXPECT_EQ(chrome.assist, "✦ Assistenza candidatura");
    EXPECT_EQ(chrome.title, "Browser candidatura");
    EXPECT_EQ(chrome.security, "Browser sicuro");

    ASSERT_TRUE(italian->loadUI());
    EXPECT_EQ(appView.loadedFile.filename(), "index.html");
    EXPECT_EQ(appView.readAccess, appView.loadedFile.parent_path());
    ASSERT_TRUE(italian->uiRoot());
    EXPECT_EQ(*italian->uiRoot(), appView.readAccess);
}

TEST_F(MainWindowControllerTest, LaterResourceRootsAreSearchedAndAMissingPageClosesTheWindow) {
    TempDir empty;
    auto second = makeController({empty.path(), resources.path()});
    EXPECT_TRUE(second->loadUI());
    EXPECT_FALSE(chrome.closed);

    auto none = makeController({empty.path()});
    EXPECT_FALSE(none->loadUI());
    EXPECT_EQ(dialogs.infos, std::vector<std::string>{"Embedded Velmora interface is missing."});
    EXPECT_TRUE(chrome.closed);
}

TEST_F(MainWindowControllerTest, SyncTimerFirstLooksAfterFiveMinutesAndStopsWithTheController) {
    controller->setupTimers();
    ui.advance(299s);
    EXPECT_EQ(syncChecks, 0);
    ui.advance(1s);
    EXPECT_EQ(syncChecks, 1);
    ui.advance(600s);
    EXPECT_EQ(syncChecks, 3);
    controller.reset();
    ctx->window.reset();
    ui.advance(900s);
    EXPECT_EQ(syncChecks, 3);
}

TEST_F(MainWindowControllerTest, OpenJobRefusesBlockedLinksSilently) {
    auto result = controller->openJob({{"url", "mailto:jobs@example.com"}, {"force", true}});
    EXPECT_FALSE(result["opened"]);
    EXPECT_FALSE(result["requiresConfirmation"]);
    EXPECT_EQ(result["security"]["label"], "Blocked");
    EXPECT_TRUE(applications().empty());
    EXPECT_TRUE(dialogs.infos.empty());
    EXPECT_TRUE(browserView.loads.empty());
}

TEST_F(MainWindowControllerTest, OpenJobAsksBeforeRiskyLinksAndOpensThemWhenForced) {
    const std::string risky = "https://user:pw@careers.example.com/apply"; // 65 - 25 = 40
    auto asked = controller->openJob({{"url", risky}});
    EXPECT_FALSE(asked["opened"]);
    EXPECT_TRUE(asked["requiresConfirmation"]);
    EXPECT_EQ(asked["security"]["score"], 40);
    EXPECT_TRUE(applications().empty());
    EXPECT_FALSE(chrome.layerVisible);

    auto forced = controller->openJob({{"url", risky}, {"force", true}, {"title", "Engineer"}, {"company", "Acme"}});
    EXPECT_TRUE(forced["opened"]);
    EXPECT_FALSE(forced["requiresConfirmation"]);
    ASSERT_EQ(applications().size(), 1u);
    EXPECT_EQ(applications()[0]["title"], "Engineer");
    EXPECT_EQ(applications()[0]["company"], "Acme");
    EXPECT_EQ(browserView.loads, std::vector<std::string>{risky});
    EXPECT_TRUE(chrome.layerVisible);
    EXPECT_TRUE(chrome.assistVisible);
    EXPECT_EQ(controller->externalMode(), "application");
    EXPECT_EQ(chrome.title, "Application browser");
    EXPECT_EQ(chrome.security, "High Risk · 40/100");
    EXPECT_TRUE(appView.bodyClasses.count("browser-docked"));
}

TEST_F(MainWindowControllerTest, OpenJobRecordsOneApplicationPerAddressAndKeepsTheJobLink) {
    IncomingJob job;
    job.source = "Remotive";
    job.title = "Data Engineer";
    job.url = "https://remotive.com/jobs/42";
    int64_t jobId = ctx->db->upsertJob(job, ctx->security->assess(job.url, job.source));
    ASSERT_GT(jobId, 0);

    controller->openJob({{"url", job.url}, {"id", jobId}, {"title", "Data Engineer"}});
    controller->openJob({{"url", job.url}, {"id", std::to_string(jobId)}, {"title", "Data Engineer"}});
    controller->openJob({{"url", "https://careers.example.com/7"}});
    auto rows = applications();
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows) {
        if (row["url"] == job.url) {
            EXPECT_EQ(row["jobId"], jobId);
        } else {
            EXPECT_TRUE(row["jobId"].is_null()); // no id key: no job link
            EXPECT_EQ(row["title"], "Job application");
        }
    }
}

TEST_F(MainWindowControllerTest, OpenJobFailsWithTheDatabaseErrorAndOpensNothing) {
    ctx->sqlite->execute("DROP TABLE applications;");
    EXPECT_ANY_THROW(controller->openJob({{"url", "https://remotive.com/jobs/1"}}));
    EXPECT_TRUE(browserView.loads.empty());
    EXPECT_FALSE(chrome.layerVisible);
}

TEST_F(MainWindowControllerTest, NavigationDecisionsCarryOutTheirSideEffects) {
    controller->loadUI();
    auto own = "file://" + (*controller->uiRoot() / "index.html").string();
    EXPECT_TRUE(controller->decidePolicy(WebViewRole::Interface, own));
    EXPECT_FALSE(controller->decidePolicy(WebViewRole::Interface, "file:///etc/passwd"));
    EXPECT_FALSE(controller->decidePolicy(WebViewRole::Interface, "mailto:a@b.c"));
    EXPECT_TRUE(dialogs.infos.empty());
    EXPECT_TRUE(browserView.loads.empty());

    // A web link in the page opens in the browser as a website, without Assist Apply.
    EXPECT_FALSE(controller->decidePolicy(WebViewRole::Interface, "https://example.org/blog"));
    EXPECT_EQ(browserView.loads, std::vector<std::string>{"https://example.org/blog"});
    EXPECT_EQ(controller->externalMode(), "website");
    EXPECT_FALSE(chrome.assistVisible);
    EXPECT_EQ(chrome.title, "Web browser");

    // Inside the browser: web pages update the badge, a clicked tel: link is refused with a notice.
    EXPECT_TRUE(controller->decidePolicy(WebViewRole::Browser, "https://remoteok.com/x"));
    EXPECT_EQ(chrome.security, "Quorvane Checked · 85/100");
    EXPECT_TRUE(controller->decidePolicy(WebViewRole::Browser, "about:blank"));
    EXPECT_FALSE(controller->decidePolicy(WebViewRole::Browser, "tel:+123", true));
    EXPECT_EQ(chrome.title, "Velmora blocked a non-web link from this page for safety.");
    EXPECT_EQ(browserView.loads.size(), 1u);
}

TEST_F(MainWindowControllerTest, NewWindowsNeverMultiply) {
    controller->newWindowRequested(WebViewRole::Interface, "https://example.org/a");
    EXPECT_EQ(controller->externalMode(), "website");
    EXPECT_TRUE(chrome.layerVisible);
    controller->navigateExternal("https://careers.example.com/job", true);
    for (int i = 0; i < 300; ++i) controller->newWindowRequested(WebViewRole::Browser, "https://popup.example.com/");
    controller->newWindowRequested(WebViewRole::Browser, "");
    EXPECT_EQ(browserView.loads.size(), 2u + 300u);
    EXPECT_EQ(browserView.loads.back(), "https://popup.example.com/");
    EXPECT_EQ(controller->externalMode(), "application"); // a popup does not change the mode
    EXPECT_TRUE(dialogs.infos.empty());
}

TEST_F(MainWindowControllerTest, NonWebAddressesNeverReachTheBrowser) {
    for (const char* url : {"file:///etc/passwd", "data:text/html,x", "javascript:alert(1)", "velmora:x", ""})
        EXPECT_FALSE(controller->navigateExternal(url, true)) << url;
    EXPECT_EQ(dialogs.infos.size(), 5u);
    EXPECT_TRUE(browserView.loads.empty());
    EXPECT_FALSE(chrome.layerVisible);
}

TEST_F(MainWindowControllerTest, HidingTheBrowserRestoresThePageAndRelabelsTheToolbar) {
    controller->navigateExternal("https://example.org", false);
    ctx->db->setSetting("language", "es");
    controller->hideExternalBrowser();
    EXPECT_FALSE(chrome.layerVisible);
    EXPECT_FALSE(appView.bodyClasses.count("browser-docked"));
    EXPECT_EQ(chrome.focusRequests, 1);
    EXPECT_EQ(chrome.reload, "↻ Recargar");
    EXPECT_EQ(chrome.title, "Navegador de solicitudes");
    EXPECT_EQ(chrome.security, "Navegador seguro");

    // While visible, a language change follows the mode and the page instead of the defaults.
    controller->navigateExternal("https://example.org", false);
    EXPECT_EQ(chrome.address, "https://example.org/"); // the canonical form the browser loads
    browserView.setCurrentUrl("https://weworkremotely.com/jobs/1");
    ctx->db->setSetting("language", "de");
    controller->applyNativeLanguage();
    EXPECT_EQ(chrome.title, "Webbrowser");
    EXPECT_EQ(chrome.security, "Quorvane Checked · 85/100");
    browserView.setCurrentUrl("about:blank");
    controller->navigationFinished(WebViewRole::Browser);
    EXPECT_EQ(chrome.security, "Secure browser");
    EXPECT_EQ(chrome.address, "about:blank"); // where the page really is, after any redirect
}

TEST_F(MainWindowControllerTest, UploadPromptUsesThePendingResumeOnlyOnceAndOnlyInTheBrowser) {
    simulatePage(json::object(), true);
    bool attached = false;
    controller->tryUploadResume("/tmp/r.pdf", [&](bool ok) { attached = ok; });
    ui.advance(1s);
    EXPECT_TRUE(attached);
    EXPECT_EQ(pageFiles, std::vector<std::filesystem::path>{"/tmp/r.pdf"});
    EXPECT_FALSE(controller->pendingAutoResumeURL());
    EXPECT_TRUE(controller->tempResumeURLs().count("/tmp/r.pdf"));
    EXPECT_FALSE(controller->takePendingUpload(WebViewRole::Browser));

    // Without a marked field, or when the page's script fails, nothing stays pending.
    simulatePage(json::object(), false);
    attached = true;
    controller->tryUploadResume("/tmp/r2.pdf", [&](bool ok) { attached = ok; });
    ui.advance(1s);
    EXPECT_FALSE(attached);
    EXPECT_FALSE(controller->pendingAutoResumeURL());
    EXPECT_FALSE(controller->takePendingUpload(WebViewRole::Interface));

    browserView.respond = [](const std::string&) -> FakeWebSurface::Answer { return {std::nullopt, "TypeError"}; };
    attached = true;
    controller->tryUploadResume("/tmp/r3.pdf", [&](bool ok) { attached = ok; });
    ui.advance(1s);
    EXPECT_FALSE(attached);
    EXPECT_FALSE(controller->pendingAutoResumeURL());
}

TEST_F(MainWindowControllerTest, AssistWithAnEmptyProfileOffersTheWayToTheProfile) {
    controller->navigateExternal("https://example.org/apply", true);
    runAssist(); // "Not now": the page stays, nothing runs
    ASSERT_EQ(dialogs.choices.size(), 1u);
    EXPECT_EQ(dialogs.choices[0], "Your Application Profile is empty\nComplete your Application Profile first, then "
                                  "reopen the job and click Assist Apply.\nOpen Application Profile | Not now");
    EXPECT_TRUE(chrome.assistEnabled);
    EXPECT_TRUE(chrome.layerVisible);
    EXPECT_TRUE(browserView.scripts.empty());

    dialogs.choiceAnswers.push_back(true);
    runAssist();
    EXPECT_FALSE(chrome.layerVisible);
    ASSERT_FALSE(appView.scripts.empty());
    EXPECT_NE(appView.scripts.back().find(R"("name":"openScreen")"), std::string::npos);
    EXPECT_NE(appView.scripts.back().find(R"("screen":"profile")"), std::string::npos);
    EXPECT_TRUE(browserView.scripts.empty());
}

TEST_F(MainWindowControllerTest, AssistWithOnlyAnEmailRunsAndSubstitutesTheProfile) {
    saveProfile({{"email", "ana@example.com"}, {"requireSponsorship", false}});
    simulatePage({{"filled", {"email", "name", "phone"}}, {"resumeTargetFound", false}}, true);
    runAssist();
    EXPECT_TRUE(dialogs.infos.empty());
    EXPECT_EQ(chrome.title, "Assist complete: 3 fields · review before submitting");
    EXPECT_TRUE(chrome.assistEnabled);
    EXPECT_EQ(tempFiles(), 0u);
    // Both placeholders carry the same compact profile JSON, flags as booleans.
    auto start = lastAutofillScript.find("profile: ") + 9;
    auto end = lastAutofillScript.find(", again: ");
    json profile = json::parse(lastAutofillScript.substr(start, end - start));
    EXPECT_EQ(profile["email"], "ana@example.com");
    EXPECT_EQ(profile["requireSponsorship"], false);
    EXPECT_FALSE(profile.contains("willingToRelocate"));
    EXPECT_EQ(lastAutofillScript.find("__VELMORA_PROFILE__"), std::string::npos);
}

TEST_F(MainWindowControllerTest, AssistAttachesTheStoredResumeAndCleansItUpAMinuteLater) {
    saveProfile({{"fullName", "Ana Lima"}, {"resumePath", writeResume().string()}});
    ctx->db->setSetting("language", "fr");
    simulatePage({{"filled", json::array({1, 2})}, {"resumeTargetFound", true}}, true);
    runAssist();
    EXPECT_EQ(chrome.title, "Aide terminée : 2 champs · CV joint · vérifiez avant l’envoi");
    ASSERT_EQ(pageFiles.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(pageFiles[0]));
    EXPECT_EQ(tempFiles(), 1u);
    EXPECT_EQ(controller->tempResumeURLs().size(), 1u);

    ui.advance(58s);
    EXPECT_TRUE(std::filesystem::exists(pageFiles[0])); // the page may still be reading it
    ui.advance(2s);
    EXPECT_FALSE(std::filesystem::exists(pageFiles[0]));
    EXPECT_TRUE(controller->tempResumeURLs().empty());
}

TEST_F(MainWindowControllerTest, AssistWithoutAMarkedFieldOrStoredResumeSaysNothingAttached) {
    saveProfile({{"phone", "+1 555"}});
    simulatePage({{"filled", "not an array"}, {"resumeTargetFound", true}}, true);
    runAssist(); // target found but no stored resume: no file at all
    EXPECT_EQ(chrome.title, "Assist complete: 0 fields · review before submitting");
    EXPECT_TRUE(pageFiles.empty());

    saveProfile({{"phone", "+1 555"}, {"resumePath", writeResume().string()}});
    simulatePage({{"filled", {"a"}}, {"resumeTargetFound", true}}, false);
    runAssist(); // a file was made but the page had no field to take it
    EXPECT_EQ(chrome.title, "Assist complete: 1 fields · review before submitting");
    EXPECT_EQ(tempFiles(), 1u);
    ui.advance(60s);
    EXPECT_EQ(tempFiles(), 0u);

    simulatePage(json("a string result"), true);
    runAssist();
    EXPECT_EQ(chrome.title, "Assist complete: 0 fields · review before submitting");
}

TEST_F(MainWindowControllerTest, AssistFailuresTellTheUserAndReenableTheButton) {
    saveProfile({{"fullName", "Ana"}});
    browserView.respond = [](const std::string&) -> FakeWebSurface::Answer {
        return {std::nullopt, "SyntaxError: Unexpected token"};
    };
    runAssist();
    EXPECT_EQ(chrome.title, "Assist Apply could not complete on this page.");
    ASSERT_EQ(dialogs.infos.size(), 1u);
    EXPECT_EQ(dialogs.infos[0], "Velmora could not autofill this application page.\n\nSyntaxError: Unexpected "
                                "token\n\nYou can still complete the form manually inside Velmora.");
    EXPECT_TRUE(chrome.assistEnabled);

    std::filesystem::remove(resources / "ui/assist-autofill.js");
    runAssist();
    EXPECT_NE(dialogs.infos.back().find("\n\nAssisted Auto Apply script is missing.\n\n"), std::string::npos);
    EXPECT_TRUE(chrome.assistEnabled);
}

TEST_F(MainWindowControllerTest, ShellActionsAnswerThroughTheBridge) {
    BackgroundRunner background(1);
    std::vector<json> replies;
    Bridge bridge(ui, background, [&](const std::string& text) { replies.push_back(json::parse(text)); });
    registerActions(bridge, *ctx);
    auto call = [&](const std::string& action, const json& payload) {
        replies.clear();
        bridge.receive({{"action", action}, {"id", "1"}, {"payload", payload}});
        ui.drain();
        EXPECT_EQ(replies.size(), 1u) << action;
        return replies.empty() ? json() : replies[0];
    };

    auto state = call("getInitialState", json::object());
    EXPECT_EQ(state["data"]["version"], "0.2.2");
    EXPECT_EQ(state["data"]["databasePath"], ctx->paths->database().string());
    EXPECT_EQ(state["data"]["settings"]["language"], "en");
    EXPECT_TRUE(state["data"]["dashboard"].contains("totalJobs"));

    EXPECT_EQ(call("openWebsite", {{"url", "https://example.org"}})["data"], json({{"opened", true}}));
    EXPECT_EQ(controller->externalMode(), "website");
    EXPECT_EQ(call("appPageChanged", json::object())["data"], json({{"ok", true}}));
    EXPECT_FALSE(chrome.layerVisible);
    EXPECT_EQ(call("reopenApplication", {{"url", "https://careers.example.com/1"}})["data"]["opened"], true);
    EXPECT_EQ(controller->externalMode(), "application");
    EXPECT_TRUE(applications().empty()); // reopening records nothing
    EXPECT_EQ(call("reopenApplication", {{"url", "tel:123"}})["data"]["opened"], false);
    EXPECT_EQ(call("openJob", {{"url", "https://remotive.com/jobs/9"}})["data"]["opened"], true);

    controller.reset();
    auto gone = call("openJob", {{"url", "https://remotive.com/jobs/9"}});
    EXPECT_FALSE(gone["ok"]);
}

} // namespace
