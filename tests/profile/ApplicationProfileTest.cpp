#include "profile/ApplicationProfileService.h"
#include "profile/ApplicationProfileValidation.h"

#include <gtest/gtest.h>

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

// Limits count characters: "e" with a combining accent is one character of two code points.
TEST(ApplicationProfile, EveryTextFieldKeepsItsLimitAndItsPlaceInTheStoredRecord) {
    P p;
    for (const std::string unit : {"x", "e\u0301"})
        for (size_t extra : {0, 1}) {
            for (const auto& [key, cap] : kTextFields) {
                field(p, key) = " \n";
                for (size_t i = 0; i < cap + extra; ++i) field(p, key) += unit;
            }
            p = ApplicationProfileService::normalize(p);
            for (const auto& [key, cap] : kTextFields)
                EXPECT_EQ(field(p, key).size(), cap * unit.size()) << key << " " << unit << " +" << extra;
        }

    p.requireSponsorship = false;
    p.willingToRelocate = true;
    std::string keys, expected;
    const auto stored = nlohmann::ordered_json::parse(p.storedJson());
    for (const auto& item : stored.items()) keys += item.key() + " ";
    for (const auto& [key, cap] : kTextFields)
        expected += key + (key == "workAuthorization" ? " requireSponsorship willingToRelocate " : " ");
    EXPECT_EQ(keys, expected);

    // The round trip is the service's (a restart reads back what was saved). A null flag, which
    // this build never writes, reads as unset; a flag of another type or a missing text is a
    // damaged record.
    json flag = json::parse(p.storedJson());
    flag["requireSponsorship"] = nullptr;
    EXPECT_FALSE(P::fromStoredJson(flag.dump()).requireSponsorship.has_value());
    flag["willingToRelocate"] = "yes";
    for (const std::string& bad : {flag.dump(), std::string("{}"), std::string("[]"), std::string("{")})
        EXPECT_THROW(P::fromStoredJson(bad), ProfileDecodeError) << bad.substr(0, 40);
}

TEST(ApplicationProfile, ValidationRefusesValuesAFormWouldRejectOrMisuse) {
    const std::tuple<std::string, std::string, bool> rows[] = {
        {"email", "ana.m+jobs@mail.example.co.uk", true}, {"email", "ana@@example", false},
        {"email", "ana@example..com", false},           {"linkedIn", "a b", false},
        {"phone", "+49 30 1234567 ext. 12", true},      {"phone", "4002", true},
        {"phone", "1234567890123456", false},           {"phone", "555-CALL-NOW", false},
        {"yearsOfExperience", "7.5+", true},            {"yearsOfExperience", "120", false},
        {"gitHub", "github.com/ana", true},             {"gitHub", "https://u@evil.example/a", false},
        {"portfolio", "http://ana.dev:8080/w?x=1", true}, {"portfolio", "javascript:alert(1)", false}};
    for (const auto& [key, value, ok] : rows) {
        P p;
        field(p, key) = value;
        std::string refused;
        for (const auto& problem : validateProfile(p)) refused += problem.field + " ";
        EXPECT_EQ(refused, ok ? "" : key + " ") << value;
    }
}
