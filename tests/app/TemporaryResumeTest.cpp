// The plain-text resume copy Assist Apply hands to an employer's upload field: named like the
// user's own file, offered to one upload only, and gone when the window closes.

#include "ControllerTestBed.h"
#include "app/MainWindowController.h"
#include "support/FakeBrowserChrome.h"
#include "support/FakeDialogs.h"
#include "support/FakeWebSurface.h"
#include "support/ManualUiLoop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class TemporaryResumeTest : public ControllerTestBed {
protected:
    std::vector<fs::path> pageFiles;

    TemporaryResumeTest() {
        writeUi({{"assist-autofill.js", "({})"}});
        controller = create();
    }

    // A form with a marked upload field; `raisesPrompt` says whether clicking it opens the
    // upload prompt (which takes the armed file).
    void simulateForm(bool raisesPrompt) {
        browserView.respond = [this, raisesPrompt](const std::string& script) -> FakeWebSurface::Answer {
            if (script == uploadClickScript()) {
                if (raisesPrompt)
                    if (auto file = controller->takePendingUpload(WebViewRole::Browser)) pageFiles.push_back(*file);
                return {json(true), ""};
            }
            if (script == uploadCheckScript()) return {json(!pageFiles.empty()), ""};
            return {json{{"filled", json::array({"name"})}, {"resumeTargetFound", true}}, ""};
        };
    }
};

} // namespace

TEST_F(TemporaryResumeTest, TheCopyCarriesTheUsersFileNameAndGoesWithTheWindow) {
    writeFile(data / "Ana Lima CV.pdf", "%PDF-1.4 resume\n");
    ctx->profiles->save({{"fullName", "Ana Lima"}, {"resumePath", (data / "Ana Lima CV.pdf").string()}});
    simulateForm(true);
    bool finished = false;
    controller->assistApplyAsync([&] { finished = true; });
    ui.advance(1s);
    ASSERT_TRUE(finished);
    ASSERT_EQ(pageFiles.size(), 1u);
    const fs::path copy = pageFiles[0];
    EXPECT_EQ(copy.filename(), "Ana Lima CV.pdf");
    EXPECT_EQ(copy.parent_path().parent_path(), ctx->paths->tempDirectory());
    EXPECT_EQ(velmora::testing::fileMode(copy.parent_path()), 0700u);
    EXPECT_EQ(velmora::testing::fileMode(copy), 0600u);
    EXPECT_EQ(readFile(copy), "%PDF-1.4 resume\n");

    // Quitting long before the one-minute clean-up leaves nothing in Temp.
    controller.reset();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_TRUE(fs::is_empty(ctx->paths->tempDirectory()));
}

TEST_F(TemporaryResumeTest, AnUploadPromptThatNeverCameDisarmsWhenTheCheckCompletes) {
    simulateForm(false);
    bool attached = true;
    controller->tryUploadResume(data / "r.pdf", [&](bool ok) { attached = ok; });
    ui.advance(1s);
    EXPECT_FALSE(attached);
    // The next upload prompt, on whatever site, opens the user's own dialog instead.
    EXPECT_FALSE(controller->pendingAutoResumeURL());
    EXPECT_FALSE(controller->takePendingUpload(WebViewRole::Browser));
}

TEST(TemporaryResumeName, IsTheUsersNameMadeSafeAsOneFileName) {
    const std::pair<std::string, std::string> rows[] = {
        {"Ana Lima CV.pdf", "Ana Lima CV.pdf"},
        {"Currículo Ana.docx", "Currículo Ana.docx"},
        {"a/../b.pdf", "a_.._b.pdf"},
        {"..hidden.md", "hidden.md"},
        {"cv\nnew\u202Eline.txt", "cv_new_line.txt"},
        {"what?<>|\"*:.rtf", "what_.rtf"},
        {"noext", "noext.pdf"},
        {"", "resume.pdf"},
        {"...", "resume.pdf"},
        {"cv.averylongextension", "cv.pdf"},
        {"cv.abcdefghijk", "cv.pdf"},
        {std::string(300, 'x') + ".pdf", std::string(100, 'x') + ".pdf"},
    };
    for (const auto& [stored, expected] : rows)
        EXPECT_EQ(ApplicationProfileService::temporaryResumeName(stored), expected) << stored;
}
