#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

// The user's standing application data, typed into application forms by Assist Apply and used
// as verified facts by Resume Studio. The JSON key of every field is its name.
struct ApplicationProfile {
    std::string resumeName; // file name of the stored resume copy; set by the service only
    std::string coverLetterTemplate;
    std::string fullName;
    std::string email;
    std::string phone;
    std::string country;
    std::string cityState;
    std::string address;
    std::string linkedIn;
    std::string gitHub;
    std::string portfolio;
    std::string currentEmployer;
    std::string currentTitle;
    std::string employmentHistory;
    std::string education;
    std::string certifications;
    std::string skills;
    std::string yearsOfExperience;
    std::string workAuthorization;
    std::optional<bool> requireSponsorship;
    std::optional<bool> willingToRelocate;
    std::string desiredSalary;
    std::string earliestStartDate;
    std::string remoteWorkPreference;
    std::string preferredJobTitles;
    std::string preferredIndustries;

    bool operator==(const ApplicationProfile&) const = default;

    // The plaintext that gets sealed: compact JSON with the 26 keys in field order, flags left
    // out when unset. The same profile always encodes to the same bytes (save relies on it to
    // verify what it wrote).
    std::string storedJson() const;

    // Decodes the stored JSON. All 24 text keys must be present as strings; a missing or null
    // flag is unset. Throws ProfileDecodeError when the record cannot be read.
    static ApplicationProfile fromStoredJson(std::string_view json);
};

class ProfileDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Description of one field, in field order, for code that walks every field.
struct ProfileTextField {
    const char* key;
    std::string ApplicationProfile::*member;
    size_t maxCharacters; // limit applied when saving, in user-perceived characters
};
struct ProfileFlagField {
    const char* key;
    std::optional<bool> ApplicationProfile::*member;
    size_t position; // index among all 26 fields, for encoders that keep field order
};

const std::array<ProfileTextField, 24>& profileTextFields();
const std::array<ProfileFlagField, 2>& profileFlagFields();

} // namespace velmora
