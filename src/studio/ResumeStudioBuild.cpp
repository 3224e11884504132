// The grounded build: every section is assembled locally from verified facts first, and the
// local model may only rephrase it. Drafts are rule-checked and fact-checked; anything unusable
// falls back to the local version, so a build never depends on the model.

#include "studio/ResumeStudioService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <algorithm>
#include <cctype>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace velmora {

namespace {

std::optional<text::Regex> compile(const std::string& pattern) {
    try {
        return text::Regex(pattern);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The first `n` user-perceived characters of the trimmed text.
std::string limit(const std::string& value, size_t n) { return text::prefixCharacters(text::trim(value), n); }

struct SectionPlan {
    std::string ResumeDocument::*field;
    const char* key;
    const char* name;
    const char* rules;
};

const std::array<SectionPlan, 6>& sectionPlans() {
    static const std::array<SectionPlan, 6> plans = {{
        {&ResumeDocument::summary, "summary", "professional summary",
         "Write 2-4 concise sentences. Use only verified facts. Do not invent metrics, employers, skills, credentials, "
         "dates, or responsibilities."},
        {&ResumeDocument::skills, "skills", "skills",
         "Return a concise comma-separated list of skills explicitly present in the verified facts. Prioritize skills "
         "relevant to the target job. Do not add skills not present in the facts."},
        {&ResumeDocument::experience, "experience", "professional experience",
         "Preserve every employer, job title, and date exactly as supplied. Improve wording into ATS-friendly "
         "accomplishment bullets. Never add a metric unless the source facts contain that metric. If a detail is "
         "unclear, omit it rather than guess."},
        {&ResumeDocument::education, "education", "education",
         "Format only education facts that were supplied. Never invent a school, degree, field, date, GPA, or "
         "honors."},
        {&ResumeDocument::certifications, "certifications", "certifications",
         "Format only certifications explicitly supplied. Never invent certifications, issuers, IDs, or dates."},
        {&ResumeDocument::projects, "projects", "projects",
         "Include projects only when a project is explicitly present in the verified facts. Otherwise return an "
         "empty string. Never invent a project."},
    }};
    return plans;
}

// Deletes the decrypted copy of the profile's resume however the build ends.
class TemporaryResumeFile {
public:
    TemporaryResumeFile(std::shared_ptr<ApplicationProfileService> profiles,
                        std::optional<std::filesystem::path> path)
        : profiles_(std::move(profiles)), path_(std::move(path)) {}
    ~TemporaryResumeFile() {
        if (path_ && profiles_) profiles_->deleteTemporaryFile(path_);
    }
    TemporaryResumeFile(const TemporaryResumeFile&) = delete;
    TemporaryResumeFile& operator=(const TemporaryResumeFile&) = delete;
    const std::optional<std::filesystem::path>& path() const { return path_; }

private:
    std::shared_ptr<ApplicationProfileService> profiles_;
    std::optional<std::filesystem::path> path_;
};

// Lines are compared as they stand (only line breaks are gone after the split), so an indented
// "Skills:" inside a multi-line history is content, not the start of another block.
std::string lowerLine(const std::string& line) { return text::lower(line); }

} // namespace

std::string ResumeStudioService::buildFacts(const ApplicationProfile& profile, const std::string& existingText) {
    std::vector<std::string> locationParts;
    for (const std::string& part : {profile.cityState, profile.country}) {
        std::string trimmed = text::trim(part);
        if (!trimmed.empty()) locationParts.push_back(trimmed);
    }
    const std::array<std::string, 16> values = {
        profile.fullName,          profile.email,         profile.phone,          text::join(locationParts, ", "),
        profile.linkedIn,          profile.gitHub,        profile.portfolio,      profile.currentEmployer,
        profile.currentTitle,      profile.employmentHistory, profile.education,  profile.certifications,
        profile.skills,            profile.yearsOfExperience, profile.preferredJobTitles, profile.preferredIndustries};
    std::vector<std::string> lines;
    for (size_t i = 0; i < values.size(); ++i) {
        std::string value = text::trim(values[i]);
        if (!value.empty()) lines.push_back(std::string(factLabels()[i]) + ": " + value);
    }
    std::string existing = text::trim(existingText);
    if (!existing.empty()) {
        lines.emplace_back(kExistingResumeMarker);
        lines.push_back(existing);
    }
    return text::join(lines, "\n");
}

std::string ResumeStudioService::extractFactBlock(const std::string& label, const std::string& facts) {
    if (label.empty() || facts.empty()) return "";
    std::string normalized = text::replaceAll(text::replaceAll(facts, "\r\n", "\n"), "\r", "\n");
    const std::string opener = text::lower(label) + ":";
    std::vector<std::string> block;
    bool inside = false;
    for (const std::string& raw : text::split(normalized, '\n', true)) {
        std::string line = lowerLine(raw);
        if (!inside) {
            if (text::startsWith(line, opener)) {
                inside = true;
                // The value keeps its own case: the colon is ASCII, so its offset in the
                // original line is the offset of the first ":".
                size_t colon = raw.find(':');
                std::string first = colon == std::string::npos ? "" : text::trim(raw.substr(colon + 1));
                if (!first.empty()) block.push_back(first);
            }
            continue;
        }
        if (text::startsWith(line, "existing resume text")) break;
        bool nextLabel = false;
        for (const char* other : factLabels()) {
            if (text::startsWith(line, text::lower(other) + ":")) {
                nextLabel = true;
                break;
            }
        }
        if (nextLabel) break;
        std::string trimmed = text::trim(raw);
        if (!trimmed.empty()) block.push_back(trimmed);
    }
    return text::trim(text::join(block, "\n"));
}

std::vector<std::string> ResumeStudioService::splitSkills(const std::string& value) {
    std::string unified = value;
    for (const char* separator : {"•", "\n", ";", "|"}) unified = text::replaceAll(unified, separator, ",");
    std::vector<std::string> skills;
    std::vector<std::string> seen;
    for (const std::string& piece : text::split(unified, ',', false)) {
        std::string skill = text::trim(piece);
        // One letter is a real skill ("C", "R"); one stray mark is not.
        if (text::characterCount(skill) < 2 && !(skill.size() == 1 && std::isalpha(static_cast<unsigned char>(skill[0]))))
            continue;
        std::string key = text::lower(skill);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        skills.push_back(std::move(skill));
    }
    return skills;
}

bool ResumeStudioService::containsWholeWord(const std::string& value, const std::string& word) {
    if (word.empty()) return false;
    // A full stop ends a sentence as often as it joins a name ("Kafka." vs "node.js"): only a
    // stop followed by a letter or digit continues the token.
    auto regex = compile("(?i)(?<![a-z0-9+#.-])" + text::regexEscape(word) + "(?![a-z0-9+#-])(?!\\.[a-z0-9])");
    return regex && regex->search(value);
}

std::vector<std::string> ResumeStudioService::prioritizeSkillsForJob(std::vector<std::string> skills,
                                                                     const std::string& jobDescription) {
    std::string job = text::lower(jobDescription);
    std::vector<std::pair<bool, std::string>> tagged;
    for (std::string& skill : skills) tagged.emplace_back(containsWholeWord(job, text::lower(skill)), std::move(skill));
    std::stable_sort(tagged.begin(), tagged.end(), [](const auto& a, const auto& b) { return a.first && !b.first; });
    std::vector<std::string> result;
    for (auto& [relevant, skill] : tagged) result.push_back(std::move(skill));
    return result;
}

std::vector<std::string> ResumeStudioService::orderSkillsForSummary(std::vector<std::string> skills,
                                                                    const std::string& jobDescription) {
    std::string job = text::lower(jobDescription);
    UErrorCode status = U_ZERO_ERROR;
    // Under LANG=C ICU's default locale is en_US_POSIX, whose tailoring sorts every capital before
    // every small letter; the root order is the sensible "no particular language" choice there.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status)) collator.reset();
    // Secondary strength: accents count, case does not.
    if (collator) collator->setStrength(icu::Collator::SECONDARY);
    auto before = [&collator](const std::string& a, const std::string& b) {
        if (!collator) return text::lower(a) < text::lower(b);
        UErrorCode err = U_ZERO_ERROR;
        UCollationResult r = collator->compareUTF8(a, b, err);
        return U_SUCCESS(err) && r == UCOL_LESS;
    };
    std::vector<std::pair<bool, std::string>> tagged;
    for (std::string& skill : skills) tagged.emplace_back(containsWholeWord(job, text::lower(skill)), std::move(skill));
    std::stable_sort(tagged.begin(), tagged.end(), [&before](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first;
        return before(a.second, b.second);
    });
    std::vector<std::string> result;
    for (auto& [relevant, skill] : tagged) result.push_back(std::move(skill));
    return result;
}

std::string ResumeStudioService::normalizeExperienceLength(const std::string& value) {
    static const std::optional<text::Regex> bareNumber = compile("^\\d+(?:\\.\\d+)?$");
    std::string trimmed = text::trim(value);
    if (bareNumber && bareNumber->fullMatch(trimmed)) return trimmed + " years";
    return trimmed;
}

namespace {

// What the grounded sections are made of: the profile's fields and the parsed resume file.
struct GroundedInputs {
    std::string title, years, skills, history, education, certifications;
};

std::string groundedSummary(const GroundedInputs& in, const ResumeStudioRequest& request) {
    std::vector<std::string> skills =
        ResumeStudioService::orderSkillsForSummary(ResumeStudioService::splitSkills(in.skills), request.jobDescription);
    if (skills.size() >= 7) skills.resize(6);
    const std::string& role = request.targetRole;
    std::string years = ResumeStudioService::normalizeExperienceLength(in.years);

    std::string first;
    if (!in.title.empty() && !years.empty())
        first = in.title + " with " + years + " of experience, targeting " + role + " opportunities.";
    else if (!in.title.empty())
        first = in.title + " targeting " + role + " opportunities.";
    else if (!years.empty())
        first = "Professional with " + years + " of documented experience, targeting " + role + " opportunities.";
    else
        first = "Professional targeting " + role +
                " opportunities, based on the verified experience in the supplied resume.";
    if (skills.empty()) return first;
    return first + " Verified skills include " + text::join(skills, ", ") + ".";
}

ParsedResumeSections groundedFrom(const GroundedInputs& in, const ParsedResumeSections& parsed,
                                  const ResumeStudioRequest& request) {
    // The Application Profile's own entry wins over what was parsed from a resume file.
    auto pick = [](const std::string& profileText, const std::string& parsedText) {
        std::string own = ResumeStudioService::joinResumeLines(text::split(profileText, '\n', false));
        return limit(own.empty() ? parsedText : own, ResumeStudioService::kMaxSectionCharacters);
    };
    ParsedResumeSections out;
    out.summary = parsed.summary.empty() ? groundedSummary(in, request)
                                         : limit(parsed.summary, ResumeStudioService::kMaxSectionCharacters);
    std::string skillsText = pick(in.skills, parsed.skills);
    std::vector<std::string> skills = ResumeStudioService::splitSkills(skillsText);
    out.skills = skills.size() >= 2
                     ? text::join(ResumeStudioService::prioritizeSkillsForJob(skills, request.jobDescription), ", ")
                     : text::trim(skillsText);
    out.experience = pick(in.history, parsed.experience);
    out.education = pick(in.education, parsed.education);
    out.certifications = pick(in.certifications, parsed.certifications);
    out.projects = limit(parsed.projects, ResumeStudioService::kMaxSectionCharacters);
    return out;
}

GroundedInputs inputsFromFacts(const std::string& facts) {
    return {ResumeStudioService::extractFactBlock("Current title", facts),
            ResumeStudioService::extractFactBlock("Years of experience", facts),
            ResumeStudioService::extractFactBlock("Skills", facts),
            ResumeStudioService::extractFactBlock("Employment history", facts),
            ResumeStudioService::extractFactBlock("Education", facts),
            ResumeStudioService::extractFactBlock("Certifications", facts)};
}

} // namespace

std::string ResumeStudioService::buildGroundedSummary(const std::string& facts, const ResumeStudioRequest& request) {
    return groundedSummary(inputsFromFacts(facts), request);
}

ParsedResumeSections ResumeStudioService::groundedSections(const ApplicationProfile& profile,
                                                           const std::string& existingText,
                                                           const ResumeStudioRequest& request) {
    GroundedInputs in{text::trim(profile.currentTitle), text::trim(profile.yearsOfExperience),
                      text::trim(profile.skills),       text::trim(profile.employmentHistory),
                      text::trim(profile.education),    text::trim(profile.certifications)};
    return groundedFrom(in, parseExistingResume(existingText), request);
}

std::string ResumeStudioService::fallbackSection(const std::string& sectionName, const std::string& facts,
                                                 const ResumeStudioRequest& request) {
    ParsedResumeSections grounded =
        groundedFrom(inputsFromFacts(facts), parseExistingResume(extractExistingResumeText(facts)), request);
    std::string name = text::lower(sectionName);
    if (text::contains(name, "summary")) return grounded.summary;
    if (name == "skills") return grounded.skills;
    if (text::contains(name, "experience")) return grounded.experience;
    if (name == "education") return grounded.education;
    if (name == "certifications") return grounded.certifications;
    if (name == "projects") return grounded.projects;
    return "";
}

bool ResumeStudioService::isUnusableGeneratedSection(const std::string& sectionName, const std::string& value,
                                                     const std::string& fallback) {
    static const std::optional<text::Regex> placeholder =
        compile("(?i)\\[(?:add|your|insert|employer|degree|skill|accomplishment|replace)\\b");
    static const std::optional<text::Regex> notProvided =
        compile("(?i)(?:information|details|experience) (?:was|were|is) not (?:provided|available|supplied)");
    std::string trimmed = text::trim(value);
    std::string grounded = text::trim(fallback);
    if (trimmed.empty()) return !grounded.empty();
    if (placeholder && placeholder->search(trimmed)) return true;
    if (notProvided && notProvided->search(trimmed) && !grounded.empty()) return true;
    std::string name = text::lower(sectionName);
    size_t length = text::characterCount(trimmed);
    size_t fallbackLength = text::characterCount(grounded);
    if (text::contains(name, "summary") && length < 35 && fallbackLength >= 35) return true;
    if (text::contains(name, "experience") && length < 20) return fallbackLength >= 20;
    return false;
}

std::string ResumeStudioService::stripCodeFence(const std::string& answer) {
    static const std::optional<text::Regex> fence = compile("^```(?:text|markdown)?\\s*|\\s*```$");
    return text::trim(fence ? fence->replaceAll(answer, "") : answer);
}

std::string ResumeStudioService::generateSection(const std::string& sectionName, const std::string& facts,
                                                 const ResumeStudioRequest& request, const std::string& rules) const {
    GroundingCheck check(facts, request.jobDescription, request.targetRole, request.language);
    std::string grounded = fallbackSection(sectionName, facts, request);
    return draftSection(text::lower(sectionName), sectionName, facts, request, rules, grounded, check).text;
}

ResumeStudioService::SectionDraft ResumeStudioService::draftSection(const std::string& key,
                                                                    const std::string& sectionName,
                                                                    const std::string& facts,
                                                                    const ResumeStudioRequest& request,
                                                                    const std::string& rules,
                                                                    const std::string& grounded,
                                                                    const GroundingCheck& check) const {
    auto keep = [&](const char* reason, std::vector<std::string> claims = {}) {
        SectionDraft draft{grounded, std::nullopt};
        if (!text::isBlank(grounded)) draft.kept = KeptSection{key, reason, std::move(claims)};
        return draft;
    };
    std::string language = languageName(request.language);
    std::string prompt = "Build the " + sectionName + " section of an ATS-friendly resume. " + rules +
                         "\nABSOLUTE FACT RULE: You may rephrase supplied facts, but you may not create a new fact. "
                         "Never invent employers, job titles, dates, degrees, schools, certifications, skills, "
                         "technologies, projects, years of experience, responsibilities, metrics, or "
                         "accomplishments.\nTarget role: " +
                         request.targetRole + "\nSeniority: " + request.seniority + "\nPreferred style: " +
                         request.style + "\nLength target: " + std::to_string(request.pageCount) +
                         " page(s)\nOutput language: " + language +
                         "\nJob description: " + limit(request.jobDescription, 9000) + "\nVERIFIED SOURCE FACTS:\n" +
                         limit(facts, 16000) +
                         "\nLOCAL GROUNDED SECTION (use as the minimum factual baseline when it contains content):\n" +
                         limit(grounded, 9000) + "\nReturn only the section content with no heading.";
    std::string draft;
    try {
        draft = stripCodeFence(resumes_->askLocalAi(prompt));
    } catch (const std::exception&) {
        return keep("ai_unavailable");
    }
    if (isUnusableGeneratedSection(sectionName, draft, grounded)) return keep("ai_unusable");

    std::string factCheck =
        "Fact-check this resume " + sectionName +
        " against VERIFIED SOURCE FACTS.\nRemove or rewrite every claim that is not explicitly supported. Do not add "
        "any new fact while correcting it. Preserve supported employers, titles, dates, degrees, certifications, "
        "skills, technologies, projects, responsibilities, achievements, years and metrics exactly in meaning. If the "
        "source does not support a claim, delete it. Keep the output in " +
        language + ".\nVERIFIED SOURCE FACTS:\n" + limit(facts, 16000) + "\nDRAFT SECTION:\n" + limit(draft, 10000) +
        "\nReturn only the corrected section with no heading or commentary.";
    std::string checked;
    try {
        checked = stripCodeFence(resumes_->askLocalAi(factCheck));
    } catch (const std::exception&) {
        return keep("ai_unavailable");
    }
    std::string answer = isUnusableGeneratedSection(sectionName, checked, grounded) ? draft : checked;
    // The model's own fact check is advice; whether its answer may replace the user's text is
    // decided here, by comparing it with the sources.
    std::vector<std::string> unsupported = check.unsupportedClaims(answer, key == "skills");
    if (!unsupported.empty()) return keep("unsupported_facts", std::move(unsupported));
    return {limit(answer, kMaxSectionCharacters), std::nullopt};
}

ResumeDocument ResumeStudioService::build(const ResumeStudioRequest& original) {
    ResumeStudioRequest request = original;
    request.targetRole = text::trim(original.targetRole);
    if (request.targetRole.empty()) throw VelmoraError("Enter the job title you are targeting.");
    request.pageCount = original.pageCount == 2 ? 2 : 1;
    request.language = normalizeLanguage(original.language);

    ApplicationProfile profile;
    if (request.useApplicationProfile) profile = profiles_->get();

    std::vector<std::string> texts;
    TemporaryResumeFile temporary(profiles_, request.useApplicationProfile ? profiles_->createTemporaryResumeFile()
                                                                           : std::nullopt);
    if (temporary.path()) {
        try {
            std::string extracted = ResumeService::extractText(temporary.path()->string());
            if (!text::isBlank(extracted)) texts.push_back(extracted);
        } catch (const std::exception&) {
            // The stored copy is a convenience; the build goes on without it.
        }
    }
    std::string sourcePath = text::trim(request.sourceResumePath);
    if (!sourcePath.empty()) {
        std::string extracted = ResumeService::extractText(sourcePath); // its error fails the build
        if (!text::isBlank(extracted) && std::find(texts.begin(), texts.end(), extracted) == texts.end())
            texts.push_back(extracted);
    }
    std::string existing = text::join(texts, "\n\n");
    std::string facts = buildFacts(profile, existing);
    if (text::characterCount(facts) < 40)
        throw VelmoraError(
            "Add information to your Application Profile or upload an existing resume before building a resume.");

    ResumeDocument document;
    std::string name = text::trim(request.name);
    document.name = name.empty() ? request.targetRole + " Resume" : name;
    document.templateName = normalizeTemplate(request.style);
    document.targetRole = request.targetRole;
    document.seniority = text::trim(request.seniority);
    document.pageCount = request.pageCount;
    document.language = request.language;
    document.contact = buildContact(profile, existing);
    document.sourceFacts = limit(facts, 24000);
    document.jobDescription = limit(request.jobDescription, 18000);
    document.coverLetterTemplate = request.useApplicationProfile ? limit(profile.coverLetterTemplate, 12000) : "";
    document.createdAt = now();
    document.updatedAt = document.createdAt;

    ParsedResumeSections grounded = groundedSections(profile, existing, request);
    const std::array<const std::string*, 6> groundedTexts = {&grounded.summary,   &grounded.skills,
                                                             &grounded.experience, &grounded.education,
                                                             &grounded.certifications, &grounded.projects};
    GroundingCheck check(facts, request.jobDescription, request.targetRole, request.language);
    for (size_t i = 0; i < sectionPlans().size(); ++i) {
        const SectionPlan& plan = sectionPlans()[i];
        SectionDraft draft = draftSection(plan.key, plan.name, facts, request, plan.rules, *groundedTexts[i], check);
        document.*plan.field = std::move(draft.text);
        if (draft.kept) document.keptFromSource.push_back(std::move(*draft.kept));
    }

    recalculateAts(document);
    return save(document);
}

} // namespace velmora
