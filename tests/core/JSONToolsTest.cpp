#include "core/JSONTools.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(JSONTools, ReadersTakeWhatTheyCanAndFallBackOtherwise) {
    // Text: other values are described, whole numbers without a fraction; big ones stay exact.
    const std::pair<json, std::string> texts[] = {{7, "7"},           {12.5, "12.5"}, {6.0, "6"}, {"x", "x"},
                                                  {nullptr, "d"},     {true, "true"}, {1e20, "1e+20"}};
    for (const auto& [value, expected] : texts) EXPECT_EQ(JSONTools::s(json{{"k", value}}, "k", "d"), expected) << value;
    for (const json& other : {json::object(), json::array()}) EXPECT_EQ(JSONTools::s(other, "k", "d"), "d");

    // Integers: numbers (cut towards zero) and strict decimal text within range.
    const std::pair<json, int64_t> integers[] = {
        {"50", 50},   {"5x", 9},   {" 50", 9},  {12.9, 12},  {-2.7, -2},  {"-12", -12}, {"+3", 3},  {"-", 9},
        {1e300, 9},   {true, 9},   {9223372036854775808.0, 9},            {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", 9},           {"-9223372036854775808", INT64_MIN},       {18446744073709551615ull, 9}};
    for (const auto& [value, expected] : integers)
        EXPECT_EQ(JSONTools::i64(json{{"k", value}}, "k", 9), expected) << value;

    // Booleans: only booleans and numbers answer; text or nothing leaves the fallback.
    const std::pair<json, bool> flags[] = {{true, true}, {1, true}, {0, false}, {0.5, true}};
    for (const auto& [value, expected] : flags) EXPECT_EQ(JSONTools::b(json{{"k", value}}, "k", !expected), expected) << value;
    for (bool fallback : {true, false}) {
        EXPECT_EQ(JSONTools::b(json{{"k", fallback ? "false" : "true"}}, "k", fallback), fallback);
        EXPECT_EQ(JSONTools::b(json::object(), "k", fallback), fallback);
    }
}

// Job descriptions from the wild can carry broken bytes; a reply must still go out.
TEST(JSONTools, WritingSurvivesBadUtf8) {
    const std::string out = JSONTools::string(json{{"d", std::string("ok \xC3\x28")}});
    EXPECT_NE(out.find("ok "), std::string::npos);
    EXPECT_TRUE(json::accept(out));
}
