#include "profile/ApplicationProfile.h"

#include <nlohmann/json.hpp>

namespace velmora {

using P = ApplicationProfile;

const std::array<ProfileTextField, 24>& profileTextFields() {
    static const std::array<ProfileTextField, 24> fields{{
        {"resumeName", &P::resumeName, 260},
        {"coverLetterTemplate", &P::coverLetterTemplate, 12000},
        {"fullName", &P::fullName, 200},
        {"email", &P::email, 320},
        {"phone", &P::phone, 100},
        {"country", &P::country, 160},
        {"cityState", &P::cityState, 200},
        {"address", &P::address, 400},
        {"linkedIn", &P::linkedIn, 500},
        {"gitHub", &P::gitHub, 500},
        {"portfolio", &P::portfolio, 500},
        {"currentEmployer", &P::currentEmployer, 250},
        {"currentTitle", &P::currentTitle, 250},
        {"employmentHistory", &P::employmentHistory, 20000},
        {"education", &P::education, 12000},
        {"certifications", &P::certifications, 8000},
        {"skills", &P::skills, 8000},
        {"yearsOfExperience", &P::yearsOfExperience, 50},
        {"workAuthorization", &P::workAuthorization, 500},
        {"desiredSalary", &P::desiredSalary, 100},
        {"earliestStartDate", &P::earliestStartDate, 80},
        {"remoteWorkPreference", &P::remoteWorkPreference, 80},
        {"preferredJobTitles", &P::preferredJobTitles, 3000},
        {"preferredIndustries", &P::preferredIndustries, 3000},
    }};
    return fields;
}

const std::array<ProfileFlagField, 2>& profileFlagFields() {
    static const std::array<ProfileFlagField, 2> fields{{
        {"requireSponsorship", &P::requireSponsorship, 19},
        {"willingToRelocate", &P::willingToRelocate, 20},
    }};
    return fields;
}

std::string ApplicationProfile::storedJson() const {
    // ordered_json keeps insertion order, so the bytes depend only on the field values.
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    const auto& texts = profileTextFields();
    const auto& flags = profileFlagFields();
    size_t nextText = 0;
    for (size_t position = 0; position < texts.size() + flags.size(); ++position) {
        const ProfileFlagField* flag = nullptr;
        for (const auto& f : flags)
            if (f.position == position) flag = &f;
        if (flag) {
            if (const auto& value = this->*(flag->member)) out[flag->key] = *value;
        } else {
            const auto& field = texts[nextText++];
            out[field.key] = this->*(field.member);
        }
    }
    // Invalid UTF-8 (a file name from the disk, say) is replaced rather than failing the save;
    // the replacement is deterministic, so encoding the read-back profile gives the same bytes.
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

ApplicationProfile ApplicationProfile::fromStoredJson(std::string_view text) {
    nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) throw ProfileDecodeError("The profile record is not a JSON object.");
    ApplicationProfile profile;
    for (const auto& field : profileTextFields()) {
        auto it = parsed.find(field.key);
        if (it == parsed.end() || !it->is_string())
            throw ProfileDecodeError(std::string("The profile record has no text for ") + field.key + ".");
        profile.*(field.member) = it->get<std::string>();
    }
    for (const auto& flag : profileFlagFields()) {
        auto it = parsed.find(flag.key);
        if (it == parsed.end() || it->is_null()) continue;
        if (!it->is_boolean()) throw ProfileDecodeError(std::string("The profile record's ") + flag.key + " is not a flag.");
        profile.*(flag.member) = it->get<bool>();
    }
    return profile;
}

} // namespace velmora
