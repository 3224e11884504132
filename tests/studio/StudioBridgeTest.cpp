// The eight Resume Studio actions through the real velmora-bridge program, one request per line.
#include "StudioTestEnv.h"

#include <cstdlib>
#include <fstream>

using namespace velmora;
using namespace velmora::testing;

namespace {

// Runs one session of the bridge over `dataDir`; the reply envelopes by request id. The
// requests of one session run side by side, so a request that needs another's result waits
// for the next session.
json runBridge(const std::filesystem::path& dataDir, const std::vector<json>& requests) {
    auto in = dataDir.parent_path() / "requests.jsonl";
    auto out = dataDir.parent_path() / "replies.jsonl";
    {
        std::ofstream file(in);
        for (const json& r : requests) file << r.dump() << "\n";
    }
    std::string command = std::string("timeout 120 '") + VELMORA_BRIDGE_BIN + "' --data-dir '" + dataDir.string() + "' < '" +
                          in.string() + "' > '" + out.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << "build velmora-bridge first";
    json replies = json::object();
    std::ifstream file(out);
    for (std::string line; std::getline(file, line);) {
        json envelope = json::parse(line, nullptr, false);
        if (envelope.is_object() && envelope.value("type", "") == "response") replies[envelope.value("id", "")] = envelope;
    }
    return replies;
}

json request(const std::string& id, const std::string& action, json payload = json::object()) {
    return json{{"id", id}, {"action", action}, {"payload", std::move(payload)}};
}

// The data folder as a previous run would have left it: settings and a saved profile.
void prepare(const std::filesystem::path& dataDir, const std::string& modelUrl) {
    StudioEnv env(dataDir);
    env.useModel(modelUrl);
    env.profiles->save(json{{"fullName", "Jane Doe"},
                            {"email", "jane@example.com"},
                            {"currentTitle", "Data Engineer"},
                            {"skills", "Python, SQL"},
                            {"employmentHistory", "Acme — Data Engineer (2019–2024)"}});
}

} // namespace

TEST(StudioBridge, LibraryRoundTripWithoutTheModel) {
    TempDir dir;
    auto data = dir / "data";
    prepare(data, kNoModel);
    json first = runBridge(data, {request("b", "buildResumeStudio",
                                          {{"targetRole", "Analytics Engineer"}, {"pageCount", 3}, {"style", "Compact"}})});
    json built = first["b"]["data"];
    ASSERT_TRUE(built.is_object()) << first.dump();
    EXPECT_EQ(built.size(), 24u);
    EXPECT_EQ(json({built["pageCount"], built["template"], built["name"], built["skills"]}),
              json({1, "compact", "Analytics Engineer Resume", "Python, SQL"}));
    const int64_t id = built["id"];

    json edited = built;
    edited.update({{"name", "Edited"}, {"jobDescription", "python sql dbt"}});
    json missingKey = built;
    missingKey.erase("projects");
    // The decoder's other refusals are rows of its own test.
    const std::vector<std::pair<json, std::string>> refused = {
        {request("", "saveResumeStudio", missingKey), "Resume data is invalid: the key \"projects\" is missing."},
        {request("", "rewriteResumeSection", {{"section", "skills"}}), "Resume payload is invalid."},
        {request("", "generateCoverLetter", {{"resume", "text"}}), "Resume payload is invalid."},
        {request("", "improveResumeBullet"), "Enter a bullet to improve."},
        {request("", "duplicateResumeStudio", {{"id", 9999}}), "Resume was not found."},
        {request("", "deleteResumeStudio", {{"id", 9999}}), "Resume was not found."},
    };
    std::vector<json> requests = {
        request("save", "saveResumeStudio", edited),
        request("rw", "rewriteResumeSection", {{"resume", built}, {"section", "skills"}}),
        request("bullet", "improveResumeBullet", {{"bullet", "- Built dashboards"}}),
        request("letter", "generateCoverLetter", {{"resume", built}, {"company", "Globex"}}),
        // Whether or not the save has landed yet, there is one readable document.
        request("list", "listResumeStudio"), request("status", "getResumeStudioStatus")};
    for (size_t i = 0; i < refused.size(); ++i) {
        requests.push_back(refused[i].first);
        requests.back()["id"] = "bad" + std::to_string(i);
    }
    json second = runBridge(data, requests);
    for (size_t i = 0; i < refused.size(); ++i)
        EXPECT_EQ(second["bad" + std::to_string(i)]["error"], refused[i].second) << refused[i].first["action"];
    EXPECT_EQ(json({second["save"]["data"]["id"], second["save"]["data"]["name"], second["save"]["data"]["matchedKeywords"]}),
              json({id, "Edited", {"python", "sql"}}));
    EXPECT_EQ(second["rw"]["data"], (json{{"text", "Python, SQL"},
                                          {"notice", "AI assistance was unavailable; the section was left unchanged."}}));
    EXPECT_EQ(second["bullet"]["data"], (json{{"bullet", "Built dashboards"}, {"mode", "offline"}}));
    EXPECT_EQ(second["letter"]["data"]["mode"], "offline");
    EXPECT_TRUE(text::contains(second["letter"]["data"]["text"].get<std::string>(), "Analytics Engineer opportunity with Globex."));
    EXPECT_EQ(second["list"]["data"].size(), 1u);
    EXPECT_EQ(second["list"]["data"][0]["id"], id);
    EXPECT_EQ(second["status"]["data"]["unreadableCount"], 0);

    // An id sent as text is read as a number.
    EXPECT_EQ(runBridge(data, {request("dup", "duplicateResumeStudio", {{"id", std::to_string(id)}})})["dup"]["data"]["name"],
              "Edited Copy");
    EXPECT_EQ(runBridge(data, {request("del", "deleteResumeStudio", {{"id", id}})})["del"]["data"], (json{{"ok", true}}));
    json left = StudioEnv(data).studio->list();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]["resume"]["name"], "Edited Copy");
}

TEST(StudioBridge, ModelAnswersAndRequestReading) {
    TempDir dir;
    auto data = dir / "data";
    ModelFixtureServer model;
    model.setDefault(ModelFixtureServer::answer("Model text."));
    prepare(data, model.base());
    auto upload = dir / "upload.txt";
    writeFile(upload, "Sam Park\nSUMMARY\nAnalyst focused on customer retention work.");

    json replies = runBridge(
        data, {// A text value for useApplicationProfile means "no profile": too few facts then.
               request("no-profile", "buildResumeStudio", {{"targetRole", "Analyst"}, {"useApplicationProfile", "yes"}}),
               request("missing-file", "buildResumeStudio",
                       {{"targetRole", "Analyst"}, {"sourceResumePath", (dir / "gone.pdf").string()}}),
               request("upload", "buildResumeStudio",
                       {{"targetRole", "Analyst"}, {"pageCount", 2}, {"useApplicationProfile", 0},
                        {"sourceResumePath", upload.string()}, {"language", " ES "}})});
    EXPECT_EQ(replies["no-profile"]["error"],
              "Add information to your Application Profile or upload an existing resume before building a resume.");
    EXPECT_EQ(replies["missing-file"]["error"], "Resume file was not found.");
    json built = replies["upload"]["data"];
    ASSERT_TRUE(built.is_object()) << replies["upload"].dump();
    EXPECT_EQ(built["pageCount"], 2);
    EXPECT_EQ(built["language"], "es");
    // Too short against the grounded summary; usable where there is no grounded text.
    EXPECT_EQ(built["summary"], "Analyst focused on customer retention work.");
    // Skills the sources do not name are refused, whatever the model says.
    EXPECT_EQ(built["skills"], "");
    EXPECT_EQ(built["contact"], "Sam Park");
    EXPECT_FALSE(text::contains(built["sourceFacts"].get<std::string>(), "Jane"));
    EXPECT_TRUE(std::filesystem::is_empty(data / "Temp"));

    json more = runBridge(data, {request("rw", "rewriteResumeSection", {{"resume", built}, {"section", "summary"}}),
                                 request("letter", "generateCoverLetter", {{"resume", built}}),
                                 request("bullet", "improveResumeBullet", {{"bullet", "Did a thing"}})});
    EXPECT_EQ(more["rw"]["data"], (json{{"text", "Model text."}, {"notice", "Rewritten with fact-preserving AI assistance."}}));
    EXPECT_EQ(more["letter"]["data"], (json{{"text", "Model text."}, {"mode", "private_ai"}}));
    EXPECT_EQ(more["bullet"]["data"], (json{{"bullet", "Model text."}, {"mode", "private_ai"}}));
}
