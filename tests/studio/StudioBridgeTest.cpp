// The eight Resume Studio actions through the real velmora-bridge program, one request per line.

#include "StudioTestEnv.h"

#include <cstdlib>
#include <fstream>
#include <map>

using namespace velmora;
using velmora::testing::ModelFixtureServer;
using velmora::testing::TempDir;

namespace {

struct Reply {
    bool ok = false;
    json data;
    std::string error;
};

// Runs one session of the bridge over `dataDir` and returns the replies by request id.
std::map<std::string, Reply> runBridge(const std::filesystem::path& dataDir, const std::vector<json>& requests) {
    if (!std::filesystem::exists(VELMORA_BRIDGE_BIN)) ADD_FAILURE() << "build velmora-bridge first: " << VELMORA_BRIDGE_BIN;
    auto in = dataDir.parent_path() / "requests.jsonl";
    auto out = dataDir.parent_path() / "replies.jsonl";
    {
        std::ofstream file(in);
        for (const json& r : requests) file << r.dump() << "\n";
    }
    std::string command = std::string("'") + VELMORA_BRIDGE_BIN + "' --data-dir '" + dataDir.string() + "' < '" +
                          in.string() + "' > '" + out.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::map<std::string, Reply> replies;
    std::ifstream file(out);
    for (std::string line; std::getline(file, line);) {
        json envelope = json::parse(line, nullptr, false);
        if (!envelope.is_object() || envelope.value("type", "") != "response") continue;
        Reply reply;
        reply.ok = envelope.value("ok", false);
        reply.data = envelope.value("data", json());
        if (envelope.contains("error") && envelope["error"].is_string()) reply.error = envelope["error"];
        replies[envelope.value("id", "")] = reply;
    }
    return replies;
}

json request(const std::string& id, const std::string& action, json payload = json::object()) {
    return json{{"id", id}, {"action", action}, {"payload", std::move(payload)}};
}

// Prepares the data folder as a previous run would have left it: settings and a saved profile.
void prepare(const std::filesystem::path& dataDir, const std::string& modelUrl, const json& profile) {
    auto paths = std::make_shared<AppPaths>(dataDir);
    auto sqlite = std::make_shared<SQLiteDatabase>(paths->database().string());
    auto db = std::make_shared<DatabaseService>(sqlite);
    db->initialize();
    db->setSetting("ollamaUrl", modelUrl);
    auto store = std::make_shared<SecureStoreService>(paths->secureStoreDirectory());
    if (!profile.empty()) ApplicationProfileService(db, store, paths).save(profile);
}

const json kProfile = {{"fullName", "Jane Doe"},
                       {"email", "jane@example.com"},
                       {"currentTitle", "Data Engineer"},
                       {"skills", "Python, SQL"},
                       {"employmentHistory", "Acme — Data Engineer (2019–2024)"}};

} // namespace

TEST(StudioBridge, LibraryRoundTripWithoutTheModel) {
    TempDir dir;
    auto data = dir / "data";
    prepare(data, velmora::testing::kNoModel, kProfile);

    auto first = runBridge(data, {request("b", "buildResumeStudio",
                                          {{"targetRole", "Analytics Engineer"}, {"pageCount", 3}, {"style", "Compact"}})});
    ASSERT_TRUE(first["b"].ok) << first["b"].error;
    json built = first["b"].data;
    EXPECT_EQ(built.size(), 24u);
    EXPECT_EQ(built["pageCount"], 1);
    EXPECT_EQ(built["template"], "compact");
    EXPECT_EQ(built["name"], "Analytics Engineer Resume");
    EXPECT_EQ(built["skills"], "Python, SQL");
    int64_t id = built["id"];
    ASSERT_GT(id, 0);

    json edited = built;
    edited["name"] = "Edited";
    edited["jobDescription"] = "python sql dbt";
    json missingKey = built;
    missingKey.erase("projects");
    json wrongType = built;
    wrongType["atsScore"] = "high";
    json huge = edited;
    huge["experience"] = std::string(ResumeDocument::kMaxTextBytes + 1, 'x');
    auto second = runBridge(
        data, {request("save", "saveResumeStudio", edited), request("bad1", "saveResumeStudio", missingKey),
               request("bad2", "saveResumeStudio", wrongType), request("bad3", "saveResumeStudio", huge),
               request("rw", "rewriteResumeSection", {{"resume", built}, {"section", "skills"}}),
               request("rw-bad", "rewriteResumeSection", {{"section", "skills"}}),
               request("rw-bad2", "generateCoverLetter", {{"resume", "text"}}),
               request("bullet", "improveResumeBullet", {{"bullet", "- Built dashboards"}}),
               request("bullet-empty", "improveResumeBullet", json::object()),
               request("letter", "generateCoverLetter", {{"resume", built}, {"company", "Globex"}})});
    ASSERT_TRUE(second["save"].ok) << second["save"].error;
    EXPECT_EQ(second["save"].data["id"], id);
    EXPECT_EQ(second["save"].data["name"], "Edited");
    EXPECT_EQ(second["save"].data["matchedKeywords"], json::array({"python", "sql"}));
    EXPECT_EQ(second["bad1"].error, "Resume data is invalid: the key \"projects\" is missing.");
    EXPECT_EQ(second["bad2"].error, "Resume data is invalid: \"atsScore\" must be a whole number.");
    EXPECT_EQ(second["bad3"].error, "Resume data is invalid: \"experience\" is too long.");
    EXPECT_EQ(second["rw"].data, (json{{"text", "Python, SQL"},
                                      {"notice", "AI assistance was unavailable; the section was left unchanged."}}));
    EXPECT_EQ(second["rw-bad"].error, "Resume payload is invalid.");
    EXPECT_EQ(second["rw-bad2"].error, "Resume payload is invalid.");
    EXPECT_EQ(second["bullet"].data, (json{{"bullet", "Built dashboards"}, {"mode", "offline"}}));
    EXPECT_EQ(second["bullet-empty"].error, "Enter a bullet to improve.");
    EXPECT_EQ(second["letter"].data["mode"], "offline");
    EXPECT_NE(second["letter"].data["text"].get<std::string>().find("Analytics Engineer opportunity with Globex."),
              std::string::npos);

    auto third = runBridge(data, {request("dup", "duplicateResumeStudio", {{"id", std::to_string(id)}}),
                                  request("dup-missing", "duplicateResumeStudio", {{"id", 9999}}),
                                  request("del-missing", "deleteResumeStudio", {{"id", 9999}})});
    EXPECT_EQ(third["dup"].data["name"], "Edited Copy");
    EXPECT_EQ(third["dup-missing"].error, "Resume was not found.");
    EXPECT_EQ(third["del-missing"].error, "Resume was not found.");

    auto fourth = runBridge(data, {request("del", "deleteResumeStudio", {{"id", id}})});
    EXPECT_EQ(fourth["del"].data, (json{{"ok", true}}));
    auto fifth = runBridge(data, {request("list", "listResumeStudio"), request("status", "getResumeStudioStatus")});
    EXPECT_EQ(fifth["status"].data["unreadableCount"], 0);
    ASSERT_EQ(fifth["list"].data.size(), 1u);
    EXPECT_EQ(fifth["list"].data[0]["name"], "Edited Copy");
    EXPECT_EQ(fifth["list"].data[0]["resume"]["name"], "Edited Copy");
}

TEST(StudioBridge, ModelAnswersAndRequestReading) {
    TempDir dir;
    auto data = dir / "data";
    ModelFixtureServer model;
    model.setDefault(ModelFixtureServer::answer("Model text."));
    prepare(data, model.base(), kProfile);
    auto upload = dir / "upload.txt";
    velmora::testing::writeFile(upload, "Sam Park\nSUMMARY\nAnalyst focused on customer retention work.");

    auto replies = runBridge(
        data, {// A text value for useApplicationProfile means "no profile": too few facts then.
               request("no-profile", "buildResumeStudio", {{"targetRole", "Analyst"}, {"useApplicationProfile", "yes"}}),
               request("missing-file", "buildResumeStudio",
                       {{"targetRole", "Analyst"}, {"sourceResumePath", (dir / "gone.pdf").string()}}),
               request("upload", "buildResumeStudio",
                       {{"targetRole", "Analyst"}, {"pageCount", 2}, {"useApplicationProfile", 0},
                        {"sourceResumePath", upload.string()}, {"language", " ES "}})});
    EXPECT_EQ(replies["no-profile"].error,
              "Add information to your Application Profile or upload an existing resume before building a resume.");
    EXPECT_EQ(replies["missing-file"].error, "Resume file was not found.");
    ASSERT_TRUE(replies["upload"].ok) << replies["upload"].error;
    json built = replies["upload"].data;
    EXPECT_EQ(built["pageCount"], 2);
    EXPECT_EQ(built["language"], "es");
    // Too short against the grounded summary; usable where there is no grounded text.
    EXPECT_EQ(built["summary"], "Analyst focused on customer retention work.");
    // Skills the sources do not name are refused, whatever the model says.
    EXPECT_EQ(built["skills"], "");
    EXPECT_EQ(built["contact"], "Sam Park");
    EXPECT_EQ(built["sourceFacts"].get<std::string>().find("Jane"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(data / "Temp"));

    auto more = runBridge(data, {request("rw", "rewriteResumeSection", {{"resume", built}, {"section", "summary"}}),
                                 request("letter", "generateCoverLetter", {{"resume", built}}),
                                 request("bullet", "improveResumeBullet", {{"bullet", "Did a thing"}})});
    EXPECT_EQ(more["rw"].data,
              (json{{"text", "Model text."}, {"notice", "Rewritten with fact-preserving AI assistance."}}));
    EXPECT_EQ(more["letter"].data, (json{{"text", "Model text."}, {"mode", "private_ai"}}));
    EXPECT_EQ(more["bullet"].data, (json{{"bullet", "Model text."}, {"mode", "private_ai"}}));
}
