#include "ProfileBed.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::testing;
using nlohmann::json;
using ::testing::ThrowsMessage;
namespace fs = std::filesystem;

namespace {

class ProfileServiceTest : public ::testing::Test {
protected:
    TempDir dir;
    ProfileBed bed{dir / "Data"};
    ApplicationProfileService& service = *bed.service;

    // Every field filled, with blanks around the text, and values of the types the page may
    // send; with a resume of `content` when `resume` names one.
    json form(const std::string& resume = "", const std::string& content = "") {
        json f = json::object();
        for (const auto& field : profileTextFields()) f[field.key] = std::string(" Zoë ") + field.key + " 🌍\n";
        f.update({{"email", "zoe.marker@example.org"}, {"phone", 4930123}, {"yearsOfExperience", 11},
                  {"linkedIn", nullptr}, {"gitHub", ""}, {"portfolio", ""}, {"requireSponsorship", "YES "}});
        if (!content.empty()) writeFile(dir / resume, content);
        if (!resume.empty()) f["resumePath"] = (dir / resume).string();
        return f;
    }
    std::string cipher() { return std::get<std::string>(*bed.sqlite->scalar("SELECT profile_cipher FROM application_profile")); }
    std::string warning() { return bed.restart()->getPublic().value("storageWarning", ""); }
};

} // namespace

TEST_F(ProfileServiceTest, ASaveRoundTripsAcrossRestartsAndUnreadableRecordsOrKeysAreReportedUntilASaveReplacesThem) {
    json saved = service.save(form());
    // The resume name is set by the service only, never by the form; numbers and null read as text.
    EXPECT_EQ(json::array({saved["resumeName"], saved["education"], saved["phone"], saved["linkedIn"],
                           saved["requireSponsorship"], saved["willingToRelocate"]}),
              json::array({"", "Zoë education 🌍", "4930123", "", true, nullptr}));
    json bad = form();
    bad["email"] = "ana@@example";
    EXPECT_THROW(service.save(bad), VelmoraError); // refused before it could replace a good record
    saved.erase("saveVerified");
    EXPECT_EQ(bed.restart()->getPublic(), saved);

    fs::remove(bed.keyFile());
    EXPECT_EQ(warning(), "Velmora cannot decrypt this older Application Profile because its local encryption key is "
                         "unavailable. Re-enter the profile and click Save Profile to create a new record.");
    EXPECT_FALSE(fs::exists(bed.keyFile())); // reading must not replace the lost key
    bed.restart()->save(form());
    EXPECT_EQ(warning(), ""); // a save replaces what could not be read

    // Altered sealed text fails to open; text that is not sealed at all is no less a lost record.
    std::string altered = cipher();
    altered[altered.size() / 2] = altered[altered.size() / 2] == 'A' ? 'B' : 'A';
    for (const auto& text : {altered, std::string("{\"fullName\":\"x\"}")}) {
        bed.sqlite->execute("UPDATE application_profile SET profile_cipher=?;", {text});
        EXPECT_EQ(warning(),
                  "The saved Application Profile was created by an older build or its local encryption key is "
                  "unavailable. Re-enter the profile and click Save Profile to create a new local record.") << text;
    }

    writeFile(bed.keyFile(), std::string(31, 'k'));
    EXPECT_THAT([&] { bed.restart()->save(form()); },
                ThrowsMessage<VelmoraError>("The stored Velmora encryption key is invalid."));

    // Flags as the page may send them.
    const std::pair<json, std::optional<bool>> flags[] = {{"YES ", true}, {" No", false}, {"maybe", {}}, {-3, true}};
    for (const auto& [value, expected] : flags)
        EXPECT_EQ(ApplicationProfileService::readOptionalBool(json{{"k", value}}, "k"), expected) << value;
}

TEST_F(ProfileServiceTest, ResumeIsStoredSealedAndBadResumesChangeNothing) {
    const std::string content = "RESUME-SECRET-7741 " + std::string(5000, 'r');
    service.save(form("My CV.TXT", content));
    EXPECT_EQ(bed.restart()->save(form())["resumeName"], "My CV.TXT"); // no resumePath: the resume stays
    EXPECT_EQ(ProfileBed::resumeOf(*bed.restart()), content);
    for (const auto& entry : fs::recursive_directory_iterator(dir / "Data"))
        for (const char* secret : {"Zoë education", "RESUME-SECRET-7741"})
            EXPECT_FALSE(entry.is_regular_file() && readFile(entry.path()).find(secret) != std::string::npos)
                << secret << " in " << entry.path();

    // Removal stays inside Temp whatever the path says: a link in it is never followed out.
    fs::create_directory_symlink(dir.path(), bed.paths->tempDirectory() / "linkdir");
    service.deleteTemporaryFile(bed.paths->tempDirectory() / "linkdir" / "Data" / "velmora.db");
    EXPECT_TRUE(fs::exists(bed.paths->database()));

    // A lost key gives no copy, and no new key.
    fs::remove(bed.keyFile(ApplicationProfileService::kResumeKeyAccount));
    EXPECT_EQ(ProfileBed::resumeOf(*bed.restart()), "(none)");
    EXPECT_FALSE(fs::exists(bed.keyFile(ApplicationProfileService::kResumeKeyAccount)));

    const std::string cipherBefore = cipher();
    ASSERT_EQ(::mkfifo((dir / "pipe.pdf").c_str(), 0600), 0);
    for (const char* empty : {"empty.docx", "resume.exe", "big.pdf"}) writeFile(dir / empty, "");
    fs::resize_file(dir / "big.pdf", ApplicationProfileService::kMaxResumeBytes + 1);
    const std::pair<std::string, std::string> cases[] = {
        {"absent.pdf", "The selected resume could not be found."}, {"big.pdf", "Resume must be 10 MB or smaller."},
        {"resume.exe", "Resume must be PDF, DOCX, TXT, MD, or RTF."}, {"empty.docx", "The selected resume is empty."},
        {"pipe.pdf", "The selected resume is not a regular file."}};
    for (const auto& [name, message] : cases)
        EXPECT_THAT([&] { service.save(form(name)); }, ThrowsMessage<VelmoraError>(message)) << name;
    EXPECT_EQ(cipher(), cipherBefore);
    fs::resize_file(dir / "big.pdf", ApplicationProfileService::kMaxResumeBytes); // exactly 10 MB is fine
    EXPECT_EQ(service.save(form("big.pdf"))["resumeName"], "big.pdf");
}

// A save with a new resume is stopped by a crash between its steps; the next load must find
// the resume that the stored profile names.
TEST_F(ProfileServiceTest, AnInterruptedResumeSaveIsFinishedOrUndoneOnTheNextLoad) {
    service.save(form("old.txt", "OLD RESUME"));
    const std::string oldCopy = readFile(bed.paths->encryptedResume());
    service.save(form("new.md", "NEW RESUME"));
    // Stopped after the profile naming new.md was stored, before its copy was moved in place.
    writeFile(bed.paths->stagedResume(), readFile(bed.paths->encryptedResume()));
    writeFile(bed.paths->encryptedResume(), oldCopy);
    bed.db->setSetting("stagedResumeCommitted", "x");
    EXPECT_EQ(ProfileBed::resumeOf(*bed.restart()), "NEW RESUME");
    // Stopped before the profile was stored: the staged copy is dropped (the mark above went once followed).
    writeFile(bed.paths->stagedResume(), oldCopy);
    EXPECT_EQ(ProfileBed::resumeOf(*bed.restart()), "NEW RESUME");
    EXPECT_FALSE(fs::exists(bed.paths->stagedResume()));
}
