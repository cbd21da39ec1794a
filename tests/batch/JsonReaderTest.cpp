// The reader the info tests lean on must refuse what only looks like JSON, or a broken report
// would pass them.

#include "JsonReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kartivo::test {
namespace {

TEST(JsonReader, RefusesWhatIsNotStrictJson) {
    const std::vector<std::string> refused = {
        "",
        "{\"a\":1,}",
        "{\"a\" 1}",
        "{a:1}",
        "\"raw\nline\"",
        "\"bad \\x escape\"",
        "\"lone \\udc00 surrogate\"",
        "\"stray \xff byte\"",
        "\"cut \xe6\x9d\"",
        "+1",
        "01",
        "1.",
        ".5",
        "1e",
        "{} {}",
        "[1,2",
        "nul",
    };
    for (const std::string& text : refused) EXPECT_FALSE(ParseJson(text)) << text;
}

TEST(JsonReader, ReadsValuesAndResolvesEscapes) {
    const auto json = ParseJson(
        " {\"s\":\"q\\\"b\\\\n\\n\\u0001\\u00e9\\ud83d\\ude00東\",\"n\":-1.5E-05,\"z\":0,\"a\":[true,false,null],"
        "\"o\":{}} ");
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["s"].text, "q\"b\\n\n\x01\xc3\xa9\xf0\x9f\x98\x80東");
    EXPECT_EQ((*json)["n"].number, -1.5e-05);
    EXPECT_EQ((*json)["z"].number, 0);
    ASSERT_EQ((*json)["a"].items.size(), 3u);
    EXPECT_TRUE((*json)["a"].items[0].boolean);
    EXPECT_FALSE((*json)["a"].items[1].boolean);
    EXPECT_TRUE((*json)["a"].items[2].IsNull());
    EXPECT_EQ((*json)["o"].kind, JsonValue::Kind::Object);
    EXPECT_EQ(json->Keys(), (std::vector<std::string>{"s", "n", "z", "a", "o"}));
}

}  // namespace
}  // namespace kartivo::test
