#include "StudioTestEnv.h"

#include "storage/Sealing.h"

#include <future>

using namespace velmora;
using namespace velmora::testing;
using S = ResumeStudioService;

namespace {

ResumeDocument draft(const std::string& name) {
    ResumeDocument d;
    d.name = name;
    d.targetRole = "Data Engineer";
    d.summary = "Builds pipelines.";
    return d;
}

std::vector<SQLiteRow> rows(StudioEnv& env) {
    return env.sqlite->query("SELECT id,name,resume_json,created_at,updated_at FROM resume_library ORDER BY id;");
}

std::string keyFile(StudioEnv& env) { return env.store->fileURL(S::kLibraryKeyAccount).string(); }

void insertRow(StudioEnv& env, const std::string& name, const std::string& stored, const std::string& at) {
    env.sqlite->execute("INSERT INTO resume_library(name,resume_json,created_at,updated_at) VALUES(?,?,?,?);",
                        {name, stored, at, at});
}

const std::string kNotFound = "Resume was not found.";

} // namespace

TEST(ResumeLibrary, SaveUpdateDuplicateAndDeleteOneSealedRowEach) {
    StudioEnv env;
    ResumeDocument d = draft("Data");
    ResumeDocument saved = env.studio->save(d);
    ASSERT_GT(saved.id, 0);
    EXPECT_EQ(d.id, saved.id);
    EXPECT_EQ(saved.createdAt, "2026-03-01T09:30:00.000Z");
    EXPECT_EQ(saved.updatedAt, saved.createdAt);
    EXPECT_EQ(*env.studio->get(saved.id), saved);
    EXPECT_FALSE(env.studio->get(saved.id + 100));
    // Opened with the key file itself, not through the service, the row holds its own id.
    auto stored = rows(env);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(*sqlite_row::text(stored[0], "name"), "Data");
    auto key = SymmetricKey::fromBytes(*env.store->read(S::kLibraryKeyAccount));
    ASSERT_TRUE(key);
    Bytes plain = sealing::open(*sealing::base64Decode(*sqlite_row::text(stored[0], "resume_json")), *key);
    EXPECT_EQ(ResumeDocument::fromJsonText(sealing::asString(plain)).id, saved.id);
    EXPECT_EQ(fileMode(keyFile(env)), 0600u);

    env.clock->advance(std::chrono::minutes(5));
    d.name = "Renamed";
    d.skills = "Python";
    d.experience = "Acme";
    d.education = "BSc";
    ResumeDocument updated = env.studio->updateAndSave(d);
    EXPECT_EQ(updated.createdAt, "2026-03-01T09:30:00.000Z");
    EXPECT_EQ(updated.updatedAt, "2026-03-01T09:35:00.000Z");
    EXPECT_EQ(env.studio->get(d.id)->atsScore, 78) << "rescored on save";
    EXPECT_EQ(*sqlite_row::text(rows(env).at(0), "name"), "Renamed");

    env.clock->advance(std::chrono::hours(1));
    ResumeDocument copy = env.studio->duplicate(d.id, "   ");
    EXPECT_EQ(copy.name, "Renamed Copy");
    EXPECT_NE(copy.id, d.id);
    EXPECT_EQ(copy.createdAt, "2026-03-01T10:35:00.000Z");
    EXPECT_EQ(copy.updatedAt, copy.createdAt);
    EXPECT_EQ(copy.experience, "Acme");
    EXPECT_EQ(env.studio->get(copy.id)->id, copy.id);
    EXPECT_EQ(env.studio->duplicate(d.id, "  Named  ").name, "Named");

    env.studio->remove(d.id);
    EXPECT_EQ(rows(env).size(), 2u);
    EXPECT_TRUE(env.studio->get(copy.id));
    for (auto action : std::vector<std::function<void()>>{[&] { env.studio->remove(d.id); },
                                                          [&] { env.studio->duplicate(d.id, "x"); },
                                                          // a save must not report success having stored nothing
                                                          [&] { env.studio->updateAndSave(d); }})
        EXPECT_EQ(errorOf(action), kNotFound);
    EXPECT_EQ(rows(env).size(), 2u);
}

TEST(ResumeLibrary, ListIsNewestFirstAndCountsRowsItCannotOpen) {
    StudioEnv env;
    ResumeDocument a = draft("A");
    env.studio->save(a);
    env.clock->advance(std::chrono::seconds(1));
    ResumeDocument b = draft("B");
    env.studio->save(b);
    // A row sealed under another key, a row of broken base64, and an older plain-JSON row
    // whose own id is overruled by its row id.
    insertRow(env, "Foreign",
              sealing::base64Encode(sealing::seal(sealing::asBytes(draft("F").toJsonText()), SymmetricKey::random())),
              "2026-04-01T00:00:00.000Z");
    insertRow(env, "Broken", "not base64!", "2026-04-02T00:00:00.000Z");
    ResumeDocument older = draft("Plain");
    older.id = 999;
    insertRow(env, "Plain row", "  " + older.toJsonText(), "2025-01-01T00:00:00.000Z");

    json listed = env.studio->list();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(json({listed[0]["name"], listed[1]["name"], listed[2]["name"]}), json({"B", "A", "Plain row"}));
    EXPECT_EQ(listed[0]["id"], b.id);
    EXPECT_EQ(listed[0]["resume"]["id"], b.id);
    EXPECT_EQ(listed[0]["targetRole"], "Data Engineer");
    EXPECT_EQ(listed[0]["updatedAt"], b.updatedAt);
    EXPECT_EQ(listed[2]["resume"]["name"], "Plain");
    EXPECT_EQ(listed[2]["resume"]["id"], listed[2]["id"]);
    EXPECT_NE(listed[2]["id"], 999);
    json status = env.studio->libraryStatus();
    EXPECT_EQ(json({status["unreadableCount"], status["documents"], status["reason"]}), json({2, 3, "undecryptable"}));
}

TEST(ResumeLibrary, ADamagedOrLostKeyIsSetAsideAndReportedNeverSilentlyReplaced) {
    StudioEnv env;
    writeFile(keyFile(env), std::string(31, 'k'));
    ResumeDocument d = draft("A");
    env.studio->save(d);
    const std::string firstAside = keyFile(env) + ".damaged-20260301T093000.000Z";
    EXPECT_EQ(readFile(firstAside), std::string(31, 'k'));
    EXPECT_EQ(env.store->read(S::kLibraryKeyAccount)->size(), 32u);
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
    EXPECT_EQ(readFile(firstAside), std::string(31, 'k'));
    EXPECT_EQ(readFile(firstAside + "-1"), std::string(33, 'q'));

    // A lost key keeps the rows and says why they cannot be opened; putting it back restores them.
    writeFile(keyFile(env), goodKey);
    ResumeDocument second = draft("B");
    env.restart()->save(second);
    std::filesystem::remove(keyFile(env));
    status = env.restart()->libraryStatus();
    EXPECT_EQ(json({status["unreadableCount"], status["reason"]}), json({2, "missing_key"}));
    EXPECT_TRUE(text::contains(status["message"].get<std::string>(), "2 saved resume"));
    writeFile(keyFile(env), goodKey);
    EXPECT_EQ(env.restart()->list().size(), 2u);
}

TEST(ResumeLibrary, ConcurrentFirstUsesShareOneKey) {
    StudioEnv env;
    std::vector<std::future<void>> saves;
    for (int i = 0; i < 8; ++i)
        saves.push_back(std::async(std::launch::async, [&env, i] {
            ResumeDocument d = draft("R" + std::to_string(i));
            env.studio->save(d);
        }));
    for (auto& f : saves) f.get();
    // Had two threads each created a key, rows sealed under the lost one would not open.
    EXPECT_EQ(env.restart()->list().size(), 8u);
}

TEST(ResumeLibrary, LanguageAndTemplateNormalisers) {
    const std::vector<std::pair<std::string, std::string>> languages = {
        {"  PT \n", "pt"}, {"pt-BR", "en"}, {"EN", "en"}, {"", "en"}};
    for (const auto& [in, out] : languages) EXPECT_EQ(S::normalizeLanguage(in), out) << in;
    const std::vector<std::pair<std::string, std::string>> templates = {
        {"Compact but Classic", "classic"}, {"COMPACT one-pager", "compact"}, {"Modern ATS", "modern"},
        {"whatever", "modern"}};
    for (const auto& [in, out] : templates) EXPECT_EQ(S::normalizeTemplate(in), out) << in;
    EXPECT_EQ(S::languageName("de"), "German");
    EXPECT_EQ(S::languageName("xx"), "English");
}
