// AI-assisted editing inside the studio: section rewrites, bullet improvement and cover letters.
// Each asks the local model once and has a local answer when the model is not there.

#include "studio/ResumeStudioService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

namespace velmora {

namespace {

std::string limit(const std::string& value, size_t n) { return text::prefixCharacters(text::trim(value), n); }

const std::string* sectionText(const ResumeDocument& document, const std::string& section) {
    std::string key = text::lower(section);
    if (key == "summary") return &document.summary;
    if (key == "skills") return &document.skills;
    if (key == "experience") return &document.experience;
    if (key == "education") return &document.education;
    if (key == "certifications") return &document.certifications;
    if (key == "projects") return &document.projects;
    return nullptr;
}

std::string rewriteInstruction(const std::string& mode) {
    std::string key = text::lower(mode);
    if (key == "shorten") return "Make it more concise while preserving every fact.";
    if (key == "strengthen")
        return "Strengthen the wording with action-oriented, ATS-friendly language while preserving every fact. Do "
               "not invent metrics.";
    if (key == "regenerate")
        return "Regenerate the section from the verified source facts, preserving only facts that are explicitly "
               "supported.";
    return "Rewrite for clarity and professional impact while preserving every fact.";
}

// A bullet marker, blanks and line breaks at either end go; the sentence stays as typed.
std::string stripBullet(const std::string& bullet) {
    static const text::Regex edges("^[•\\-\\s]+|[•\\-\\s]+$");
    return edges.replaceAll(bullet, "");
}

} // namespace

json ResumeStudioService::rewriteSection(const ResumeDocument& document, const std::string& section,
                                         const std::string& mode) const {
    const std::string* current = sectionText(document, section);
    if (!current || text::isBlank(*current)) return json{{"text", ""}, {"notice", "This section is empty."}};
    std::string prompt =
        "You are editing one resume section. " + rewriteInstruction(mode) +
        "\nSTRICT RULES: Never invent employers, titles, dates, education, certifications, projects, skills, "
        "responsibilities, metrics, years, or achievements. Use only the verified source facts. If a claim cannot be "
        "supported, remove it.\nTarget role: " +
        document.targetRole + "\nOutput language: " + languageName(document.language) +
        "\nJob description: " + limit(document.jobDescription, 9000) +
        "\nVerified source facts: " + limit(document.sourceFacts, 16000) + "\nSection: " + section +
        "\nCurrent section:\n" + *current + "\nReturn only the revised section text.";
    try {
        std::string answer = resumes_->askLocalAi(prompt);
        return json{{"text", answer}, {"notice", "Rewritten with fact-preserving AI assistance."}};
    } catch (const std::exception&) {
        return json{{"text", *current}, {"notice", "AI assistance was unavailable; the section was left unchanged."}};
    }
}

json ResumeStudioService::improveBullet(const std::string& bullet, const std::string& sourceFacts,
                                        const std::string& targetRole, const std::string& jobDescription,
                                        const std::string& language) const {
    std::string trimmed = text::trim(bullet);
    if (trimmed.empty()) throw VelmoraError("Enter a bullet to improve.");
    std::string prompt =
        "Improve this resume achievement bullet. Preserve the original facts exactly. Use a strong action verb and "
        "clearer outcome-oriented wording. NEVER invent a number, percentage, dollar amount, employer, technology, "
        "responsibility, or achievement. If no metric was provided, do not add one.\nTarget role: " +
        targetRole + "\nOutput language: " + languageName(language) + "\nJob description: " +
        limit(jobDescription, 7000) + "\nVerified facts: " + limit(sourceFacts, 12000) +
        "\nOriginal bullet: " + trimmed + "\nReturn one improved bullet only.";
    try {
        return json{{"bullet", resumes_->askLocalAi(prompt)}, {"mode", "private_ai"}};
    } catch (const std::exception&) {
        return json{{"bullet", stripBullet(bullet)}, {"mode", "offline"}};
    }
}

json ResumeStudioService::generateCoverLetter(const ResumeDocument& document, const std::string& company) const {
    std::string prompt =
        "Write a concise professional cover letter for the target role below using ONLY the verified facts. Never "
        "invent employers, accomplishments, dates, credentials, technologies, or metrics. Do not claim knowledge about "
        "the company beyond what the user supplied. 250-350 words maximum.\nCompany: " +
        company + "\nTarget role: " + document.targetRole + "\nOutput language: " + languageName(document.language) +
        "\nJob description: " + limit(document.jobDescription, 9000) +
        "\nVerified facts: " + limit(document.sourceFacts, 16000) +
        "\nUser-provided cover-letter template/style (use only as a structural or tone reference; do not treat "
        "unsupported claims in it as facts): " +
        limit(document.coverLetterTemplate, 7000);
    try {
        return json{{"text", resumes_->askLocalAi(prompt)}, {"mode", "private_ai"}};
    } catch (const std::exception&) {
        std::string trimmedCompany = text::trim(company);
        std::string letter = "Dear Hiring Manager,\n\nI am interested in the " + document.targetRole + " opportunity" +
                             (trimmedCompany.empty() ? "" : " with " + trimmedCompany) +
                             ". My background includes the experience and skills summarized in my attached resume. I "
                             "would welcome the opportunity to discuss how my verified experience aligns with the "
                             "needs of this role.\n\nThank you for your consideration.\n\nSincerely,";
        return json{{"text", letter}, {"mode", "offline"}};
    }
}

} // namespace velmora
