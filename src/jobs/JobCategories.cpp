#include "jobs/JobCategories.h"

#include "core/Text.h"

#include <utility>
#include <vector>

namespace velmora {

namespace {

using KeywordTable = std::vector<std::pair<const char*, std::vector<const char*>>>;

// Plain substring keywords over the lower-cased title; the first row with a hit wins, so the
// order settles overlaps ("Security Engineer" is Cybersecurity, not Software). Trailing
// spaces are part of a keyword: "ai " should not hit "email" or "maintenance".
const KeywordTable& titleTable() {
    static const KeywordTable table = {
        {"Cybersecurity", {"security", "cyber", "soc", "iam", "penetration", "infosec"}},
        {"Software & IT",
         {"software", "developer", "engineer", "devops", "sre", "cloud", "programmer", "frontend", "backend",
          "full stack"}},
        {"Data & AI", {"data", "analyst", "analytics", "machine learning", "ai ", "scientist", "bi "}},
        {"Product", {"product manager", "product owner", "product lead"}},
        {"Project Management", {"project manager", "program manager", "scrum", "agile"}},
        {"Customer Support", {"customer", "support", "success", "help desk", "service"}},
        {"Sales", {"sales", "account executive", "business development", "revenue"}},
        {"Marketing", {"marketing", "seo", "content", "growth", "social media"}},
        {"Design & Creative", {"design", "ux", "ui ", "graphic", "creative"}},
        {"Finance & Accounting", {"finance", "account", "bookkeep", "controller", "payroll"}},
        {"Human Resources", {"hr ", "human resources", "recruit", "talent", "people operations"}},
        {"Healthcare", {"nurse", "medical", "clinical", "health", "pharmacy"}},
        {"Writing & Editorial", {"writer", "editor", "copywriter", "journal"}},
        {"Legal", {"legal", "attorney", "counsel", "paralegal"}},
        {"Education", {"teacher", "tutor", "instructor", "education", "trainer"}},
    };
    return table;
}

// The job boards' own vocabularies are coarser; this table is shorter and ordered differently.
const KeywordTable& sourceTable() {
    static const KeywordTable table = {
        {"Software & IT", {"software", "programming", "development", "engineering", "devops"}},
        {"Cybersecurity", {"cyber", "security"}},
        {"Data & AI", {"data", "analytics", "machine learning", "artificial intelligence"}},
        {"Customer Support", {"customer", "support"}},
        {"Sales", {"sales"}},
        {"Marketing", {"marketing"}},
        {"Design & Creative", {"design", "creative"}},
        {"Finance & Accounting", {"finance", "account"}},
        {"Human Resources", {"human", "recruit", "hr"}},
        {"Healthcare", {"health", "medical"}},
        {"Product", {"product"}},
        {"Project Management", {"project", "management"}},
    };
    return table;
}

const char* firstHit(const KeywordTable& table, const std::string& lowered) {
    for (const auto& [category, keywords] : table)
        for (const char* keyword : keywords)
            if (lowered.find(keyword) != std::string::npos) return category;
    return nullptr;
}

constexpr const char* kOther = "Other Remote Jobs";

} // namespace

std::string classify(const std::string& title) {
    const char* hit = firstHit(titleTable(), text::lower(title));
    return hit ? hit : kOther;
}

std::string normalizeCategory(const std::string& sourceCategory) {
    std::string decoded = sourceCategory;
    // "&amp;" goes last so that an escaped entity ("&amp;lt;") is decoded once, not twice.
    for (const auto& [entity, character] : std::vector<std::pair<const char*, const char*>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}})
        decoded = text::replaceAll(decoded, entity, character);
    const std::string trimmed = text::trim(decoded);
    if (trimmed.empty()) return kOther;
    if (const char* hit = firstHit(sourceTable(), text::lower(trimmed))) return hit;
    return text::prefixCharacters(trimmed, 50);
}

} // namespace velmora
