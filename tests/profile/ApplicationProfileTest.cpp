#include "profile/ApplicationProfile.h"

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
