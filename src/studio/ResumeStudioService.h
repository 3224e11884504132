#pragma once

#include "core/JSONTools.h"
#include "core/Clock.h"
#include "profile/ApplicationProfile.h"
#include "profile/ApplicationProfileService.h"
#include "resume/ResumeService.h"
#include "storage/SQLiteDatabase.h"
#include "storage/SecureStoreService.h"
#include "storage/SymmetricKey.h"
#include "studio/GroundingCheck.h"
#include "studio/ParsedResumeSections.h"
#include "studio/ResumeDocument.h"
#include "studio/ResumeStudioRequest.h"

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Resume Studio: the encrypted library of built resumes, the grounded build pipeline, ATS
// scoring, parsing of existing resumes, and the AI-assisted rewrites and cover letters.
//
// Grounding is the rule everything here follows: each section is first assembled locally from
// verified facts (the Application Profile and the user's own resume text), and the local model
// may only rephrase it. Every AI path has a local result, so nothing here fails because the
// model is missing.
//
// Thread safety: operations may run concurrently (the bridge runs builds and rewrites off the UI
// thread); the only shared state is the library key cache, guarded by the key store's lock.
class ResumeStudioService {
public:
    static constexpr const char* kLibraryKeyAccount = "resume.library.encryption.key.v1";
    static constexpr const char* kExistingResumeMarker = "EXISTING RESUME TEXT (verified user document):";
    static const std::array<const char*, 16>& factLabels();

    ResumeStudioService(std::shared_ptr<SQLiteDatabase> database, std::shared_ptr<ResumeService> resumes,
                        std::shared_ptr<ApplicationProfileService> profiles,
                        std::shared_ptr<SecureStoreService> secureStore, std::shared_ptr<Clock> clock = nullptr);

    // ---- library ------------------------------------------------------------------------

    // Creates the resume_library table and its index. Errors propagate. Run once at start-up.
    void initialize();
    // {id, name, targetRole, atsScore, updatedAt, resume} per readable row, newest first.
    // Rows that cannot be opened are left out (and counted by libraryStatus); a failing query
    // gives an empty list.
    json list();
    // {documents, unreadableCount, reason, message} and, for a damaged key, setAsideKey: how
    // many stored rows cannot be opened and why. reason is "" (none), "missing_key" (the key file
    // was gone and a new key was made this run), "damaged_key" (it was moved to setAsideKey) or
    // "undecryptable" (sealed with another key, or altered). The rows themselves are kept.
    json libraryStatus();
    std::optional<ResumeDocument> get(int64_t id);
    // Inserts (id <= 0) or updates the row; sets id, createdAt and updatedAt on `document`.
    // "Resume was not found." when the row to update no longer exists.
    ResumeDocument save(ResumeDocument& document);
    // Stamps updatedAt, rescores, saves: what the editor's save does.
    ResumeDocument updateAndSave(ResumeDocument document);
    // "Resume was not found." for an unknown id. A blank name gives "<source name> Copy".
    ResumeDocument duplicate(int64_t id, const std::string& name);
    // "Resume was not found." for an unknown id.
    void remove(int64_t id);

    // ---- normalisers --------------------------------------------------------------------

    static std::string normalizeLanguage(const std::string& text);
    static std::string normalizeTemplate(const std::string& style);
    static std::string languageName(const std::string& code);

    // ---- ATS scoring --------------------------------------------------------------------

    static std::vector<std::string> extractKeywords(const std::string& text, size_t max);
    static void recalculateAts(ResumeDocument& document);

    // ---- parsing existing resumes -------------------------------------------------------

    static std::string extractExistingResumeText(const std::string& facts);
    static ParsedResumeSections parseExistingResume(const std::string& resumeText);
    static std::string normalizeHeading(const std::string& line);
    static std::string headingToSection(const std::string& normalizedHeading);
    static std::string joinResumeLines(const std::vector<std::string>& lines);
    static std::string firstNonEmptyLine(const std::string& text);
    static std::string buildContact(const ApplicationProfile& profile, const std::string& existingText);

    // ---- build --------------------------------------------------------------------------

    // Builds, scores and stores a resume. Throws VelmoraError for an empty target role, too few
    // facts, an unreadable uploaded file, or a failing save. Always deletes the temporary copy
    // of the profile's resume it made.
    ResumeDocument build(const ResumeStudioRequest& request);

    static std::string buildFacts(const ApplicationProfile& profile, const std::string& existingText);
    // Never fails: any AI trouble falls back to the grounded section.
    std::string generateSection(const std::string& sectionName, const std::string& facts,
                                const ResumeStudioRequest& request, const std::string& rules) const;
    static std::string fallbackSection(const std::string& sectionName, const std::string& facts,
                                       const ResumeStudioRequest& request);
    // The six grounded sections: the profile's own fields (never read back out of the facts
    // text) where the profile has them, else what the existing resume says, each at most
    // kMaxSectionCharacters long.
    static ParsedResumeSections groundedSections(const ApplicationProfile& profile, const std::string& existingText,
                                                 const ResumeStudioRequest& request);
    static constexpr size_t kMaxSectionCharacters = 24000;
    static std::string extractFactBlock(const std::string& label, const std::string& facts);
    static std::string buildGroundedSummary(const std::string& facts, const ResumeStudioRequest& request);
    static std::vector<std::string> splitSkills(const std::string& text);
    static bool containsWholeWord(const std::string& text, const std::string& word);
    // Skills named in the job description first; otherwise the order given is kept.
    static std::vector<std::string> prioritizeSkillsForJob(std::vector<std::string> skills,
                                                           const std::string& jobDescription);
    // Skills named in the job description first; within each group, localized case-insensitive order.
    static std::vector<std::string> orderSkillsForSummary(std::vector<std::string> skills,
                                                          const std::string& jobDescription);
    static std::string normalizeExperienceLength(const std::string& text);
    static bool isUnusableGeneratedSection(const std::string& sectionName, const std::string& text,
                                           const std::string& fallback);
    // Removes a leading ```/```text/```markdown fence and a trailing ``` fence, then trims.
    static std::string stripCodeFence(const std::string& answer);

    // ---- rewrites and cover letters ------------------------------------------------------

    // {text, notice}
    json rewriteSection(const ResumeDocument& document, const std::string& section, const std::string& mode) const;
    // {bullet, mode}; "Enter a bullet to improve." for a blank bullet.
    json improveBullet(const std::string& bullet, const std::string& sourceFacts, const std::string& targetRole,
                       const std::string& jobDescription, const std::string& language) const;
    // {text, mode}
    json generateCoverLetter(const ResumeDocument& document, const std::string& company) const;

private:
    struct SectionDraft {
        std::string text;
        std::optional<KeptSection> kept; // set when the grounded text was used
    };
    SectionDraft draftSection(const std::string& key, const std::string& sectionName, const std::string& facts,
                              const ResumeStudioRequest& request, const std::string& rules,
                              const std::string& grounded, const GroundingCheck& check) const;

    struct LibraryScan {
        json documents = json::array();
        int64_t unreadable = 0;
    };
    // What happened to the library key this run, for libraryStatus.
    struct KeyTrouble {
        std::string reason; // "missing_key" or "damaged_key"
        std::string setAsidePath;
    };
    LibraryScan scanLibrary();
    bool hasSealedRows();
    std::string sealDocument(const ResumeDocument& document);
    std::optional<ResumeDocument> deserializeStored(const std::string& stored);
    SymmetricKey libraryKey();
    std::string now() const;

    std::shared_ptr<SQLiteDatabase> database_;
    std::shared_ptr<ResumeService> resumes_;
    std::shared_ptr<ApplicationProfileService> profiles_;
    std::shared_ptr<SecureStoreService> secureStore_;
    std::shared_ptr<Clock> clock_;
    std::string libraryKeyAccount_ = kLibraryKeyAccount;
    std::optional<SymmetricKey> libraryKeyCache_; // guarded by secureStore_->lockKeys()
    std::optional<KeyTrouble> keyTrouble_;        // guarded by secureStore_->lockKeys()
};

} // namespace velmora
