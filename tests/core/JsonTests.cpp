#include <array>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "core/JsonObjectSlices.h"
#include "core/JsonWriter.h"

namespace nudgerly {
namespace {

using nlohmann::json;

TEST(JsonWriterTests, EscapesLikeThePlatformEncoder) {
    const json value = "a/b \"q\" \\ \b\f\n\r\t \x01\x1f\x7f é 😀";
    EXPECT_EQ(JsonWriter::write(value), "\"a\\/b \\\"q\\\" \\\\ \\b\\f\\n\\r\\t \\u0001\\u001f\x7f é 😀\"");
}

TEST(JsonWriterTests, WritesInvalidUtf8AsReplacementCharacters) {
    const json value = std::string("ok\xff\xc3(");
    EXPECT_EQ(JsonWriter::write(value), "\"ok\xEF\xBF\xBD\xEF\xBF\xBD(\"");
    json object;
    object[std::string("k\xfe")] = 1;
    EXPECT_EQ(JsonWriter::write(object), "{\"k\xEF\xBF\xBD\":1}");
}

TEST(JsonWriterTests, SortsKeysByUtf8BytesUnlessTheOrderIsKept) {
    json object;
    object["b"] = 1;
    object["a"] = 2;
    object["B"] = 3;
    object["é"] = 4;
    object["z"] = 5;
    EXPECT_EQ(JsonWriter::write(object), "{\"B\":3,\"a\":2,\"b\":1,\"z\":5,\"é\":4}");

    nlohmann::ordered_json ordered;
    ordered["b"] = {{"z", "a/b"}, {"a", 0.5}};
    ordered["a"] = json::array({1, 2});
    EXPECT_EQ(JsonWriter::write(ordered), "{\"b\":{\"z\":\"a\\/b\",\"a\":0.5},\"a\":[1,2]}");
}

TEST(JsonWriterTests, FormatsNumbersAsShortestRoundTrip) {
    EXPECT_EQ(JsonWriter::formatDouble(1.0), "1");
    EXPECT_EQ(JsonWriter::formatDouble(-0.0), "-0");
    EXPECT_EQ(JsonWriter::formatDouble(0.0), "0");
    EXPECT_EQ(JsonWriter::formatDouble(0.85), "0.85");
    EXPECT_EQ(JsonWriter::formatDouble(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(JsonWriter::formatDouble(1772357400.123), "1772357400.123");
    EXPECT_EQ(JsonWriter::formatDouble(-12.5), "-12.5");
    EXPECT_EQ(JsonWriter::formatDouble(0.0001), "0.0001");
    EXPECT_EQ(JsonWriter::formatDouble(0.00001), "1e-05");
    EXPECT_EQ(JsonWriter::formatDouble(1.25e-7), "1.25e-07");
    EXPECT_EQ(JsonWriter::formatDouble(9007199254740992.0), "9007199254740992");
    EXPECT_EQ(JsonWriter::formatDouble(1e16), "1e+16");
    EXPECT_EQ(JsonWriter::formatDouble(1.5e300), "1.5e+300");
    EXPECT_EQ(JsonWriter::write(json::array({1, -2, 3.5, true, nullptr})), "[1,-2,3.5,true,null]");
    EXPECT_EQ(JsonWriter::write(json(std::numeric_limits<uint64_t>::max())), "18446744073709551615");
}

TEST(JsonWriterTests, RefusesNonFiniteNumbers) {
    EXPECT_THROW(JsonWriter::write(json(NAN)), JsonEncodingError);
    EXPECT_THROW(JsonWriter::write(json::array({INFINITY})), JsonEncodingError);
}

TEST(JsonWriterTests, PrettyPrintsWithTwoSpaceIndent) {
    json object;
    object["list"] = json::array({1, 2});
    object["empty"] = json::array();
    object["nested"] = json::object({{"x", "y"}});
    EXPECT_EQ(JsonWriter::write(object, JsonWriter::Style::pretty),
              "{\n  \"empty\" : [],\n  \"list\" : [\n    1,\n    2\n  ],\n  \"nested\" : {\n    \"x\" : \"y\"\n  }\n}");
}

TEST(JsonReaderTests, RequiredMembersAreStrictlyTyped) {
    const json object =
        parseJson(R"({"s":"x","i":3,"whole":2.0,"f":1.5,"b":true,"n":null,"big":18446744073709551615})");
    EXPECT_EQ(Json::required<std::string>(object, "s"), "x");
    EXPECT_EQ(Json::required<int64_t>(object, "i"), 3);
    EXPECT_EQ(Json::required<int64_t>(object, "whole"), 2);
    EXPECT_EQ(Json::required<double>(object, "i"), 3.0);
    EXPECT_EQ(Json::required<bool>(object, "b"), true);
    EXPECT_EQ(Json::required<uint64_t>(object, "big"), std::numeric_limits<uint64_t>::max());

    EXPECT_THROW(Json::required<int64_t>(object, "f"), JsonDecodingError);  // 1.5 is not an integer
    EXPECT_THROW(Json::required<double>(object, "b"), JsonDecodingError);   // true is not a number
    EXPECT_THROW(Json::required<bool>(object, "i"), JsonDecodingError);     // 3 is not a bool
    EXPECT_THROW(Json::required<std::string>(object, "i"), JsonDecodingError);
    EXPECT_THROW(Json::required<std::string>(object, "n"), JsonDecodingError);  // null is not a value
    EXPECT_THROW(Json::required<std::string>(object, "missing"), JsonDecodingError);
    EXPECT_THROW(Json::required<int64_t>(object, "big"), JsonDecodingError);  // does not fit
    EXPECT_THROW(Json::required<uint64_t>(parseJson(R"({"v":-1})"), "v"), JsonDecodingError);
}

TEST(JsonReaderTests, OptionalMembersReadNullAsAbsentButStillCheckTypes) {
    const json object = parseJson(R"({"n":null,"s":"x","i":1})");
    EXPECT_EQ(Json::optional<std::string>(object, "n"), std::nullopt);
    EXPECT_EQ(Json::optional<std::string>(object, "missing"), std::nullopt);
    EXPECT_EQ(Json::optional<std::string>(object, "s"), "x");
    EXPECT_THROW(Json::optional<std::string>(object, "i"), JsonDecodingError);
}

TEST(JsonReaderTests, DatesFollowTheChosenCoding) {
    const json object =
        parseJson(R"({"ref":1.5,"unix":978307201.5,"iso":"2001-01-01T00:00:01Z","frac":"2001-01-01T00:00:01.5Z"})");
    EXPECT_EQ(Json::required<Date>(object, "ref", {DateCoding::referenceDateSeconds}), Date{1.5});
    EXPECT_EQ(Json::required<Date>(object, "unix", {DateCoding::unixSeconds}), Date{1.5});
    EXPECT_EQ(Json::required<Date>(object, "iso", {DateCoding::iso8601}), Date{1});
    EXPECT_THROW(Json::required<Date>(object, "frac", {DateCoding::iso8601}), JsonDecodingError);
    EXPECT_THROW(Json::required<Date>(object, "ref", {DateCoding::iso8601}), JsonDecodingError);
    EXPECT_EQ(Json::writeDate(Date{1.75}, {DateCoding::iso8601}), "2001-01-01T00:00:01Z");
    EXPECT_THROW(Json::writeDate(Date{NAN}, {DateCoding::referenceDateSeconds}), JsonEncodingError);
}

TEST(JsonReaderTests, MalformedTextIsADecodingError) {
    EXPECT_THROW(parseJson("{"), JsonDecodingError);
    EXPECT_THROW(parseJson(""), JsonDecodingError);
    EXPECT_THROW(parseJson("\"\xff\""), JsonDecodingError);
    EXPECT_THROW(Json::object(parseJson("[]")), JsonDecodingError);
}

TEST(JsonObjectSlicesTests, CutsOutTheElementsOfTheArrayOfEachKey) {
    constexpr std::array<std::string_view, 2> keys{"items", "cache"};
    const auto sliced = sliceJsonObject(R"( { "n":{"items":[9]}, "items" : [ true , null ], "cache":[] } )", keys);
    ASSERT_TRUE(sliced);
    EXPECT_EQ(sliced->arrays[0], (std::vector<std::string_view>{"true", "null"}));
    EXPECT_TRUE(sliced->arrays[1].empty());
    EXPECT_EQ(sliced->rest, R"( { "n":{"items":[9]}, "items" : [], "cache":[] } )");

    const auto first = sliceJsonObject(R"({"cache":[{"a":"]},{\"["} , [1,[2]] ,3, "x\\" ]})", keys);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->arrays[1], (std::vector<std::string_view>{R"({"a":"]},{\"["})", "[1,[2]]", "3", R"("x\\")"}));

    // Whatever it cannot be sure of is left to the parser.
    for (const std::string_view unsure :
         {R"([{"items":[]}])", R"({"\u0069tems":[1]})", R"({"items":[1 2]})", R"({"items":[1,]})", R"({"items":[1]} x)",
          R"({"items":["open]})", R"({"items" [1]})", "\xEF\xBB\xBF{}", R"({"items":[tru],"items":[]})"}) {
        EXPECT_FALSE(sliceJsonObject(unsure, keys)) << unsure;
    }
}

}  // namespace
}  // namespace nudgerly
