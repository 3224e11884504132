#pragma once

#include "profile/ApplicationProfile.h"

#include <string>
#include <vector>

namespace velmora {

// A value that an application form would refuse or, worse, accept and pass on to an
// employer: checked before a profile is stored. Empty fields are always allowed.
struct ProfileFieldProblem {
    std::string field;   // JSON key of the field
    std::string message; // sentence meant for the user
};

std::vector<ProfileFieldProblem> validateProfile(const ApplicationProfile& profile);

// Throws VelmoraError naming every field that failed, or returns when the profile is fine.
void requireValidProfile(const ApplicationProfile& profile);

bool isPlausibleEmail(const std::string& value);
bool isPlausiblePhone(const std::string& value);
bool isPlausibleYears(const std::string& value);
bool isPlausibleLink(const std::string& value);

} // namespace velmora
