#include "StudioTestEnv.h"

#include "core/VelmoraError.h"
#include "storage/Sealing.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <sys/stat.h>

using namespace velmora;
using velmora::testing::StudioEnv;

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

std::string keyFile(StudioEnv& env) { return env.store->fileURL(ResumeStudioService::kLibraryKeyAccount).string(); }

void expectNotFound(const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "an unknown id was accepted";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.message(), "Resume was not found.");
    }
}

std::shared_ptr<ResumeStudioService> restart(StudioEnv& env) {
    return std::make_shared<ResumeStudioService>(env.sqlite, env.resumes, env.profiles, env.store, env.clock);
}

} // namespace

TEST(ResumeLibrary, FirstSaveStoresTheRowIdInsideTheSealedJson) {
    StudioEnv env;
    ResumeDocument d = draft("Data");
    ResumeDocument saved = env.studio->save(d);
    ASSERT_GT(saved.id, 0);
    EXPECT_EQ(d.id, saved.id);
    EXPECT_EQ(saved.createdAt, "2026-03-01T09:30:00.000Z");
    EXPECT_EQ(saved.updatedAt, saved.createdAt);

    auto stored = rows(env);
    ASSERT_EQ(stored.size(), 1u);
    std::string cipher = *sqlite_row::text(stored[0], "resume_json");
    EXPECT_NE(cipher.front(), '{');
    // Open the row with the key file itself, not through the service.
    auto key = SymmetricKey::fromBytes(*env.store->read(ResumeStudioService::kLibraryKeyAccount));
    ASSERT_TRUE(key);
    Bytes plain = sealing::open(*sealing::base64Decode(cipher), *key);
    EXPECT_EQ(ResumeDocument::fromJsonText(sealing::asString(plain)).id, saved.id);
    EXPECT_EQ(*sqlite_row::text(stored[0], "name"), "Data");
    EXPECT_EQ(*sqlite_row::text(stored[0], "created_at"), saved.createdAt);

    auto loaded = env.studio->get(saved.id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, saved);
    EXPECT_FALSE(env.studio->get(saved.id + 100));

    struct stat st {};
    ASSERT_EQ(stat(keyFile(env).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 32);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ResumeLibrary, UpdateKeepsCreationTimeAndRescores) {
    StudioEnv env;
    ResumeDocument d = draft("Data");
    env.studio->save(d);
    env.clock->advance(std::chrono::minutes(5));
    d.name = "Renamed";
    d.skills = "Python";
    d.experience = "Acme";
    d.education = "BSc";
    ResumeDocument updated = env.studio->updateAndSave(d);
    EXPECT_EQ(updated.id, d.id);
    EXPECT_EQ(updated.createdAt, "2026-03-01T09:30:00.000Z");
    EXPECT_EQ(updated.updatedAt, "2026-03-01T09:35:00.000Z");
    EXPECT_EQ(updated.atsScore, 78);
    auto stored = rows(env);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(*sqlite_row::text(stored[0], "name"), "Renamed");
    EXPECT_EQ(*sqlite_row::text(stored[0], "updated_at"), updated.updatedAt);
    EXPECT_EQ(env.studio->get(d.id)->atsScore, 78);

    // Saving a document whose row was deleted meanwhile must not report a save that stored nothing.
    env.studio->remove(d.id);
    expectNotFound([&] { env.studio->updateAndSave(d); });
    EXPECT_TRUE(rows(env).empty());
}

TEST(ResumeLibrary, ListIsNewestFirstAndSkipsRowsItCannotOpen) {
    StudioEnv env;
    ResumeDocument a = draft("A");
    env.studio->save(a);
    env.clock->advance(std::chrono::seconds(1));
    ResumeDocument b = draft("B");
    env.studio->save(b);

    // A row sealed under some other key, a row of broken base64, and an older plain-JSON row.
    SymmetricKey otherKey = SymmetricKey::random();
    ResumeDocument foreign = draft("Foreign");
    std::string sealedElsewhere = sealing::base64Encode(sealing::seal(sealing::asBytes(foreign.toJsonText()), otherKey));
    env.sqlite->execute("INSERT INTO resume_library(name,resume_json,created_at,updated_at) VALUES(?,?,?,?);",
                        {"Foreign", sealedElsewhere, "2026-04-01T00:00:00.000Z", "2026-04-01T00:00:00.000Z"});
    env.sqlite->execute("INSERT INTO resume_library(name,resume_json,created_at,updated_at) VALUES(?,?,?,?);",
                        {"Broken", "not base64!", "2026-04-02T00:00:00.000Z", "2026-04-02T00:00:00.000Z"});
    ResumeDocument older = draft("Plain");
    older.id = 999; // the row id wins over whatever the JSON says
    env.sqlite->execute("INSERT INTO resume_library(name,resume_json,created_at,updated_at) VALUES(?,?,?,?);",
                        {"Plain row", "  " + older.toJsonText(), "2025-01-01T00:00:00.000Z", "2025-01-01T00:00:00.000Z"});

    json listed = env.studio->list();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0]["name"], "B");
    EXPECT_EQ(listed[1]["name"], "A");
    EXPECT_EQ(listed[2]["name"], "Plain row");
    EXPECT_EQ(listed[2]["resume"]["name"], "Plain");
    EXPECT_EQ(listed[2]["resume"]["id"], listed[2]["id"]);
    EXPECT_NE(listed[2]["id"], 999);
    EXPECT_EQ(listed[0]["id"], b.id);
    EXPECT_EQ(listed[0]["resume"]["id"], b.id);
    EXPECT_EQ(listed[0]["targetRole"], "Data Engineer");
    EXPECT_EQ(listed[0]["updatedAt"], b.updatedAt);
    EXPECT_EQ(listed[0]["resume"].size(), 24u);

    json status = env.studio->libraryStatus();
    EXPECT_EQ(status["unreadableCount"], 2);
    EXPECT_EQ(status["documents"], 3);
    EXPECT_EQ(status["reason"], "undecryptable");

    // Every row this program writes is sealed.
    for (const SQLiteRow& row : rows(env)) {
        if (*sqlite_row::text(row, "name") != "Plain row") {
            EXPECT_NE(sqlite_row::text(row, "resume_json")->front(), '{');
        }
    }
}

TEST(ResumeLibrary, DuplicateNamesTheCopyAndGivesItNewIdentity) {
    StudioEnv env;
    ResumeDocument source = draft("Platform");
    env.studio->save(source);
    env.clock->advance(std::chrono::hours(1));

    ResumeDocument copy = env.studio->duplicate(source.id, "   ");
    EXPECT_EQ(copy.name, "Platform Copy");
    EXPECT_NE(copy.id, source.id);
    EXPECT_EQ(copy.createdAt, "2026-03-01T10:30:00.000Z");
    EXPECT_EQ(copy.updatedAt, copy.createdAt);
    EXPECT_EQ(copy.summary, source.summary);
    EXPECT_EQ(env.studio->get(copy.id)->id, copy.id);

    EXPECT_EQ(env.studio->duplicate(source.id, "  Named  ").name, "Named");
    EXPECT_EQ(env.studio->list().size(), 3u);

    expectNotFound([&] { env.studio->duplicate(12345, "x"); });
}

TEST(ResumeLibrary, DeleteRemovesOnlyThatRowAndRefusesUnknownIds) {
    StudioEnv env;
    ResumeDocument a = draft("A");
    ResumeDocument b = draft("B");
    env.studio->save(a);
    env.studio->save(b);
    env.studio->remove(a.id);
    expectNotFound([&] { env.studio->remove(a.id); });
    expectNotFound([&] { env.studio->remove(777); });
    ASSERT_EQ(rows(env).size(), 1u);
    EXPECT_FALSE(env.studio->get(a.id));
    EXPECT_TRUE(env.studio->get(b.id));
}

TEST(ResumeLibrary, KeyOfWrongLengthIsSetAsideAndReplaced) {
    StudioEnv env;
    velmora::testing::writeFile(keyFile(env), std::string(31, 'k'));
    ResumeDocument d = draft("A");
    env.studio->save(d);
    const std::string firstAside = keyFile(env) + ".damaged-20260301T093000.000Z";
    EXPECT_EQ(velmora::testing::readFile(firstAside), std::string(31, 'k'));
    EXPECT_EQ(env.store->read(ResumeStudioService::kLibraryKeyAccount)->size(), 32u);
    EXPECT_TRUE(env.studio->get(d.id));

    // A fresh service (a restart) reads the same key back, and rows stay readable.
    EXPECT_EQ(restart(env)->get(d.id)->name, "A");

    // A second bad key at the same moment neither overwrites the first one set aside nor
    // lets the library pretend to be empty.
    velmora::testing::writeFile(keyFile(env), std::string(33, 'q'));
    auto again = restart(env);
    EXPECT_FALSE(again->get(d.id)); // sealed under the replaced key
    EXPECT_TRUE(again->list().empty());
    json status = again->libraryStatus();
    EXPECT_EQ(status["unreadableCount"], 1);
    EXPECT_EQ(status["reason"], "damaged_key");
    EXPECT_EQ(status["setAsideKey"], firstAside + "-1");
    EXPECT_EQ(velmora::testing::readFile(firstAside), std::string(31, 'k'));
    EXPECT_EQ(velmora::testing::readFile(firstAside + "-1"), std::string(33, 'q'));
}

TEST(ResumeLibrary, ALostKeyKeepsTheRowsAndSaysWhyTheyCannotBeOpened) {
    StudioEnv env;
    for (const char* name : {"A", "B"}) {
        ResumeDocument d = draft(name);
        env.studio->save(d);
    }
    const std::string lostKey = velmora::testing::readFile(keyFile(env));
    std::filesystem::remove(keyFile(env));

    auto restarted = restart(env);
    EXPECT_TRUE(restarted->list().empty());
    json status = restarted->libraryStatus();
    EXPECT_EQ(status["unreadableCount"], 2);
    EXPECT_EQ(status["reason"], "missing_key");
    EXPECT_NE(status["message"].get<std::string>().find("2 saved resume"), std::string::npos);
    EXPECT_EQ(rows(env).size(), 2u);

    // Putting the key file back brings every document back.
    velmora::testing::writeFile(keyFile(env), lostKey);
    EXPECT_EQ(restart(env)->list().size(), 2u);
    EXPECT_EQ(restart(env)->libraryStatus()["unreadableCount"], 0);
}

TEST(ResumeLibrary, ConcurrentFirstUsesShareOneKey) {
    StudioEnv env;
    std::vector<std::future<int64_t>> saves;
    for (int i = 0; i < 8; ++i)
        saves.push_back(std::async(std::launch::async, [&env, i] {
            ResumeDocument d = draft("R" + std::to_string(i));
            return env.studio->save(d).id;
        }));
    for (auto& f : saves) f.get();
    // Had two threads each created a key, rows sealed under the lost one would not open.
    EXPECT_EQ(restart(env)->list().size(), 8u);
}

TEST(ResumeLibrary, LanguageAndTemplateNormalisers) {
    EXPECT_EQ(ResumeStudioService::normalizeLanguage("  PT \n"), "pt");
    EXPECT_EQ(ResumeStudioService::normalizeLanguage("pt-BR"), "en");
    EXPECT_EQ(ResumeStudioService::normalizeLanguage("EN"), "en");
    EXPECT_EQ(ResumeStudioService::normalizeLanguage(""), "en");
    EXPECT_EQ(ResumeStudioService::normalizeTemplate("Compact but Classic"), "classic");
    EXPECT_EQ(ResumeStudioService::normalizeTemplate("COMPACT one-pager"), "compact");
    EXPECT_EQ(ResumeStudioService::normalizeTemplate("Modern ATS"), "modern");
    EXPECT_EQ(ResumeStudioService::normalizeTemplate("whatever"), "modern");
    EXPECT_EQ(ResumeStudioService::languageName("de"), "German");
    EXPECT_EQ(ResumeStudioService::languageName("xx"), "English");
}
