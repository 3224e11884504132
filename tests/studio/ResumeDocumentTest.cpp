#include "StudioTestEnv.h"

using velmora::json;
using velmora::ResumeDocument;
using velmora::testing::errorOf;

namespace {

std::string decodeError(const json& j) {
    return errorOf([&] { ResumeDocument::fromJson(j); });
}

} // namespace

TEST(ResumeDocumentJson, RoundTripsEveryKeyWithFreshRecordDefaults) {
    ResumeDocument d = velmora::testing::sampleResume();
    d.id = 42;
    d.pageCount = 2;
    d.atsScore = 77;
    d.matchedKeywords = {"go", "sql"};
    d.missingKeywords = {"rust"};
    d.createdAt = "2026-03-01T09:30:00.000Z";
    json j = d.toJson();
    EXPECT_EQ(j.size(), 24u);
    EXPECT_EQ(ResumeDocument::fromJson(j), d);
    EXPECT_EQ(ResumeDocument::fromJsonText(d.toJsonText()), d);
    j["pageCount"] = 2.0; // a whole number written as a float is a whole number
    EXPECT_EQ(ResumeDocument::fromJson(j).pageCount, 2);
    json fresh = ResumeDocument{}.toJson();
    EXPECT_EQ(json({fresh["name"], fresh["template"], fresh["pageCount"], fresh["language"], fresh["id"]}),
              json({"Resume", "modern", 1, "en", 0}));
}

TEST(ResumeDocumentJson, StrictDecodingNamesTheOffendingKey) {
    const json base = velmora::testing::sampleResume().toJson();
    for (const auto& [key, value] : base.items()) {
        json missing = base;
        missing.erase(key);
        // Documents stored before "keptFromSource" existed have none.
        EXPECT_EQ(decodeError(missing), key == "keptFromSource"
                                            ? "<no error>"
                                            : "Resume data is invalid: the key \"" + key + "\" is missing.");
    }
    const std::vector<std::pair<json, std::string>> rows = {
        {{{"summary", 5}}, "\"summary\" must be text."},
        {{{"summary", nullptr}}, "\"summary\" must be text."},
        {{{"atsScore", "77"}}, "\"atsScore\" must be a whole number."},
        {{{"pageCount", 1.5}}, "\"pageCount\" must be a whole number."},
        {{{"id", true}}, "\"id\" must be a whole number."},
        {{{"atsScore", 1e12}}, "\"atsScore\" is out of range."},
        {{{"matchedKeywords", {"go", 1}}}, "\"matchedKeywords\" must be a list of texts."},
        {{{"missingKeywords", "rust"}}, "\"missingKeywords\" must be a list of texts."},
        {{{"missingKeywords", std::vector<std::string>(201, "go")}}, "\"missingKeywords\" has too many entries."},
        {{{"experience", std::string(ResumeDocument::kMaxTextBytes + 1, 'x')}}, "\"experience\" is too long."},
        {{{"summary", "bad \xC3\x28 byte"}}, "\"summary\" is not valid UTF-8 text."},
    };
    for (const auto& [change, message] : rows) {
        json j = base;
        j.update(change);
        EXPECT_EQ(decodeError(j), "Resume data is invalid: " + message) << change.begin().key();
    }
    json atTheCaps = base;
    atTheCaps.update({{"experience", std::string(ResumeDocument::kMaxTextBytes, 'x')},
                      {"missingKeywords", std::vector<std::string>(200, "go")}});
    EXPECT_EQ(decodeError(atTheCaps), "<no error>");
    EXPECT_EQ(decodeError(json::array()), "Resume data is invalid: expected a JSON object.");
    EXPECT_NE(errorOf([] { ResumeDocument::fromJsonText("{\"id\":"); }), "<no error>");
    std::string text = base.dump();
    text.replace(text.find("\"Senior Backend Engineer\""), 25, "\"\\ud800\""); // a lone surrogate is no text
    EXPECT_NE(errorOf([&] { ResumeDocument::fromJsonText(text); }), "<no error>");
}
