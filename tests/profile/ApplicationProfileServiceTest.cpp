#include "ProfileBed.h"

#include "core/DateUtil.h"
#include "core/Text.h"
#include "storage/Sealing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::testing;
using nlohmann::json;
using ::testing::ThrowsMessage;
namespace fs = std::filesystem;

namespace {

const std::string kUnreadable =
    "The saved Application Profile was created by an older build or its local encryption key is unavailable. "
    "Re-enter the profile and click Save Profile to create a new local record.";
const std::string kEmail = "zoe.marker@example.org";

class ProfileServiceTest : public ::testing::Test {
protected:
    TempDir dir;
    ProfileBed bed{dir / "Data", std::make_shared<FixedClock>(*DateUtil::parse("2026-03-04T05:06:07.089Z"))};
    ApplicationProfileService& service = *bed.service;

    // Every field filled, with blanks around the text, and the flags as the page may send them;
    // with a resume of `content` when `resume` names one.
    json form(const std::string& resume = "", const std::string& content = "") {
        json f = json::object();
        for (const auto& field : profileTextFields()) f[field.key] = std::string(" Zoë ") + field.key + " 🌍\n";
        f.update({{"email", kEmail}, {"phone", 4930123}, {"yearsOfExperience", 11}, {"linkedIn", nullptr},
                  {"gitHub", ""}, {"portfolio", ""}, {"requireSponsorship", "YES "}, {"willingToRelocate", false}});
        if (!content.empty()) writeFile(dir / resume, content);
        if (!resume.empty()) f["resumePath"] = (dir / resume).string();
        return f;
    }
    std::string cipher() { return std::get<std::string>(*bed.sqlite->scalar("SELECT profile_cipher FROM application_profile;")); }
    std::string warning() { return bed.restart()->getPublic().value("storageWarning", ""); }
};

} // namespace

TEST_F(ProfileServiceTest, ASaveRoundTripsAcrossRestartsAndFormValuesOfAnyTypeAreRead) {
    json empty = service.getPublic();
    EXPECT_EQ(empty.size(), 28u);
    EXPECT_TRUE(empty["requireSponsorship"].is_null());
    EXPECT_FALSE(fs::exists(bed.keyFile())); // reading never creates a key

    json saved = service.save(form());
    EXPECT_EQ(saved["saveVerified"], true);
    EXPECT_EQ(saved["updatedAt"], "2026-03-04T05:06:07.089Z");
    EXPECT_EQ(saved["resumeName"], ""); // set by the service only, never by the form
    EXPECT_EQ(saved["education"], "Zoë education 🌍");
    EXPECT_EQ(saved["phone"], "4930123"); // numbers and null read as text
    EXPECT_EQ(saved["linkedIn"], "");
    EXPECT_EQ(saved["requireSponsorship"], true);
    json bad = form();
    bad["email"] = "ana@@example";
    EXPECT_THROW(service.save(bad), VelmoraError); // refused before it could replace a good record
    saved.erase("saveVerified");
    EXPECT_EQ(bed.restart()->getPublic(), saved);
    EXPECT_EQ(fileMode(bed.keyFile()), 0600u);

    const std::pair<json, std::optional<bool>> flags[] = {
        {"YES ", true}, {" No", false}, {"1", true},         {"0", false},  {"TRUE", true}, {"maybe", {}},     {"", {}},
        {0, false},     {-3, true},     {json::array(), {}}, {nullptr, {}}, {true, true},   {"yes please", {}}};
    for (const auto& [value, expected] : flags)
        EXPECT_EQ(ApplicationProfileService::readOptionalBool(json{{"k", value}}, "k"), expected) << value;
    EXPECT_EQ(service.save(json::array({1, 2}))["fullName"], ""); // not an object: the empty form
}

TEST_F(ProfileServiceTest, UnreadableRecordsAndKeysAreReportedAndOnlyASaveReplacesThem) {
    service.save(form());
    const std::string good = cipher(), goodKey = readFile(bed.keyFile());
    Bytes flipped = *sealing::base64Decode(good);
    flipped[flipped.size() / 2] ^= 0x01;
    for (const auto& text : {sealing::base64Encode(flipped), good.substr(0, 24), std::string("{\"fullName\":\"x\"}")}) {
        bed.sqlite->execute("UPDATE application_profile SET profile_cipher=?;", {text});
        EXPECT_EQ(warning(), kUnreadable) << text;
    }
    EXPECT_EQ(service.save(form())["email"], kEmail); // saving again replaces the unreadable record
    bed.store->set(Bytes(32, 0x5A), ApplicationProfileService::kProfileKeyAccount); // a replaced key
    EXPECT_EQ(warning(), kUnreadable);

    const std::string invalidKey = "The stored Velmora encryption key is invalid.";
    writeFile(bed.keyFile(), std::string(31, 'k'));
    EXPECT_EQ(warning(), invalidKey);
    EXPECT_THAT([&] { bed.restart()->save(form()); }, ThrowsMessage<VelmoraError>(invalidKey));
    EXPECT_EQ(fs::file_size(bed.keyFile()), 31u); // left alone

    fs::remove(bed.keyFile());
    EXPECT_EQ(service.getPublic()["email"], kEmail); // this run still holds its key
    EXPECT_EQ(warning(), "Velmora cannot decrypt this older Application Profile because its local encryption key is "
                         "unavailable. Re-enter the profile and click Save Profile to create a new record.");
    EXPECT_FALSE(fs::exists(bed.keyFile())); // reading must not replace the lost key
    EXPECT_EQ(bed.restart()->save(form())["saveVerified"], true);
    EXPECT_NE(readFile(bed.keyFile()), goodKey);
    EXPECT_EQ(warning(), "");
}

TEST_F(ProfileServiceTest, ResumeIsStoredSealedAndOnlyEverDecryptedIntoTemp) {
    const std::string content = "RESUME-SECRET-7741 " + std::string(5000, 'r');
    EXPECT_EQ(service.save(form("My CV.TXT", content))["resumeName"], "My CV.TXT");
    EXPECT_EQ(bed.restart()->save(form())["resumeName"], "My CV.TXT"); // no resumePath: the resume stays
    auto copy = bed.restart()->createTemporaryResumeFile();
    ASSERT_TRUE(copy);
    EXPECT_EQ(readFile(*copy), content);
    for (const auto& entry : fs::recursive_directory_iterator(dir / "Data"))
        for (const std::string& secret : {kEmail, std::string("RESUME-SECRET-7741")})
            EXPECT_FALSE(entry.is_regular_file() && entry.path() != *copy && text::contains(readFile(entry.path()), secret))
                << secret << " in " << entry.path();

    // Removal stays inside Temp whatever the path says; links are never followed out of it.
    const fs::path temp = bed.paths->tempDirectory();
    fs::create_symlink(bed.paths->database(), temp / "link.pdf");
    fs::create_directory_symlink(dir.path(), temp / "linkdir");
    for (const fs::path& refused : {temp / "link.pdf", temp / "linkdir" / "Data" / "velmora.db", temp,
                                    temp / "." / ".." / "Temp" / ".." / "velmora.db"})
        service.deleteTemporaryFile(refused);
    EXPECT_TRUE(fs::is_symlink(temp / "link.pdf"));
    EXPECT_TRUE(fs::exists(bed.paths->database()));
    EXPECT_TRUE(fs::exists(*copy));
    service.deleteTemporaryFile(temp / "sub" / ".." / copy->parent_path().filename() / copy->filename());
    EXPECT_FALSE(fs::exists(*copy));
    fs::remove(temp / "link.pdf");
    fs::remove(temp / "linkdir");

    // A damaged copy or a lost key gives no copy, and no new key.
    const std::string sealed = readFile(bed.paths->encryptedResume());
    writeFile(bed.paths->encryptedResume(), sealed.substr(0, sealed.size() - 1) + char(sealed.back() ^ 1));
    EXPECT_EQ(ProfileBed::resumeOf(service), "(none)");
    writeFile(bed.paths->encryptedResume(), sealed);
    fs::remove(bed.keyFile(ApplicationProfileService::kResumeKeyAccount));
    EXPECT_EQ(ProfileBed::resumeOf(*bed.restart()), "(none)");
    EXPECT_FALSE(fs::exists(bed.keyFile(ApplicationProfileService::kResumeKeyAccount)));
    EXPECT_TRUE(fs::is_empty(temp));
}

// A save with a new resume is stopped by a crash between its steps; the next load must find
// the name and the bytes of one and the same save.
TEST_F(ProfileServiceTest, AnInterruptedResumeSaveIsFinishedOrUndoneOnTheNextLoad) {
    service.save(form("old.txt", "OLD RESUME"));
    const std::string oldCopy = readFile(bed.paths->encryptedResume());
    service.save(form("new.md", "NEW RESUME"));
    const std::string newCopy = readFile(bed.paths->encryptedResume());
    auto nameAndResume = [&] {
        auto next = bed.restart();
        return next->get().resumeName + ": " + ProfileBed::resumeOf(*next);
    };
    // Stopped after the profile naming new.md was stored, before its copy was moved in place.
    writeFile(bed.paths->stagedResume(), newCopy);
    writeFile(bed.paths->encryptedResume(), oldCopy);
    bed.db->setSetting("stagedResumeCommitted", "x");
    EXPECT_EQ(nameAndResume(), "new.md: NEW RESUME");
    EXPECT_EQ(bed.db->getSetting("stagedResumeCommitted", "gone"), "gone");
    // Stopped before the profile was stored: the staged copy is dropped.
    writeFile(bed.paths->stagedResume(), oldCopy);
    EXPECT_EQ(nameAndResume(), "new.md: NEW RESUME");
    EXPECT_FALSE(fs::exists(bed.paths->stagedResume()));
    // A database that refuses the profile row takes the staged copy with it.
    bed.sqlite->execute("CREATE TRIGGER refuse BEFORE UPDATE ON application_profile BEGIN SELECT RAISE(ABORT,''); END;");
    EXPECT_THROW(service.save(form("third.pdf", "%PDF-1.4 third")), std::exception);
    EXPECT_FALSE(fs::exists(bed.paths->stagedResume()));
    EXPECT_EQ(nameAndResume(), "new.md: NEW RESUME");
}

TEST_F(ProfileServiceTest, BadResumesAndOversizedTextAreRefusedOrCutAndNothingElseIsWritten) {
    service.save(form("first.pdf", "%PDF-1.4 first"));
    const std::string cipherBefore = cipher(), copyBefore = readFile(bed.paths->encryptedResume());
    fs::create_directory(dir / "folder.pdf");
    ASSERT_EQ(::mkfifo((dir / "pipe.pdf").c_str(), 0600), 0);
    writeFile(dir / "empty.docx", "");
    writeFile(dir / "resume.exe", "MZ");
    writeFile(dir / "big.pdf", "");
    fs::resize_file(dir / "big.pdf", ApplicationProfileService::kMaxResumeBytes + 1);
    const std::pair<std::string, std::string> cases[] = {
        {"absent.pdf", "The selected resume could not be found."},  {"resume.exe", "Resume must be PDF, DOCX, TXT, MD, or RTF."},
        {"big.pdf", "Resume must be 10 MB or smaller."},             {"folder.pdf", "The selected resume is not a regular file."},
        {"pipe.pdf", "The selected resume is not a regular file."}, {"empty.docx", "The selected resume is empty."}};
    for (const auto& [name, message] : cases) {
        EXPECT_THAT([&] { service.save(form(name)); }, ThrowsMessage<VelmoraError>(message)) << name;
        EXPECT_EQ(cipher(), cipherBefore) << name;
        EXPECT_EQ(readFile(bed.paths->encryptedResume()), copyBefore) << name;
    }
    fs::resize_file(dir / "big.pdf", ApplicationProfileService::kMaxResumeBytes); // exactly 10 MB is fine
    json huge = form("big.pdf");
    huge["employmentHistory"] = std::string(1 << 20, 'h');
    const json saved = service.save(huge);
    EXPECT_EQ(saved["resumeName"], "big.pdf");
    EXPECT_EQ(saved["employmentHistory"].get<std::string>().size(), 20000u);
}
