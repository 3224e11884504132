#include "profile/ApplicationProfile.h"
#include "profile/ApplicationProfileService.h"
#include "profile/ApplicationProfileValidation.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace velmora;
using nlohmann::json;
using P = ApplicationProfile;

namespace {

// The text fields in stored order with their limits, written out here so that a changed limit
// or a moved field in the product's own table shows up as a difference.
const std::pair<std::string, size_t> kTextFields[] = {
    {"resumeName", 260},         {"coverLetterTemplate", 12000}, {"fullName", 200},
    {"email", 320},              {"phone", 100},                 {"country", 160},
    {"cityState", 200},          {"address", 400},               {"linkedIn", 500},
    {"gitHub", 500},             {"portfolio", 500},             {"currentEmployer", 250},
    {"currentTitle", 250},       {"employmentHistory", 20000},   {"education", 12000},
    {"certifications", 8000},    {"skills", 8000},               {"yearsOfExperience", 50},
    {"workAuthorization", 500},  {"desiredSalary", 100},         {"earliestStartDate", 80},
    {"remoteWorkPreference", 80}, {"preferredJobTitles", 3000},  {"preferredIndustries", 3000}};

std::string& field(P& p, const std::string& key) {
    for (const auto& f : profileTextFields())
        if (key == f.key) return p.*(f.member);
    throw std::logic_error("no profile field " + key);
}

} // namespace

TEST(ApplicationProfile, StoredJsonKeepsFieldOrderAndDecodingRequiresEveryTextKey) {
    P p;
    for (const auto& [key, cap] : kTextFields) field(p, key) = key + " \"Zoë\"\n";
    p.requireSponsorship = false;
    p.willingToRelocate = true;
    std::vector<std::string> keys, expected;
    const auto stored = nlohmann::ordered_json::parse(p.storedJson());
    for (const auto& item : stored.items()) keys.push_back(item.key());
    for (const auto& [key, cap] : kTextFields) {
        expected.push_back(key);
        if (key == "workAuthorization") expected.insert(expected.end(), {"requireSponsorship", "willingToRelocate"});
    }
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(P::fromStoredJson(p.storedJson()), p);

    // An unset flag is left out rather than stored as null, and a null one reads as unset.
    p.requireSponsorship.reset();
    const json full = json::parse(p.storedJson());
    EXPECT_EQ(full.count("requireSponsorship"), 0u);
    json flags = full;
    flags["requireSponsorship"] = nullptr;
    EXPECT_EQ(P::fromStoredJson(flags.dump()), p);
    flags["willingToRelocate"] = "yes";
    EXPECT_THROW(P::fromStoredJson(flags.dump()), ProfileDecodeError);
    for (const auto& f : profileTextFields()) {
        json broken = full;
        broken.erase(f.key);
        EXPECT_THROW(P::fromStoredJson(broken.dump()), ProfileDecodeError) << f.key;
        broken[f.key] = 5;
        EXPECT_THROW(P::fromStoredJson(broken.dump()), ProfileDecodeError) << f.key;
    }
    for (const char* bad : {"", "[]", "null", "{", "\"text\""}) EXPECT_THROW(P::fromStoredJson(bad), ProfileDecodeError) << bad;
}

TEST(ApplicationProfile, EveryTextFieldKeepsItsLimitInCharactersAndCutsOneMore) {
    ASSERT_EQ(profileTextFields().size(), std::size(kTextFields));
    for (size_t extra : {0, 1}) {
        P p;
        for (const auto& [key, cap] : kTextFields) field(p, key) = " \n" + std::string(cap + extra, 'x') + "\t ";
        p = ApplicationProfileService::normalize(p);
        for (const auto& [key, cap] : kTextFields) EXPECT_EQ(field(p, key).size(), cap) << key << " +" << extra;
    }
    // "e" with a combining accent is one character of two code points: counted once, never split.
    std::string accented;
    for (int i = 0; i < 80; ++i) accented += "e\u0301";
    P p;
    p.earliestStartDate = accented + "e\u0301";
    EXPECT_EQ(ApplicationProfileService::normalize(p).earliestStartDate, accented);
}

TEST(ApplicationProfile, ValidationRefusesValuesAFormWouldRejectOrMisuse) {
    const std::tuple<std::string, std::string, bool> rows[] = {
        {"email", "ana.m+jobs@mail.example.co.uk", true}, {"email", "ana@@example", false}, {"email", "ana@example", false},
        {"email", "ana @example.com", false}, {"email", "@example.com", false}, {"email", "ana@example..com", false},
        {"phone", "+49 30 1234567 ext. 12", true}, {"phone", "4002", true}, {"phone", "555-CALL-NOW", false},
        {"phone", "12 +34 5678", false}, {"phone", "1234567890123456", false}, {"yearsOfExperience", "12+", true},
        {"yearsOfExperience", "7.5", true}, {"yearsOfExperience", "120", false}, {"yearsOfExperience", "-3", false},
        {"gitHub", "github.com/ana", true}, {"gitHub", "https://user@evil.example/ana", false}, {"fullName", "", true},
        {"portfolio", "http://ana.dev:8080/work?x=1", true}, {"portfolio", "javascript:alert(1)", false},
        {"portfolio", "file:///etc/passwd", false}, {"linkedIn", "my site", false}};
    for (const auto& [key, value, ok] : rows) {
        P p;
        field(p, key) = value;
        std::string refused;
        for (const auto& problem : validateProfile(p)) refused += problem.field + " ";
        EXPECT_EQ(refused, ok ? "" : key + " ") << value;
    }
}
