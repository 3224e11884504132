#include "core/JSONTools.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;

TEST(JSONTools, ReadersTakeWhatTheyCanAndFallBackOtherwise) {
    // Text: other values are described, whole numbers without a fraction; big ones stay exact.
    const std::pair<json, std::string> texts[] = {{7, "7"},         {12.5, "12.5"}, {6.0, "6"},      {"x", "x"},
                                                  {nullptr, "d"},   {true, "true"}, {1e20, "1e+20"}, {-2.0, "-2"}};
    for (const auto& [value, expected] : texts) EXPECT_EQ(JSONTools::s(json{{"k", value}}, "k", "d"), expected) << value;
    EXPECT_EQ(JSONTools::s(json::object(), "k", "d"), "d");
    EXPECT_EQ(JSONTools::s(json::array(), "k", "d"), "d");

    // Integers: numbers (cut towards zero) and strict decimal text within range.
    const std::pair<json, int64_t> integers[] = {
        {"50", 50},         {"5x", 9},           {" 50", 9},          {12.9, 12},          {-2.7, -2},
        {"-12", -12},       {"+3", 3},           {"-", 9},            {"", 9},             {1e300, 9},
        {-1e300, 9},        {9223372036854775808.0, 9},               {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", 9},              {"-9223372036854775808", INT64_MIN},      {"NaN", 9},
        {true, 9},          {18446744073709551615ull, 9}};
    for (const auto& [value, expected] : integers)
        EXPECT_EQ(JSONTools::i64(json{{"k", value}}, "k", 9), expected) << value;
    EXPECT_EQ(JSONTools::i(json{{"k", "50"}}, "k", 9), 50);
    EXPECT_EQ(JSONTools::i(json{{"k", 1e300}}, "k", 9), 9);

    // Booleans: only booleans and numbers answer; text or nothing leaves the fallback.
    const std::pair<json, bool> flags[] = {{true, true}, {1, true}, {0, false}, {0.5, true}};
    for (const auto& [value, expected] : flags) EXPECT_EQ(JSONTools::b(json{{"k", value}}, "k", !expected), expected) << value;
    for (bool fallback : {true, false}) {
        EXPECT_EQ(JSONTools::b(json{{"k", fallback ? "false" : "true"}}, "k", fallback), fallback);
        EXPECT_EQ(JSONTools::b(json::object(), "k", fallback), fallback);
    }
}

TEST(JSONTools, StringRefusesWhatCannotBeWrittenAndSurvivesBadUtf8) {
    EXPECT_EQ(JSONTools::string(json{{"a", 1}}), R"({"a":1})");
    EXPECT_THROW(JSONTools::string(json{{"x", std::nan("")}}), VelmoraError);
    try {
        JSONTools::string(json::array({INFINITY}));
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "Velmora generated a response that could not be encoded.");
    }
    // Job descriptions from the wild can carry broken bytes; a reply must still go out.
    std::string out = JSONTools::string(json{{"d", std::string("ok \xC3\x28")}});
    EXPECT_NE(out.find("ok "), std::string::npos);
    EXPECT_TRUE(json::accept(out));
}
