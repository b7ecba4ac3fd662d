// The tool's JSON writer: what its strings escape and how its two layouts
// place members, items and brackets.
#include <gtest/gtest.h>

#include <string>

#include "json_writer.h"

TEST(JsonWriter, StringsEscapeQuotesBackslashesAndControlCharactersOnly)
{
    EXPECT_EQ("\"say \\\"hi\\\" C:\\\\dir\"", JsonString(std::wstring(L"say \"hi\" C:\\dir")));
    EXPECT_EQ("\"a\\nb\\rc\\td\"", JsonString(std::wstring(L"a\nb\rc\td")));
    EXPECT_EQ("\"\\u0001\\u0008\\u000c\\u001f\"", JsonString(std::wstring(L"\x01\x08\x0c\x1f")));
    EXPECT_EQ("\"\\u0000x\"", JsonString(std::string("\0x", 2)));
    // DEL, "/" and everything from U+0080 on pass as they are, as UTF-8.
    EXPECT_EQ("\"\x7f/\"", JsonString(std::wstring(L"\x7f/")));
    EXPECT_EQ("\"Caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80\"", JsonString(std::wstring(L"Caf\u00e9 \u2603 \U0001F600")));
    EXPECT_EQ("\"\"", JsonString(std::wstring()));
}

TEST(JsonWriter, OneLineLayoutSeparatesWithCommaAndSpace)
{
    JsonWriter json;
    json.BeginObject();
    json.Key("n");
    json.Number(-2147483648LL);
    json.Key("list");
    json.BeginArray();
    json.Bool(true);
    json.Null();
    json.BeginObject();
    json.EndObject();
    json.BeginArray();
    json.EndArray();
    json.EndArray();
    json.Key("s");
    json.String(std::wstring(L"\u00e9"));
    json.EndObject();
    EXPECT_EQ("{\"n\": -2147483648, \"list\": [true, null, {}, []], \"s\": \"\xC3\xA9\"}", json.text);
}

TEST(JsonWriter, LinesLayoutIndentsEachLevelByTwoSpaces)
{
    JsonWriter json;
    json.BeginObject(kJsonLines);
    json.Key("empty");
    json.BeginArray(kJsonLines);
    json.EndArray();
    json.Key("items");
    json.BeginArray(kJsonLines);
    json.BeginObject();
    json.Key("a");
    json.Number(1);
    json.Key("b");
    json.String("x");
    json.EndObject();
    json.Number(2);
    json.EndArray();
    json.EndObject();
    EXPECT_EQ("{\n  \"empty\": [],\n  \"items\": [\n    {\"a\": 1, \"b\": \"x\"},\n    2\n  ]\n}", json.text);
}
