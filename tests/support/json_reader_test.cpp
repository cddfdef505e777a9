// The JSON reader of layouts and manifests: what it reads, and the texts it refuses with where
// they stop making sense.
#include <gtest/gtest.h>

#include <string>

#include "json_reader.h"

namespace fogbell::json {
namespace {

TEST(JsonReader, ReadsObjectsArraysStringsIntegersAndBooleans) {
    std::string error;
    const auto value =
        Parse(R"( {"a": [1, -2, true, null], "b": "x\"\u00e9\u20ac", "c": {}} )", error);
    ASSERT_TRUE(value) << error;
    ASSERT_TRUE(value->Find("a")->IsArray());
    EXPECT_EQ(value->Find("a")->items[1].integer, -2);
    EXPECT_TRUE(value->Find("a")->items[2].boolean);
    // \u00XX is the one byte XX (names hold any byte); higher escapes are UTF-8.
    EXPECT_EQ(value->Find("b")->text, "x\"\xE9\xE2\x82\xAC");
    EXPECT_TRUE(value->Find("c")->IsObject());
    EXPECT_EQ(value->Find("d"), nullptr);
}

TEST(JsonReader, QuotedAndWrittenTextsReadBackToTheSameBytes) {
    const std::string bytes("a\"\\\x01\x7F\xFF b", 8);
    std::string error;
    const auto value = Parse(Quoted(bytes), error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(value->text, bytes);
    const auto again = Parse(Write(*Parse(R"({"k": [1, "v", false]})", error)), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(Write(*again), R"({"k":[1,"v",false]})");
}

TEST(JsonReader, RefusesDamagedTextsSayingWhere) {
    struct Case {
        std::string text;
        const char* error;
    };
    const Case cases[] = {
        {"", "at byte 0: the text ends where a value belongs"},
        {"{\"a\" 1}", "at byte 5: ':' missing after a key"},
        {"[1, 2", "at byte 5: ',' or ']' missing in an array"},
        {"9223372036854775808", "at byte 18: a number too large"},
        {"1.5", "at byte 1: only whole numbers are read"},
        {"\"abc", "at byte 4: a string without its closing quote"},
        {"\"\\q\"", "at byte 3: an unknown escape in a string"},
        {"\"\\ud800\"", "at byte 7: a \\u escape of a surrogate"},
        {"{} x", "at byte 3: text after the value"},
        {std::string(40, '['), "at byte 32: nested too deeply"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(Parse(c.text, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    std::string error;
    EXPECT_EQ(Parse("-9223372036854775808", error)->integer, INT64_MIN);
}

TEST(JsonReader, ReadIntegerChecksTheRange) {
    std::string error;
    const auto value = Parse(R"({"n": 70000, "s": "1"})", error);
    std::int64_t n = 0;
    EXPECT_TRUE(ReadInteger(*value, "n", 0, 70000, n, error));
    EXPECT_EQ(n, 70000);
    EXPECT_FALSE(ReadInteger(*value, "n", 0, 65535, n, error));
    EXPECT_EQ(error, "\"n\" is 70000, outside 0..65535");
    EXPECT_FALSE(ReadInteger(*value, "s", 0, 1, n, error));
    EXPECT_EQ(error, "\"s\" is missing or not a whole number");
}

}  // namespace
}  // namespace fogbell::json
