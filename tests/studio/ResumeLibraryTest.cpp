// The sealed library of built resumes and the document format it stores.
#include "StudioTestEnv.h"

#include "storage/Sealing.h"

#include <future>

using namespace velmora;
using namespace velmora::testing;
using S = ResumeStudioService;

namespace {

ResumeDocument draft(const std::string& name) {
    return {.name = name, .targetRole = "Data Engineer", .summary = "Builds pipelines."};
}

std::vector<SQLiteRow> rows(StudioEnv& env) {
    return env.sqlite->query("SELECT id,name,resume_json FROM resume_library ORDER BY id;");
}

std::string keyFile(StudioEnv& env) { return env.store->fileURL(S::kLibraryKeyAccount).string(); }

void insertRow(StudioEnv& env, const std::string& name, const std::string& stored, const std::string& at) {
    env.sqlite->execute("INSERT INTO resume_library(name,resume_json,created_at,updated_at) VALUES(?,?,?,?);",
                        {name, stored, at, at});
}

std::string decodeError(const json& j) {
    return errorOf([&] { ResumeDocument::fromJson(j); });
}

} // namespace

TEST(ResumeLibrary, SaveUpdateDuplicateAndDeleteOneSealedRowEach) {
    StudioEnv env;
    ResumeDocument d = draft("Data");
    ResumeDocument saved = env.studio->save(d);
    EXPECT_EQ(json({d.id, saved.createdAt, saved.updatedAt}), json({saved.id, "2026-03-01T09:30:00.000Z", saved.createdAt}));
    // Opened with the key file itself, not through the service, the row holds its own id.
    auto stored = rows(env);
    ASSERT_EQ(stored.size(), 1u);
    Bytes plain = sealing::open(*sealing::base64Decode(*sqlite_row::text(stored[0], "resume_json")),
                                SymmetricKey::fromBytes(*env.store->read(S::kLibraryKeyAccount)).value());
    EXPECT_EQ(ResumeDocument::fromJsonText(sealing::asString(plain)).id, saved.id);

    env.clock->advance(std::chrono::minutes(5));
    d.name = "Renamed", d.experience = "Acme";
    ResumeDocument updated = env.studio->updateAndSave(d);
    EXPECT_EQ(json({updated.createdAt, updated.updatedAt, *sqlite_row::text(rows(env).at(0), "name")}),
              json({"2026-03-01T09:30:00.000Z", "2026-03-01T09:35:00.000Z", "Renamed"}));

    env.clock->advance(std::chrono::hours(1));
    ResumeDocument copy = env.studio->duplicate(d.id, "  Named  ");
    EXPECT_EQ(json({copy.name, copy.createdAt, copy.updatedAt, copy.experience}),
              json({"Named", "2026-03-01T10:35:00.000Z", "2026-03-01T10:35:00.000Z", "Acme"}));

    env.studio->remove(d.id);
    // A save must not report success having stored nothing.
    EXPECT_EQ(errorOf([&] { env.studio->updateAndSave(d); }), "Resume was not found.");
    EXPECT_EQ(json({rows(env).size(), env.studio->list().size()}), json({1, 1}));
}

TEST(ResumeLibrary, ListIsNewestFirstAndCountsRowsItCannotOpen) {
    StudioEnv env;
    ResumeDocument a = draft("A"), b = draft("B"), older = draft("Plain");
    env.studio->save(a);
    env.clock->advance(std::chrono::seconds(1));
    env.studio->save(b);
    // A row sealed under another key, a row of broken base64, and an older plain-JSON row
    // whose own id is overruled by its row id.
    insertRow(env, "Foreign",
              sealing::base64Encode(sealing::seal(sealing::asBytes(draft("F").toJsonText()), SymmetricKey::random())),
              "2026-04-01T00:00:00.000Z");
    insertRow(env, "Broken", "not base64!", "2026-04-02T00:00:00.000Z");
    older.id = 999;
    insertRow(env, "Plain row", "  " + older.toJsonText(), "2025-01-01T00:00:00.000Z");

    json listed = env.studio->list();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(json({listed[0]["name"], listed[1]["name"], listed[2]["name"]}), json({"B", "A", "Plain row"}));
    EXPECT_EQ(json({listed[2]["resume"]["name"], listed[2]["resume"]["id"]}), json({"Plain", listed[2]["id"]}));
    EXPECT_NE(listed[2]["id"], 999);
    json status = env.studio->libraryStatus();
    EXPECT_EQ(json({status["unreadableCount"], status["documents"], status["reason"]}), json({2, 3, "undecryptable"}));
}

TEST(ResumeLibrary, ADamagedKeyIsSetAsideAndReportedNeverSilentlyReplaced) {
    StudioEnv env;
    writeFile(keyFile(env), std::string(31, 'k'));
    ResumeDocument d = draft("A");
    env.studio->save(d);
    const std::string firstAside = keyFile(env) + ".damaged-20260301T093000.000Z";
    EXPECT_EQ(env.restart()->get(d.id)->name, "A") << "the next start reads the same new key";

    // A second bad key at the same moment neither overwrites the first one set aside nor lets
    // the library pretend to be empty.
    const std::string goodKey = readFile(keyFile(env));
    writeFile(keyFile(env), std::string(33, 'q'));
    auto again = env.restart();
    EXPECT_TRUE(again->list().empty());
    json status = again->libraryStatus();
    EXPECT_EQ(json({status["unreadableCount"], status["reason"], status["setAsideKey"]}),
              json({1, "damaged_key", firstAside + "-1"}));
    EXPECT_EQ(readFile(firstAside) + readFile(firstAside + "-1"), std::string(31, 'k') + std::string(33, 'q'));
    // A lost key is the page journey's; putting a good key back must bring the rows back.
    writeFile(keyFile(env), goodKey);
    EXPECT_EQ(env.restart()->list().size(), 1u);
}

TEST(ResumeLibrary, ConcurrentFirstUsesShareOneKey) {
    StudioEnv env;
    std::vector<std::future<void>> saves;
    for (int i = 0; i < 8; ++i)
        saves.push_back(std::async(std::launch::async,
                                   [&env, d = draft("R" + std::to_string(i))]() mutable { env.studio->save(d); }));
    for (auto& f : saves) f.get();
    // Had two threads each created a key, rows sealed under the lost one would not open.
    EXPECT_EQ(env.restart()->list().size(), 8u);
}

TEST(ResumeDocumentJson, RoundTripsAndStrictDecodingNamesTheOffendingKey) {
    ResumeDocument d = sampleResume();
    d.keptFromSource = {{"skills", "unsupported_facts", {"Kafka"}}};
    const json base = d.toJson();
    EXPECT_EQ(ResumeDocument::fromJson(base), d);
    for (const auto& [k, value] : base.items()) {
        json missing = base;
        missing.erase(k);
        // Documents stored before "keptFromSource" existed have none.
        EXPECT_EQ(decodeError(missing),
                  k == "keptFromSource" ? "<no error>" : "Resume data is invalid: the key \"" + k + "\" is missing.");
    }
    const std::vector<std::pair<json, std::string>> rows = {
        {{{"summary", 5}}, "\"summary\" must be text."},
        {{{"atsScore", "77"}}, "\"atsScore\" must be a whole number."},
        {{{"pageCount", 1.5}}, "\"pageCount\" must be a whole number."},
        {{{"atsScore", 1e12}}, "\"atsScore\" is out of range."},
        {{{"matchedKeywords", {"go", 1}}}, "\"matchedKeywords\" must be a list of texts."},
        {{{"missingKeywords", std::vector<std::string>(201, "go")}}, "\"missingKeywords\" has too many entries."},
        {{{"experience", std::string(ResumeDocument::kMaxTextBytes + 1, 'x')}}, "\"experience\" is too long."},
        {{{"summary", "bad \xC3\x28 byte"}}, "\"summary\" is not valid UTF-8 text."},
        {json::array(), "expected a JSON object."},
        // At the caps, and with a whole number written as a float, nothing is refused.
        {{{"pageCount", 2.0}, {"experience", std::string(ResumeDocument::kMaxTextBytes, 'x')},
          {"missingKeywords", std::vector<std::string>(200, "go")}}, ""},
    };
    for (const auto& [change, message] : rows) {
        json j = change;
        if (j.is_object()) j = base, j.update(change);
        EXPECT_EQ(decodeError(j), message.empty() ? "<no error>" : "Resume data is invalid: " + message) << change.dump().substr(0, 60);
    }
    EXPECT_NE(errorOf([&] { ResumeDocument::fromJsonText("{\"id\":"); }), "<no error>");
}
