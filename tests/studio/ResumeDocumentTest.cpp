#include "core/VelmoraError.h"
#include "studio/ResumeDocument.h"

#include <gtest/gtest.h>

using velmora::json;
using velmora::ResumeDocument;
using velmora::VelmoraError;

namespace {

ResumeDocument sample() {
    ResumeDocument d;
    d.id = 42;
    d.name = "Platform Résumé";
    d.templateName = "classic";
    d.targetRole = "SRE";
    d.pageCount = 2;
    d.language = "pt";
    d.contact = "Jane\njane@example.com";
    d.summary = "• Line one\n- Line two";
    d.atsScore = 77;
    d.matchedKeywords = {"go", "sql"};
    d.missingKeywords = {"rust"};
    d.createdAt = "2026-03-01T09:30:00.000Z";
    d.updatedAt = "2026-03-02T09:30:00.000Z";
    return d;
}

std::string decodeError(const json& j) {
    try {
        ResumeDocument::fromJson(j);
    } catch (const VelmoraError& e) {
        return e.message();
    }
    return "(decoded)";
}

} // namespace

TEST(ResumeDocumentJson, EncodesAllKeysAndRoundTrips) {
    ResumeDocument d = sample();
    json j = d.toJson();
    EXPECT_EQ(j.size(), 24u);
    EXPECT_EQ(j["template"], "classic");
    EXPECT_EQ(ResumeDocument::fromJson(j), d);
    EXPECT_EQ(ResumeDocument::fromJsonText(d.toJsonText()), d);
    // Whole numbers written as 2.0 are whole numbers.
    j["pageCount"] = 2.0;
    EXPECT_EQ(ResumeDocument::fromJson(j).pageCount, 2);
}

TEST(ResumeDocumentJson, FreshRecordDefaults) {
    json j = ResumeDocument{}.toJson();
    EXPECT_EQ(j["name"], "Resume");
    EXPECT_EQ(j["template"], "modern");
    EXPECT_EQ(j["pageCount"], 1);
    EXPECT_EQ(j["language"], "en");
    EXPECT_EQ(j["id"], 0);
}

TEST(ResumeDocumentJson, StrictDecodingNamesTheOffendingKey) {
    json base = sample().toJson();
    for (const auto& [key, value] : base.items()) {
        json missing = base;
        missing.erase(key);
        if (key == "keptFromSource") { // documents stored before it existed have none
            EXPECT_EQ(decodeError(missing), "(decoded)");
            continue;
        }
        EXPECT_EQ(decodeError(missing), "Resume data is invalid: the key \"" + key + "\" is missing.");
    }
    json j = base;
    j["summary"] = 5;
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"summary\" must be text.");
    j = base;
    j["summary"] = nullptr;
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"summary\" must be text.");
    j = base;
    j["atsScore"] = "77";
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"atsScore\" must be a whole number.");
    j = base;
    j["pageCount"] = 1.5;
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"pageCount\" must be a whole number.");
    j = base;
    j["id"] = true;
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"id\" must be a whole number.");
    j = base;
    j["atsScore"] = 1e12;
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"atsScore\" is out of range.");
    j = base;
    j["matchedKeywords"] = json::array({"go", 1});
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"matchedKeywords\" must be a list of texts.");
    j = base;
    j["missingKeywords"] = "rust";
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"missingKeywords\" must be a list of texts.");
    EXPECT_EQ(decodeError(json::array()), "Resume data is invalid: expected a JSON object.");
    EXPECT_THROW(ResumeDocument::fromJsonText("{\"id\":"), VelmoraError);
}

TEST(ResumeDocumentJson, RefusesOversizedAndInvalidText) {
    json j = sample().toJson();
    j["experience"] = std::string(5 * 1024 * 1024, 'x');
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"experience\" is too long.");
    j = sample().toJson();
    j["summary"] = std::string("bad \xC3\x28 byte");
    EXPECT_EQ(decodeError(j), "Resume data is invalid: \"summary\" is not valid UTF-8 text.");
    // A lone surrogate escape is not text at all.
    std::string text = sample().toJsonText();
    text.replace(text.find("\"SRE\""), 5, "\"\\ud800\"");
    EXPECT_THROW(ResumeDocument::fromJsonText(text), VelmoraError);
}
