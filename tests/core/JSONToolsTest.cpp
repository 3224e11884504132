#include "core/JSONTools.h"
#include "core/VelmoraError.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;

TEST(JSONTools, TextReaderDescribesNonStrings) {
    json o = {{"n", 7}, {"f", 12.5}, {"s", "x"}, {"nul", nullptr}, {"b", true}, {"whole", 6.0}};
    EXPECT_EQ(JSONTools::s(o, "n", "d"), "7");
    EXPECT_EQ(JSONTools::s(o, "f", "d"), "12.5");
    EXPECT_EQ(JSONTools::s(o, "whole", "d"), "6");
    EXPECT_EQ(JSONTools::s(o, "s", "d"), "x");
    EXPECT_EQ(JSONTools::s(o, "nul", "d"), "d");
    EXPECT_EQ(JSONTools::s(o, "missing", "d"), "d");
    EXPECT_EQ(JSONTools::s(json::array(), "s", "d"), "d");
}

TEST(JSONTools, IntegerReaderAcceptsNumbersAndStrictDecimalText) {
    json o = {{"text", "50"},       {"junk", "5x"},         {"blank", " 50"},           {"frac", 12.9},
              {"neg", "-12"},       {"plus", "+3"},         {"sign", "-"},              {"empty", ""},
              {"huge", 1e300},      {"nhuge", -1e300},      {"two63", 9223372036854775808.0},
              {"maxText", "9223372036854775807"},           {"overText", "9223372036854775808"},
              {"minText", "-9223372036854775808"},          {"nan", "NaN"},             {"bool", true},
              {"u64", 18446744073709551615ull},             {"negFrac", -2.7}};
    EXPECT_EQ(JSONTools::i(o, "text", 200), 50);
    EXPECT_EQ(JSONTools::i(o, "junk", 200), 200);
    EXPECT_EQ(JSONTools::i(o, "blank", 200), 200);
    EXPECT_EQ(JSONTools::i(o, "frac", 200), 12);
    EXPECT_EQ(JSONTools::i(o, "negFrac", 200), -2);
    EXPECT_EQ(JSONTools::i(o, "neg", 0), -12);
    EXPECT_EQ(JSONTools::i(o, "plus", 0), 3);
    EXPECT_EQ(JSONTools::i(o, "sign", 9), 9);
    EXPECT_EQ(JSONTools::i(o, "empty", 9), 9);
    EXPECT_EQ(JSONTools::i(o, "huge", 9), 9);
    EXPECT_EQ(JSONTools::i(o, "nhuge", 9), 9);
    EXPECT_EQ(JSONTools::i64(o, "two63", 9), 9);
    EXPECT_EQ(JSONTools::i64(o, "maxText", 9), INT64_MAX);
    EXPECT_EQ(JSONTools::i64(o, "overText", 9), 9);
    EXPECT_EQ(JSONTools::i64(o, "minText", 9), INT64_MIN);
    EXPECT_EQ(JSONTools::i64(o, "nan", 9), 9);
    EXPECT_EQ(JSONTools::i64(o, "bool", 9), 9);
    EXPECT_EQ(JSONTools::i64(o, "u64", 9), 9);
}

TEST(JSONTools, BooleanReaderOnlyTakesBooleansAndNumbers) {
    json o = {{"t", true}, {"one", 1}, {"zero", 0}, {"half", 0.5}, {"text", "true"}};
    EXPECT_TRUE(JSONTools::b(o, "t", false));
    EXPECT_TRUE(JSONTools::b(o, "one", false));
    EXPECT_FALSE(JSONTools::b(o, "zero", true));
    EXPECT_TRUE(JSONTools::b(o, "half", false));
    EXPECT_FALSE(JSONTools::b(o, "text", false));
    EXPECT_TRUE(JSONTools::b(o, "missing", true));
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
