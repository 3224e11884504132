#include "BridgeTestBed.h"
#include "app/FollowUpReminder.h"
#include "app/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace velmora;
using velmora::testing::TempDir;

namespace {

class ApplicationActionsTest : public velmora::testing::BridgeTestBed {
protected:
    std::ostringstream alerts;
};

struct RecordingNotifier final : DesktopNotifier {
    std::vector<std::array<std::string, 3>> sent;
    void notify(const std::string& id, const std::string& title, const std::string& body) override {
        sent.push_back({id, title, body});
    }
};

// Parses a file with Python's csv module, the way a script or spreadsheet import would.
json readCsvWithPython(const std::filesystem::path& file) {
    const std::string command = "python3 -c 'import csv,json,sys; "
                                "print(json.dumps(list(csv.reader(open(sys.argv[1], newline=\"\", "
                                "encoding=\"utf-8-sig\")))))' '" +
                                file.string() + "'";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return json::parse(out, nullptr, false);
}

} // namespace

TEST_F(ApplicationActionsTest, TrackAnEntryFromAddingToDeleting) {
    json added = call("addApplication", {{"title", "Engineer"}, {"company", "Acme"}, {"url", "https://e.com/a"}});
    EXPECT_EQ(added["status"], "Saved");
    const int64_t id = added["id"];
    // The same link again (say, Save on the listing after a manual entry) is the one entry.
    EXPECT_EQ(call("addApplication", {{"title", "Other"}, {"url", "https://e.com/a"}, {"status", "Saved"}})["id"], id);

    // Ids arrive as text from some pages; a key not sent stays as it was.
    json reply = call("updateApplication", {{"id", std::to_string(id)}, {"status", "Applied"}, {"notes", "sent CV"}});
    EXPECT_EQ(reply["ok"], true);
    EXPECT_EQ(reply["application"]["followUpAt"], "2026-03-08");
    call("updateApplication", {{"id", id}, {"followUpAt", "2026-03-02"}});
    auto apps = call("getApplications");
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0]["status"], "Applied");
    EXPECT_EQ(apps[0]["notes"], "sent CV");

    clock->advance(std::chrono::hours(48));
    json dashboard = call("getDashboard");
    EXPECT_EQ(dashboard["applications"], 1);
    EXPECT_EQ(dashboard["applied"], 1);
    EXPECT_EQ(dashboard["followUpsDue"], 1);
    EXPECT_EQ(dashboard["followUps"][0]["id"], id);
    EXPECT_EQ(call("getInitialState")["dashboard"]["followUpsDue"], 1);

    const std::string unknown = "This application no longer exists. Reload the list and try again.";
    EXPECT_EQ(error("deleteApplication", {{"id", "nonsense"}}), unknown);
    EXPECT_EQ(error("updateApplication", {{"id", 9999}, {"notes", "x"}}), unknown);
    EXPECT_EQ(error("updateApplication", {{"id", id}, {"status", "Hired"}}), "Unknown application stage: Hired.");
    EXPECT_EQ(error("addApplication", {{"title", "X"}, {"url", "file:///etc/passwd"}}),
              "Enter the link of the listing as a web address (http or https).");
    EXPECT_EQ(call("deleteApplication", {{"id", id}}), (json{{"ok", true}}));
    EXPECT_EQ(call("getApplications"), json::array());
}

TEST_F(ApplicationActionsTest, CsvExportReadsBackCellForCell) {
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"Comma, \"quoted\" title", "line one\nline two\r\nthree"},
        {"=HYPERLINK(\"https://evil.example\",\"x\")", "+SUM(A1:A2)"},
        {"-2+3", "\rcarriage"},
        {"Инженер 数据 ✓", "\ttabbed"},
    };
    for (size_t i = 0; i < hostile.size(); ++i) {
        call("addApplication", {{"title", hostile[i].first},
                                {"company", "@Handle Co"},
                                {"url", "https://e.com/" + std::to_string(i)},
                                {"status", "Applied"},
                                {"notes", hostile[i].second}});
        clock->advance(std::chrono::seconds(1));
    }
    const auto file = dir / "out" / "tracker"; // the extension is added
    std::filesystem::create_directories(file.parent_path());
    ctx->dialogs = std::make_shared<ScriptedDialogs>(json{{"save", {file.string(), nullptr}}}, &alerts);

    json result = call("exportApplicationsCsv");
    EXPECT_EQ(result["saved"], true);
    EXPECT_EQ(result["path"], file.string() + ".csv");
    json rows = readCsvWithPython(file.string() + ".csv");
    ASSERT_TRUE(rows.is_array()) << "python could not read the file";
    ASSERT_EQ(rows.size(), hostile.size() + 1);
    EXPECT_EQ(rows[0][0], "Title");
    EXPECT_EQ(rows[0].size(), 10u);
    // Newest first, as the list shows them.
    for (size_t i = 0; i < hostile.size(); ++i) {
        const json& row = rows[hostile.size() - i];
        const auto& [title, notes] = hostile[i];
        const bool formulaTitle = std::string("=+-@\t\r").find(title[0]) != std::string::npos;
        const bool formulaNotes = std::string("=+-@\t\r").find(notes[0]) != std::string::npos;
        EXPECT_EQ(row[0], (formulaTitle ? "'" : "") + title);
        EXPECT_EQ(row[1], "'@Handle Co");
        EXPECT_EQ(row[2], "https://e.com/" + std::to_string(i));
        EXPECT_EQ(row[3], "Applied");
        EXPECT_EQ(row[4].get<std::string>().substr(0, 11), "2026-03-01T");
        EXPECT_EQ(row[5], "2026-03-08");
        EXPECT_EQ(row[9], (formulaNotes ? "'" : "") + notes);
    }

    // Cancelling writes nothing and says so.
    EXPECT_EQ(call("exportApplicationsCsv"), (json{{"saved", false}}));
}

TEST_F(ApplicationActionsTest, OneNotificationOnlyWhenFollowUpsAreDue) {
    RecordingNotifier notifier;
    call("addApplication", {{"title", "A"}, {"url", "https://e.com/a"}, {"status", "Applied"}});
    EXPECT_FALSE(remindOfDueFollowUps(*ctx->db, notifier));
    EXPECT_TRUE(notifier.sent.empty());

    call("addApplication", {{"title", "B"}, {"url", "https://e.com/b"}, {"status", "Interviewing"}});
    clock->advance(std::chrono::hours(24 * 8));
    EXPECT_TRUE(remindOfDueFollowUps(*ctx->db, notifier));
    ASSERT_EQ(notifier.sent.size(), 1u);
    EXPECT_EQ(notifier.sent[0][1], "Follow-ups due");
    EXPECT_EQ(notifier.sent[0][2], "2 applications are due for a follow-up.");

    ctx->db->setSetting("language", "de");
    remindOfDueFollowUps(*ctx->db, notifier);
    EXPECT_EQ(notifier.sent.back()[2], "Bei 2 Bewerbungen ist Nachfassen fällig.");
}
