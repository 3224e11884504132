#include "profile/ApplicationProfile.h"
#include "profile/ApplicationProfileValidation.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace velmora;
using nlohmann::json;

namespace {

ApplicationProfile sample() {
    ApplicationProfile p;
    p.resumeName = "cv.pdf";
    p.fullName = "Zoë \"Q\" Ödegaard";
    p.email = "zoe@example.org";
    p.employmentHistory = "Line one\nLine two\t— tab";
    p.requireSponsorship = false;
    p.willingToRelocate = true;
    return p;
}

} // namespace

TEST(ApplicationProfile, StoredJsonKeepsFieldOrderAndLeavesUnsetFlagsOut) {
    ApplicationProfile p = sample();
    std::string text = p.storedJson();
    EXPECT_EQ(text.rfind("{\"resumeName\":\"cv.pdf\",\"coverLetterTemplate\":\"\",\"fullName\":", 0), 0u);
    // The flags sit between workAuthorization and desiredSalary, in the record's own order.
    EXPECT_NE(text.find("\"workAuthorization\":\"\",\"requireSponsorship\":false,\"willingToRelocate\":true,"
                        "\"desiredSalary\":"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(ApplicationProfile::fromStoredJson(text), p);

    p.willingToRelocate.reset();
    EXPECT_EQ(json::parse(p.storedJson()).size(), 25u); // an unset flag is left out, not stored as null
}

TEST(ApplicationProfile, DecodingRequiresEveryTextKeyButNotTheFlags) {
    const json full = json::parse(sample().storedJson());
    for (const auto& field : profileTextFields()) {
        json missing = full;
        missing.erase(field.key);
        EXPECT_THROW(ApplicationProfile::fromStoredJson(missing.dump()), ProfileDecodeError) << field.key;
        json mistyped = full;
        mistyped[field.key] = 5;
        EXPECT_THROW(ApplicationProfile::fromStoredJson(mistyped.dump()), ProfileDecodeError) << field.key;
    }
    json nullFlags = full;
    nullFlags["requireSponsorship"] = nullptr;
    nullFlags["willingToRelocate"] = nullptr;
    ApplicationProfile p = ApplicationProfile::fromStoredJson(nullFlags.dump());
    EXPECT_FALSE(p.requireSponsorship.has_value());
    EXPECT_FALSE(p.willingToRelocate.has_value());

    json wrongFlag = full;
    wrongFlag["willingToRelocate"] = "yes";
    EXPECT_THROW(ApplicationProfile::fromStoredJson(wrongFlag.dump()), ProfileDecodeError);
    for (const char* bad : {"", "[]", "null", "{", "\"text\""})
        EXPECT_THROW(ApplicationProfile::fromStoredJson(bad), ProfileDecodeError) << bad;
}

TEST(ApplicationProfile, ValidationRefusesValuesAFormWouldRejectOrMisuse) {
    struct Case {
        const char* field;
        std::string ApplicationProfile::*member;
        const char* value;
        bool ok;
    };
    using P = ApplicationProfile;
    const Case cases[] = {
        {"email", &P::email, "ana@example.com", true},
        {"email", &P::email, "ana.m+jobs@mail.example.co.uk", true},
        {"email", &P::email, "ana@@example", false},
        {"email", &P::email, "ana@example", false},
        {"email", &P::email, "ana @example.com", false},
        {"email", &P::email, "@example.com", false},
        {"email", &P::email, "ana@example..com", false},
        {"phone", &P::phone, "+1 (555) 010-9999", true},
        {"phone", &P::phone, "+49 30 1234567 ext. 12", true},
        {"phone", &P::phone, "4002", true},
        {"phone", &P::phone, "call me maybe", false},
        {"phone", &P::phone, "555-CALL-NOW", false},
        {"phone", &P::phone, "12 +34 5678", false},
        {"phone", &P::phone, "1234567890123456", false},
        {"yearsOfExperience", &P::yearsOfExperience, "7", true},
        {"yearsOfExperience", &P::yearsOfExperience, "7.5", true},
        {"yearsOfExperience", &P::yearsOfExperience, "12+", true},
        {"yearsOfExperience", &P::yearsOfExperience, "lots", false},
        {"yearsOfExperience", &P::yearsOfExperience, "120", false},
        {"yearsOfExperience", &P::yearsOfExperience, "-3", false},
        {"linkedIn", &P::linkedIn, "https://www.linkedin.com/in/ana", true},
        {"gitHub", &P::gitHub, "github.com/ana", true},
        {"portfolio", &P::portfolio, "http://ana.dev:8080/work?x=1", true},
        {"portfolio", &P::portfolio, "javascript:alert(1)", false},
        {"portfolio", &P::portfolio, "file:///etc/passwd", false},
        {"portfolio", &P::portfolio, "my site", false},
        {"gitHub", &P::gitHub, "https://user@evil.example/ana", false},
    };
    for (const auto& c : cases) {
        P profile;
        profile.*(c.member) = c.value;
        const auto problems = validateProfile(profile);
        if (c.ok) {
            EXPECT_TRUE(problems.empty()) << c.value;
            EXPECT_NO_THROW(requireValidProfile(profile)) << c.value;
        } else {
            ASSERT_EQ(problems.size(), 1u) << c.value;
            EXPECT_EQ(problems[0].field, c.field) << c.value;
            EXPECT_THROW(requireValidProfile(profile), VelmoraError) << c.value;
        }
    }
    EXPECT_TRUE(validateProfile(P{}).empty()); // every field may stay empty
}
