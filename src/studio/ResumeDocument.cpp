#include "studio/ResumeDocument.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <limits>

namespace velmora {

namespace {

[[noreturn]] void invalid(const std::string& detail) { throw VelmoraError("Resume data is invalid: " + detail); }

const json& field(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) invalid(std::string("the key \"") + key + "\" is missing.");
    return *it;
}

std::string checkedText(const std::string& value, const char* key) {
    if (value.size() > ResumeDocument::kMaxTextBytes) invalid(std::string("\"") + key + "\" is too long.");
    if (!text::isValidUtf8(value)) invalid(std::string("\"") + key + "\" is not valid UTF-8 text.");
    return value;
}

std::string readText(const json& object, const char* key) {
    const json& value = field(object, key);
    if (!value.is_string()) invalid(std::string("\"") + key + "\" must be text.");
    return checkedText(value.get_ref<const std::string&>(), key);
}

// A whole number, also when written as 3.0; a fraction, a boolean or a text is refused.
int64_t readInteger(const json& object, const char* key, int64_t min, int64_t max) {
    const json& value = field(object, key);
    int64_t result = 0;
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        result = value.get<int64_t>();
    } else if (value.is_number_unsigned()) {
        uint64_t u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            invalid(std::string("\"") + key + "\" is out of range.");
        result = static_cast<int64_t>(u);
    } else if (value.is_number_float()) {
        double d = value.get<double>();
        // 2^63 itself is not representable as int64_t, hence the strict upper bound.
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || static_cast<double>(static_cast<int64_t>(d)) != d)
            invalid(std::string("\"") + key + "\" must be a whole number.");
        result = static_cast<int64_t>(d);
    } else {
        invalid(std::string("\"") + key + "\" must be a whole number.");
    }
    if (result < min || result > max) invalid(std::string("\"") + key + "\" is out of range.");
    return result;
}

std::vector<std::string> readTextList(const json& object, const char* key) {
    const json& value = field(object, key);
    if (!value.is_array()) invalid(std::string("\"") + key + "\" must be a list of texts.");
    if (value.size() > ResumeDocument::kMaxKeywords) invalid(std::string("\"") + key + "\" has too many entries.");
    std::vector<std::string> result;
    result.reserve(value.size());
    for (const json& item : value) {
        if (!item.is_string()) invalid(std::string("\"") + key + "\" must be a list of texts.");
        result.push_back(checkedText(item.get_ref<const std::string&>(), key));
    }
    return result;
}

} // namespace

json ResumeDocument::toJson() const {
    json j = json::object();
    j["id"] = id;
    j["name"] = name;
    j["template"] = templateName;
    j["targetRole"] = targetRole;
    j["seniority"] = seniority;
    j["pageCount"] = pageCount;
    j["language"] = language;
    j["contact"] = contact;
    j["summary"] = summary;
    j["skills"] = skills;
    j["experience"] = experience;
    j["education"] = education;
    j["certifications"] = certifications;
    j["projects"] = projects;
    j["coverLetter"] = coverLetter;
    j["coverLetterTemplate"] = coverLetterTemplate;
    j["atsScore"] = atsScore;
    j["matchedKeywords"] = matchedKeywords;
    j["missingKeywords"] = missingKeywords;
    j["sourceFacts"] = sourceFacts;
    j["jobDescription"] = jobDescription;
    j["createdAt"] = createdAt;
    j["updatedAt"] = updatedAt;
    j["keptFromSource"] = json::array();
    for (const KeptSection& kept : keptFromSource)
        j["keptFromSource"].push_back({{"section", kept.section}, {"reason", kept.reason}, {"claims", kept.claims}});
    return j;
}

std::string ResumeDocument::toJsonText() const {
    // Text extracted from odd files can carry stray bytes; replacing them keeps a save from
    // failing over one unreadable character.
    return toJson().dump(-1, ' ', false, json::error_handler_t::replace);
}

ResumeDocument ResumeDocument::fromJson(const json& object) {
    if (!object.is_object()) invalid("expected a JSON object.");
    constexpr int64_t intMax = std::numeric_limits<int>::max();
    constexpr int64_t intMin = std::numeric_limits<int>::min();
    ResumeDocument d;
    d.id = readInteger(object, "id", std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
    d.name = readText(object, "name");
    d.templateName = readText(object, "template");
    d.targetRole = readText(object, "targetRole");
    d.seniority = readText(object, "seniority");
    d.pageCount = static_cast<int>(readInteger(object, "pageCount", intMin, intMax));
    d.language = readText(object, "language");
    d.contact = readText(object, "contact");
    d.summary = readText(object, "summary");
    d.skills = readText(object, "skills");
    d.experience = readText(object, "experience");
    d.education = readText(object, "education");
    d.certifications = readText(object, "certifications");
    d.projects = readText(object, "projects");
    d.coverLetter = readText(object, "coverLetter");
    d.coverLetterTemplate = readText(object, "coverLetterTemplate");
    d.atsScore = static_cast<int>(readInteger(object, "atsScore", intMin, intMax));
    d.matchedKeywords = readTextList(object, "matchedKeywords");
    d.missingKeywords = readTextList(object, "missingKeywords");
    d.sourceFacts = readText(object, "sourceFacts");
    d.jobDescription = readText(object, "jobDescription");
    d.createdAt = readText(object, "createdAt");
    d.updatedAt = readText(object, "updatedAt");
    if (auto kept = object.find("keptFromSource"); kept != object.end() && !kept->is_null()) {
        if (!kept->is_array() || kept->size() > 6) invalid("\"keptFromSource\" must be a list of at most six sections.");
        for (const json& item : *kept) {
            if (!item.is_object()) invalid("\"keptFromSource\" must be a list of sections.");
            d.keptFromSource.push_back(
                {readText(item, "section"), readText(item, "reason"), readTextList(item, "claims")});
        }
    }
    return d;
}

ResumeDocument ResumeDocument::fromJsonText(const std::string& text) {
    json parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded()) invalid("it is not readable JSON.");
    return fromJson(parsed);
}

} // namespace velmora
