// The Resume Studio actions through the real velmora-bridge program, one request per line.
#include "StudioTestEnv.h"

#include "support/BridgeProcess.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

json request(const std::string& id, const std::string& action, json payload = json::object()) {
    return json{{"id", id}, {"action", action}, {"payload", std::move(payload)}};
}

// One session of the bridge over `data`; the replies by id. The requests of one session run
// side by side, so a request that needs another's result waits for the next session.
std::map<std::string, json> session(const std::filesystem::path& data, const std::vector<json>& requests) {
    std::string input;
    for (const json& r : requests) input += r.dump() + "\n";
    BridgeRun run = runBridge(data, input);
    EXPECT_EQ(run.status, 0) << run.errors;
    return run.byId;
}

} // namespace

TEST(StudioBridge, EachActionReadsItsPayloadAndAnswers) {
    TempDir dir;
    const auto data = dir / "data", upload = dir / "upload.txt";
    ModelFixtureServer model;
    model.setDefault(ModelFixtureServer::status(500));
    StudioEnv(data, model.base())
        .profiles->save(json{{"fullName", "Jane Doe"}, {"currentTitle", "Data Engineer"}, {"skills", "Python, SQL"}});
    writeFile(upload, "Sam Park\nSUMMARY\nAnalyst focused on customer retention work.");

    auto first = session(data, {request("b", "buildResumeStudio", {{"targetRole", "Analytics Engineer"}, {"pageCount", 3},
                                                                   {"style", "Compact"}}),
                                // A text value for useApplicationProfile means "no profile": too few facts then.
                                request("no-profile", "buildResumeStudio",
                                        {{"targetRole", "Analyst"}, {"useApplicationProfile", "yes"}}),
                                request("upload", "buildResumeStudio",
                                        {{"targetRole", "Analyst"}, {"pageCount", 2}, {"useApplicationProfile", 0},
                                         {"sourceResumePath", upload.string()}, {"language", " ES "}})});
    const json built = first["b"]["data"], uploaded = first["upload"]["data"];
    ASSERT_TRUE(built.is_object() && uploaded.is_object()) << first["b"] << first["upload"];
    EXPECT_EQ(json({built["pageCount"], built["template"], built["name"], built["skills"]}),
              json({1, "compact", "Analytics Engineer Resume", "Python, SQL"}));
    EXPECT_EQ(json({uploaded["pageCount"], uploaded["language"], uploaded["contact"], uploaded["summary"]}),
              json({2, "es", "Sam Park", "Analyst focused on customer retention work."}));
    EXPECT_EQ(first["no-profile"]["error"],
              "Add information to your Application Profile or upload an existing resume before building a resume.");
    EXPECT_TRUE(std::filesystem::is_empty(data / "Temp"));
    const int64_t id = built["id"];

    json edited = built;
    edited.update({{"name", "Edited"}, {"jobDescription", "python sql dbt"}});
    // A malformed document or payload is refused by the library and action tests.
    const std::vector<std::pair<json, std::string>> refused = {
        {request("", "improveResumeBullet"), "Enter a bullet to improve."},
        {request("", "duplicateResumeStudio", {{"id", 9999}}), "Resume was not found."},
    };
    std::vector<json> requests = {
        // The offline rewrite, bullet and letter for a named company are the page journey's.
        request("save", "saveResumeStudio", edited),
        request("blank", "generateCoverLetter", {{"resume", built}, {"company", "  "}}),
        // Whether or not the save has landed yet, there are the two built documents, all readable.
        request("list", "listResumeStudio"), request("status", "getResumeStudioStatus")};
    for (size_t i = 0; i < refused.size(); ++i) requests.push_back(refused[i].first), requests.back()["id"] = std::to_string(i);
    auto second = session(data, requests);
    for (size_t i = 0; i < refused.size(); ++i) EXPECT_EQ(second[std::to_string(i)]["error"], refused[i].second) << i;
    EXPECT_EQ(json({second["save"]["data"]["id"], second["save"]["data"]["name"], second["save"]["data"]["matchedKeywords"]}),
              json({id, "Edited", {"python", "sql"}}));
    EXPECT_TRUE(text::contains(second["blank"]["data"]["text"].get<std::string>(), "Analytics Engineer opportunity. My"));
    EXPECT_EQ(json({second["list"]["data"].size(), second["status"]["data"]["unreadableCount"]}), json({2, 0}));

    // An id sent as text is read as a number; the model's answers are used once it gives them.
    model.setDefault(ModelFixtureServer::answer("Model text."));
    auto third = session(data, {request("dup", "duplicateResumeStudio", {{"id", std::to_string(id)}}),
                                request("letter", "generateCoverLetter", {{"resume", uploaded}})});
    EXPECT_EQ(third["dup"]["data"]["name"], "Edited Copy");
    EXPECT_EQ(third["letter"]["data"], (json{{"text", "Model text."}, {"mode", "private_ai"}}));
}
