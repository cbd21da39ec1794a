#include "common/Utf8.h"

#include <gtest/gtest.h>

#include <string_view>

namespace kartivo {
namespace {

// A malformed sequence ends where it broke off, so the code page conversion puts one "?" for it.
TEST(Utf8, ReadsOneSequenceAndWhereAMalformedOneEnds) {
    const struct {
        std::string_view text;
        char32_t codePoint;
        std::size_t length;
    } cases[] = {{"A", 'A', 1},          {"\xC3\xA9x", 0xE9, 2},   {"\xF0\x9F\x98\x80", 0x1F600, 4},
                 {"\x80", 0xFFFD, 1},     {"\xE6\x9D" "a", 0xFFFD, 2}, {"\xC0\x80", 0xFFFD, 2},
                 {"\xF4\x90\x80\x80", 0xFFFD, 4}, {"\xF8\x80", 0xFFFD, 1},
                 // The smallest and largest of each length, either side of the surrogates.
                 {"\xC2\x80", 0x80, 2}, {"\xE0\xA0\x80", 0x800, 3}, {"\xF0\x90\x80\x80", 0x10000, 4},
                 {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4}, {"\xED\x9F\xBF", 0xD7FF, 3}, {"\xEE\x80\x80", 0xE000, 3},
                 {"\xED\xA0\x80", 0xFFFD, 3}, {"\xED\xBF\xBF", 0xFFFD, 3}};  // surrogates
    for (const auto& c : cases) {
        const Utf8Sequence read = ReadUtf8Sequence(c.text);
        EXPECT_EQ(read.codePoint, c.codePoint) << c.text;
        EXPECT_EQ(read.length, c.length) << c.text;
        EXPECT_EQ(read.wellFormed, c.codePoint != 0xFFFD) << c.text;
    }
    EXPECT_EQ(Utf8CharacterCount("東京a\x80"), 3u);
}

}  // namespace
}  // namespace kartivo
