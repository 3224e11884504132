#include "profile/ApplicationProfileService.h"

#include "core/DateUtil.h"
#include "core/Text.h"
#include "core/VelmoraError.h"
#include "storage/Sealing.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using namespace velmora;
using velmora::testing::readFile;
using velmora::testing::TempDir;
using velmora::testing::writeFile;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::string kMissingKey =
    "Velmora cannot decrypt this older Application Profile because its local encryption key is unavailable. "
    "Re-enter the profile and click Save Profile to create a new record.";
const std::string kUnreadable =
    "The saved Application Profile was created by an older build or its local encryption key is unavailable. "
    "Re-enter the profile and click Save Profile to create a new local record.";
const std::string kInvalidKey = "The stored Velmora encryption key is invalid.";

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VelmoraError& e) {
        return e.message();
    }
    return "(no error)";
}

class ProfileServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        paths = std::make_shared<AppPaths>(dir / "Data");
        sqlite = std::make_shared<SQLiteDatabase>(paths->database().string());
        db = std::make_shared<DatabaseService>(sqlite);
        db->initialize();
        store = std::make_shared<SecureStoreService>(paths->secureStoreDirectory());
        clock = std::make_shared<FixedClock>(*DateUtil::parse("2026-03-04T05:06:07.089Z"));
        service = restart();
    }

    // A new service over the same files: what the next run of the program sees (empty key cache).
    std::shared_ptr<ApplicationProfileService> restart() {
        return std::make_shared<ApplicationProfileService>(db, store, paths, clock);
    }

    std::optional<std::string> cipher() {
        auto v = sqlite->scalar("SELECT profile_cipher FROM application_profile WHERE id=1;");
        if (!v) return std::nullopt;
        return std::get<std::string>(*v);
    }
    void setCipher(const std::string& text) {
        sqlite->execute("UPDATE application_profile SET profile_cipher=? WHERE id=1;", {text});
    }
    // Stores a record directly, for shapes the form cannot produce (a resume name without extension).
    void storeRecord(const ApplicationProfile& p) {
        std::string sealed = sealing::base64Encode(
            service->encrypt(sealing::asBytes(p.storedJson()), ApplicationProfileService::kProfileKeyAccount));
        sqlite->execute("INSERT INTO application_profile(id,profile_cipher,updated_at) VALUES(1,?,'x') "
                        "ON CONFLICT(id) DO UPDATE SET profile_cipher=excluded.profile_cipher;",
                        {sealed});
    }
    fs::path profileKeyFile() { return store->fileURL(ApplicationProfileService::kProfileKeyAccount); }
    fs::path resumeFile(const std::string& name, const std::string& content) {
        fs::path p = dir / name;
        writeFile(p, content);
        return p;
    }

    static json fullForm() {
        return json{{"coverLetterTemplate", "Dear team,\nI am writing…"},
                    {"fullName", "  Zoë Ødegaard-Nguyễn  "},
                    {"email", "zoe.marker@example.org"},
                    {"phone", "+49 30 1234567"},
                    {"country", "Germany"},
                    {"cityState", "Berlin"},
                    {"address", "Alexanderplatz 1"},
                    {"linkedIn", "https://linkedin.example/zoe"},
                    {"gitHub", "https://github.example/zoe"},
                    {"portfolio", "https://zoe.example"},
                    {"currentEmployer", "Acme GmbH"},
                    {"currentTitle", "Staff Engineer"},
                    {"employmentHistory", "2019–2026 Acme\n2015–2019 Initech"},
                    {"education", "MSc Informatics"},
                    {"certifications", "CKA"},
                    {"skills", "C++, SQLite, 日本語"},
                    {"yearsOfExperience", "11"},
                    {"workAuthorization", "EU citizen"},
                    {"requireSponsorship", "YES "},
                    {"willingToRelocate", false},
                    {"desiredSalary", "€90k"},
                    {"earliestStartDate", "2026-05-01"},
                    {"remoteWorkPreference", "Remote only"},
                    {"preferredJobTitles", "Backend Engineer"},
                    {"preferredIndustries", "Climate 🌍"}};
    }

    TempDir dir;
    std::shared_ptr<AppPaths> paths;
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<SecureStoreService> store;
    std::shared_ptr<FixedClock> clock;
    std::shared_ptr<ApplicationProfileService> service;
};

} // namespace

TEST_F(ProfileServiceTest, FirstStartShowsTheEmptyProfileWithoutWarning) {
    json view = service->getPublic();
    EXPECT_EQ(view.size(), 28u);
    EXPECT_EQ(view["hasResume"], false);
    EXPECT_EQ(view["updatedAt"], "");
    EXPECT_TRUE(view["requireSponsorship"].is_null());
    EXPECT_TRUE(view["willingToRelocate"].is_null());
    EXPECT_EQ(view["fullName"], "");
    EXPECT_FALSE(view.contains("storageWarning"));
    // Reading never creates a key.
    EXPECT_FALSE(fs::exists(profileKeyFile()));
}

TEST_F(ProfileServiceTest, FullProfileRoundTripsSealedAcrossRestarts) {
    json saved = service->save(fullForm());
    EXPECT_EQ(saved["saveVerified"], true);
    EXPECT_EQ(saved["updatedAt"], "2026-03-04T05:06:07.089Z");
    EXPECT_EQ(saved["fullName"], "Zoë Ødegaard-Nguyễn");
    EXPECT_EQ(saved["requireSponsorship"], true);
    EXPECT_EQ(saved["willingToRelocate"], false);
    EXPECT_EQ(saved["hasResume"], false);

    json bad = fullForm();
    bad["email"] = "ana@@example";
    EXPECT_THROW(service->save(bad), VelmoraError); // refused before it could replace a good record

    json reread = restart()->getPublic();
    EXPECT_FALSE(reread.contains("storageWarning"));
    saved.erase("saveVerified");
    EXPECT_EQ(reread, saved);

    // The row holds sealed text only: base64 of a box 28 bytes longer than the JSON.
    std::string text = *cipher();
    EXPECT_NE(text.front(), '{');
    EXPECT_EQ(text.find("zoe.marker"), std::string::npos);
    auto box = sealing::base64Decode(text);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->size(), restart()->load(false).storedJson().size() + 28);

    EXPECT_EQ(modeOf(paths->secureStoreDirectory()), 0700u);
    EXPECT_EQ(modeOf(profileKeyFile()), 0600u);
    EXPECT_EQ(fs::file_size(profileKeyFile()), 32u);
}

TEST_F(ProfileServiceTest, FormReadersTakeEveryJsonTypeWithoutFailing) {
    json form = fullForm();
    form["fullName"] = 5;
    form["phone"] = 5550100;
    form["country"] = json::array({1, "x"});
    form["cityState"] = json{{"a", 1}};
    form["address"] = nullptr;
    form["desiredSalary"] = true;
    form["employmentHistory"] = std::string(1 << 20, 'h');
    form["resumeName"] = "injected.pdf"; // set by the service only
    json saved = service->save(form);
    EXPECT_EQ(saved["fullName"], "5");
    EXPECT_EQ(saved["phone"], "5550100");
    EXPECT_EQ(saved["country"], "[1,\"x\"]");
    EXPECT_EQ(saved["cityState"], "{\"a\":1}");
    EXPECT_EQ(saved["address"], "");
    EXPECT_EQ(saved["desiredSalary"], "true");
    EXPECT_EQ(saved["employmentHistory"].get<std::string>().size(), 20000u);
    EXPECT_EQ(saved["resumeName"], "");

    EXPECT_EQ(service->save(json::array({1, 2}))["fullName"], ""); // not an object: the empty form

    struct Case {
        json value;
        std::optional<bool> expected;
    };
    const Case cases[] = {{"YES ", true}, {" No", false}, {"1", true}, {"0", false},   {"TRUE", true},
                          {"maybe", {}},  {"", {}},       {0, false},  {-3, true},     {0.0, false},
                          {json::array(), {}}, {json::object(), {}}, {nullptr, {}}, {true, true}, {"yes please", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(ApplicationProfileService::readOptionalBool(json{{"k", c.value}}, "k"), c.expected) << c.value;
    EXPECT_EQ(ApplicationProfileService::readOptionalBool(json::object(), "k"), std::nullopt);
    EXPECT_EQ(ApplicationProfileService::readString(json{{"k", " \n\t x y \r\n"}}, "k"), "x y");
}

TEST_F(ProfileServiceTest, LimitsCountUserPerceivedCharactersAndNeverSplitOne) {
    json form = json::object();
    // "e" + combining acute: two code points, one character.
    std::string accented;
    for (int i = 0; i < 250; ++i) accented += "e\xCC\x81";
    form["currentTitle"] = accented;
    // A family emoji (ZWJ sequence) and a flag: each one character of several code points.
    std::string emoji;
    for (int i = 0; i < 45; ++i) emoji += "👩‍👩‍👧🇩🇪";
    form["remoteWorkPreference"] = emoji;
    json saved = service->save(form);
    std::string title = saved["currentTitle"];
    EXPECT_EQ(text::characterCount(title), 250u); // 250 characters fit the 250 limit
    form["currentTitle"] = accented + "e\xCC\x81";
    title = service->save(form)["currentTitle"];
    EXPECT_EQ(title, accented); // cut after the 250th whole character, accent kept
    std::string preference = saved["remoteWorkPreference"];
    EXPECT_EQ(text::characterCount(preference), 80u);
    EXPECT_TRUE(text::endsWith(preference, "🇩🇪"));
    EXPECT_TRUE(text::startsWith(emoji, preference));

    // Every free-text field keeps exactly its own number of characters, one more is cut; blanks
    // around the text are trimmed first and never count.
    const std::pair<const char*, size_t> caps[] = {
        {"coverLetterTemplate", 12000}, {"fullName", 200},           {"country", 160},
        {"cityState", 200},             {"address", 400},            {"currentEmployer", 250},
        {"currentTitle", 250},          {"employmentHistory", 20000}, {"education", 12000},
        {"certifications", 8000},       {"skills", 8000},            {"workAuthorization", 500},
        {"desiredSalary", 100},         {"earliestStartDate", 80},   {"remoteWorkPreference", 80},
        {"preferredJobTitles", 3000},   {"preferredIndustries", 3000}};
    for (int extra : {0, 1}) {
        json full = json::object();
        for (const auto& [key, cap] : caps) full[key] = "  " + std::string(cap + extra, 'x') + " \n";
        saved = service->save(full);
        for (const auto& [key, cap] : caps) EXPECT_EQ(saved[key].get<std::string>().size(), cap) << key << " +" << extra;
    }
}

TEST_F(ProfileServiceTest, DamagedRecordsAreReportedNeverShownAsAnEmptyProfile) {
    service->save(fullForm());
    const std::string good = *cipher();
    Bytes box = *sealing::base64Decode(good);

    Bytes flipped = box;
    flipped[flipped.size() / 2] ^= 0x01;
    Bytes truncated(box.begin(), box.begin() + 20);
    const std::string damaged[] = {sealing::base64Encode(flipped), sealing::base64Encode(truncated),
                                   good.substr(0, good.size() - 4), "not base64 at all!", "",
                                   "{\"fullName\":\"plain\"}"};
    for (const auto& text : damaged) {
        setCipher(text);
        auto fresh = restart();
        EXPECT_EQ(errorOf([&] { fresh->load(false); }), kUnreadable) << text;
        json view = fresh->getPublic();
        EXPECT_EQ(view["storageWarning"], kUnreadable) << text;
        EXPECT_EQ(view["fullName"], "");
        EXPECT_EQ(fresh->get(), ApplicationProfile{});
    }
    // Saving again replaces the unreadable record.
    json form = fullForm();
    form["fullName"] = "Fresh Start";
    EXPECT_EQ(service->save(form)["fullName"], "Fresh Start");
    EXPECT_FALSE(restart()->getPublic().contains("storageWarning"));

    // A record sealed under another key (a replaced key file) is unreadable too.
    store->set(Bytes(32, 0x5A), ApplicationProfileService::kProfileKeyAccount);
    EXPECT_EQ(restart()->getPublic()["storageWarning"], kUnreadable);
}

TEST_F(ProfileServiceTest, MissingKeyIsReportedAndTheNextSaveCreatesANewOne) {
    service->save(fullForm());
    const std::string oldKey = readFile(profileKeyFile());
    fs::remove(profileKeyFile());

    auto fresh = restart();
    json view = fresh->getPublic();
    EXPECT_EQ(view["storageWarning"], kMissingKey);
    EXPECT_EQ(view["email"], "");
    EXPECT_FALSE(fs::exists(profileKeyFile())); // reading must not replace the lost key

    json saved = fresh->save(fullForm());
    EXPECT_EQ(saved["saveVerified"], true);
    ASSERT_TRUE(fs::exists(profileKeyFile()));
    EXPECT_NE(readFile(profileKeyFile()), oldKey);
    EXPECT_EQ(restart()->getPublic()["email"], "zoe.marker@example.org");
}

TEST_F(ProfileServiceTest, CachedKeyOutlivesItsFileWithinARun) {
    service->save(fullForm());
    fs::remove(profileKeyFile());
    EXPECT_EQ(service->getPublic()["email"], "zoe.marker@example.org");
    EXPECT_FALSE(service->getPublic().contains("storageWarning"));
}

TEST_F(ProfileServiceTest, KeyFileOfTheWrongLengthIsRefusedAndLeftAlone) {
    service->save(fullForm());
    for (size_t size : {31u, 33u, 0u}) {
        const std::string bad(size, 'k');
        writeFile(profileKeyFile(), bad);
        auto fresh = restart();
        EXPECT_EQ(fresh->getPublic()["storageWarning"], kInvalidKey) << size;
        EXPECT_EQ(errorOf([&] { fresh->save(fullForm()); }), kInvalidKey) << size;
        EXPECT_EQ(readFile(profileKeyFile()), bad);
    }
}

TEST_F(ProfileServiceTest, ConcurrentFirstUseCreatesExactlyOneKey) {
    // Two services over one store (as profile and Resume Studio share it) and many threads:
    // every caller must end up with the key that is on disk.
    auto other = restart();
    std::vector<SymmetricKey> keys;
    std::mutex keysMutex;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            auto& svc = (i % 2) ? *service : *other;
            SymmetricKey k = svc.encryptionKey("concurrent.key", true, true);
            std::lock_guard lock(keysMutex);
            keys.push_back(k);
        });
    for (auto& t : threads) t.join();
    auto onDisk = SymmetricKey::fromBytes(*store->read("concurrent.key"));
    ASSERT_TRUE(onDisk);
    for (const auto& k : keys) EXPECT_TRUE(k == *onDisk);
}

TEST_F(ProfileServiceTest, ResumeIsStoredSealedAndSurvivesSavesWithoutANewPath) {
    const std::string content = "RESUME-PLAINTEXT-MARKER " + std::string(5000, 'r');
    json form = fullForm();
    form["resumePath"] = resumeFile("My CV.TXT", content).string();
    json saved = service->save(form);
    EXPECT_EQ(saved["resumeName"], "My CV.TXT");
    EXPECT_EQ(saved["hasResume"], true);

    const fs::path copy = paths->encryptedResume();
    EXPECT_EQ(modeOf(copy), 0600u);
    EXPECT_EQ(fs::file_size(copy), content.size() + 28);
    EXPECT_EQ(readFile(copy).find("RESUME-PLAINTEXT-MARKER"), std::string::npos);
    EXPECT_TRUE(fs::exists(store->fileURL(ApplicationProfileService::kResumeKeyAccount)));

    json again = restart()->save(fullForm()); // no resumePath: the stored resume stays attached
    EXPECT_EQ(again["resumeName"], "My CV.TXT");
    EXPECT_EQ(again["hasResume"], true);

    auto temp = restart()->createTemporaryResumeFile();
    ASSERT_TRUE(temp);
    EXPECT_EQ(temp->parent_path().parent_path(), paths->tempDirectory());
    EXPECT_EQ(temp->filename(), "My CV.TXT"); // the user's own name, as stored
    EXPECT_EQ(readFile(*temp), content);
    EXPECT_EQ(modeOf(*temp), 0600u);
    auto second = service->createTemporaryResumeFile();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *temp); // a fresh name every time
}

// A save with a new resume is stopped by a crash between its steps; the next load must find
// the name and the bytes of one and the same save.
TEST_F(ProfileServiceTest, AnInterruptedResumeSaveIsFinishedOrUndoneOnTheNextLoad) {
    json form = fullForm();
    form["resumePath"] = resumeFile("old.txt", "OLD RESUME").string();
    service->save(form);
    const std::string oldCopy = readFile(paths->encryptedResume());
    form["resumePath"] = resumeFile("new.md", "NEW RESUME").string();
    service->save(form);
    const std::string newCopy = readFile(paths->encryptedResume());
    ASSERT_FALSE(fs::exists(paths->stagedResume()));

    auto resumeText = [&](const std::shared_ptr<ApplicationProfileService>& s) {
        auto temp = s->createTemporaryResumeFile();
        if (!temp) return std::string("(none)");
        std::string text = readFile(*temp);
        s->deleteTemporaryFile(temp);
        return s->get().resumeName + ": " + text;
    };

    // Stopped after the profile naming new.md was stored, before its copy was moved in place.
    writeFile(paths->stagedResume(), newCopy);
    writeFile(paths->encryptedResume(), oldCopy);
    db->setSetting("stagedResumeCommitted", "x");
    EXPECT_EQ(resumeText(restart()), "new.md: NEW RESUME");
    EXPECT_FALSE(fs::exists(paths->stagedResume()));
    EXPECT_EQ(db->getSetting("stagedResumeCommitted", "gone"), "gone");

    // Stopped before the profile was stored: the staged copy is dropped, old pairs stay.
    writeFile(paths->stagedResume(), oldCopy);
    EXPECT_EQ(resumeText(restart()), "new.md: NEW RESUME");
    EXPECT_FALSE(fs::exists(paths->stagedResume()));

    // A database that refuses the profile row takes the staged copy with it.
    sqlite->execute("CREATE TRIGGER refuse BEFORE UPDATE ON application_profile BEGIN SELECT RAISE(ABORT,'no'); END;");
    form["resumePath"] = resumeFile("third.pdf", "%PDF-1.4 third").string();
    EXPECT_THROW(service->save(form), std::exception);
    EXPECT_FALSE(fs::exists(paths->stagedResume()));
    EXPECT_EQ(resumeText(restart()), "new.md: NEW RESUME");
}

TEST_F(ProfileServiceTest, BadResumesAreRefusedAndNothingIsWritten) {
    json form = fullForm();
    form["resumePath"] = resumeFile("first.pdf", "%PDF-1.4 first").string();
    service->save(form);
    const std::string cipherBefore = *cipher();
    const std::string copyBefore = readFile(paths->encryptedResume());

    fs::create_directory(dir / "folder.pdf");
    ASSERT_EQ(::mkfifo((dir / "pipe.pdf").c_str(), 0600), 0);
    std::string tooBig(ApplicationProfileService::kMaxResumeBytes + 1, 'x');
    struct Case {
        fs::path path;
        std::string message;
    };
    const Case cases[] = {
        {dir / "absent.pdf", "The selected resume could not be found."},
        {resumeFile("resume.exe", "MZ"), "Resume must be PDF, DOCX, TXT, MD, or RTF."},
        {resumeFile("resume", "no extension"), "Resume must be PDF, DOCX, TXT, MD, or RTF."},
        {resumeFile("big.pdf", tooBig), "Resume must be 10 MB or smaller."},
        {dir / "folder.pdf", "The selected resume is not a regular file."},
        {dir / "pipe.pdf", "The selected resume is not a regular file."},
        {resumeFile("empty.docx", ""), "The selected resume is empty."},
    };
    for (const auto& c : cases) {
        form["resumePath"] = c.path.string();
        form["fullName"] = "Changed Name";
        EXPECT_EQ(errorOf([&] { service->save(form); }), c.message) << c.path;
        EXPECT_EQ(*cipher(), cipherBefore) << c.path;
        EXPECT_EQ(readFile(paths->encryptedResume()), copyBefore) << c.path;
    }
    EXPECT_EQ(restart()->getPublic()["resumeName"], "first.pdf");

    // Exactly 10 MB is still accepted.
    form["resumePath"] = resumeFile("max.pdf", std::string(ApplicationProfileService::kMaxResumeBytes, 'm')).string();
    EXPECT_EQ(service->save(form)["resumeName"], "max.pdf");
}

TEST_F(ProfileServiceTest, TemporaryCopyExtensionFollowsTheStoredName) {
    // A resume copy to decrypt, then records with names the form itself would not produce.
    json form = json::object();
    form["resumePath"] = resumeFile("cv.pdf", "%PDF-1.4 body").string();
    service->save(form);
    ApplicationProfile p = service->get();
    const std::pair<std::string, std::string> cases[] = {
        {"resume", ".pdf"}, {"resume.", ".pdf"}, {"r.abcdefghijk", ".pdf"}, {"r.abcdefghij", ".abcdefghij"}, {"CV.Docx", ".Docx"}};
    for (const auto& [name, extension] : cases) {
        p.resumeName = name;
        storeRecord(p);
        auto temp = service->createTemporaryResumeFile();
        ASSERT_TRUE(temp) << name;
        EXPECT_EQ(temp->extension(), extension) << name;
        service->deleteTemporaryFile(temp);
    }
    // No resume name, or no copy on disk: nothing to hand out.
    p.resumeName = "";
    storeRecord(p);
    EXPECT_EQ(service->createTemporaryResumeFile(), std::nullopt);
    p.resumeName = "cv.pdf";
    storeRecord(p);
    fs::remove(paths->encryptedResume());
    EXPECT_EQ(service->createTemporaryResumeFile(), std::nullopt);
}

TEST_F(ProfileServiceTest, TemporaryCopyIsNotProducedFromADamagedOrKeylessCopy) {
    json form = json::object();
    form["resumePath"] = resumeFile("cv.md", "# CV").string();
    service->save(form);
    std::string copy = readFile(paths->encryptedResume());
    copy[copy.size() - 1] ^= 0x01;
    writeFile(paths->encryptedResume(), copy);
    EXPECT_EQ(service->createTemporaryResumeFile(), std::nullopt);

    service->save(form); // a good copy again
    fs::remove(store->fileURL(ApplicationProfileService::kResumeKeyAccount));
    EXPECT_EQ(restart()->createTemporaryResumeFile(), std::nullopt);
    EXPECT_FALSE(fs::exists(store->fileURL(ApplicationProfileService::kResumeKeyAccount)));
    EXPECT_TRUE(fs::is_empty(paths->tempDirectory()));
}

TEST_F(ProfileServiceTest, DeleteTemporaryFileRemovesOnlyFilesInsideTemp) {
    const fs::path temp = paths->tempDirectory();
    const fs::path outside = dir / "Data" / "keep.txt";
    const fs::path elsewhere = dir / "elsewhere.txt";
    writeFile(outside, "keep");
    writeFile(elsewhere, "keep");
    writeFile(temp / "velmora-resume-1.pdf", "tmp");
    fs::create_symlink(elsewhere, temp / "link.pdf");
    fs::create_directory_symlink(dir.path(), temp / "linkdir");

    service->deleteTemporaryFile(std::nullopt);
    service->deleteTemporaryFile(temp / ".." / "keep.txt");
    service->deleteTemporaryFile(temp / "." / ".." / "Temp" / ".." / "keep.txt");
    service->deleteTemporaryFile(elsewhere);
    service->deleteTemporaryFile(temp / "link.pdf");
    service->deleteTemporaryFile(temp / "linkdir" / "elsewhere.txt");
    service->deleteTemporaryFile(temp);
    service->deleteTemporaryFile(temp / "");
    service->deleteTemporaryFile(fs::path("relative.txt"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(elsewhere));
    EXPECT_TRUE(fs::is_directory(temp));
    EXPECT_TRUE(fs::is_symlink(temp / "link.pdf")); // refused, not even the link is touched

    service->deleteTemporaryFile(temp / "sub" / ".." / "velmora-resume-1.pdf");
    EXPECT_FALSE(fs::exists(temp / "velmora-resume-1.pdf"));
    service->deleteTemporaryFile(temp / "never-existed.pdf"); // nothing to do, no failure
}

TEST_F(ProfileServiceTest, DataFolderHoldsNoPlaintextProfileOrResume) {
    json form = fullForm();
    form["resumePath"] = resumeFile("cv.txt", "RESUME-SECRET-7741 experience").string();
    service->save(form);
    auto temp = service->createTemporaryResumeFile();
    ASSERT_TRUE(temp);
    service->deleteTemporaryFile(temp);
    restart()->getPublic();

    for (const auto& entry : fs::recursive_directory_iterator(dir / "Data")) {
        if (!entry.is_regular_file()) continue;
        const std::string bytes = readFile(entry.path());
        for (const char* needle : {"zoe.marker@example.org", "Alexanderplatz", "RESUME-SECRET-7741"})
            EXPECT_EQ(bytes.find(needle), std::string::npos) << needle << " in " << entry.path();
    }
}
