#include "common/NumberText.h"
#include "common/PathParts.h"
#include "common/SortCommon.h"
#include "common/StringCommon.h"
#include "common/TextEncoding.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kartivo {
namespace {

using namespace std::string_literals;

TEST(ReplacePlaceholders, FillsEachPlaceholderStepByStep) {
    using Values = std::array<PlaceholderValue, 8>;
    const Values digits = {"0"s, "1"s, "2"s, "3"s, "4"s, "5"s, "6"s, "7"s};
    const std::int32_t max = std::numeric_limits<std::int32_t>::max(), min = std::numeric_limits<std::int32_t>::min();
    const struct { const char* templ; Values values; std::string expected; } cases[] = {
        {"", digits, ""}, {"%7%%6%%5%%4%%3%%2%%1%%0%", digits, "76543210"}, {"<%0%|%0%>", digits, "<0|0>"},
        // Only the exact texts "%0%".."%7%" are placeholders; values left out are empty.
        {"%8% %01% % 1% %1 % 1%", digits, "%8% %01% % 1% %1 % 1%"}, {"%%1%%", digits, "%1%"},
        {"100%", digits, "100%"}, {"%0%/%1%/%2%/%3%", {0, -42, max, min}, "0/-42/2147483647/-2147483648"},
        {"a%0%b%5%c%7%d", {"x"s}, "axbcd"},
        // A higher placeholder inside a lower value is filled; a lower one inside a higher value
        // stays; a value holding its own placeholder is not rescanned; an inserted text can
        // complete a later placeholder, but not its own.
        {"%0%", {"x%1%y"s, "B"s}, "xBy"}, {"%0%%1%", {"A"s, "[%0%]"s}, "A[%0%]"},
        {"%2%.%2%", {""s, ""s, "%2%"s}, "%2%.%2%"}, {"%0%2%", {"%"s, ""s, "two"s}, "two"}, {"%0%0%", {"%"s}, "%0%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplacePlaceholders(c.templ, c.values), c.expected) << c.templ;
    }
}

// The folder keeps a root's separator, so it can be opened as it is.
TEST(PathParts, SplitFolderNameAndExtension) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"/maps/Tokyo.v2.bmp", "/maps", "Tokyo.v2", "bmp"}, {"/Tokyo.bmp", "/", "Tokyo", "bmp"},
        {"C:/Tokyo", "C:/", "Tokyo", ""}, {"C:/a/x.", "C:/a", "x", ""}, {"ab/x", "ab", "x", ""},
        {"Tokyo.bmp", "", "Tokyo", "bmp"},
    };
    for (const auto& [path, folder, base, extension] : cases) {
        EXPECT_EQ(GetParentFolderName(path), folder) << path;
        EXPECT_EQ(GetBaseName(path), base) << path;
        EXPECT_EQ(GetExtensionName(path), extension) << path;
    }
}

TEST(NumericValue, ReadsTheNumberGrammar) {
    const struct { std::string text; std::optional<double> expected; } cases[] = {
        {" -12.5 ", -12.5}, {"+3", 3.0}, {".5", 0.5}, {"5.", 5.0}, {"1e+3", 1000.0}, {"2.5E-1", 0.25}, {"-1E2", -100.0},
        // Too small for a double reads as zero, too large is no number at all.
        {"1e-400", 0.0}, {"-0.001e-330", 0.0}, {"1e400", std::nullopt}, {"-1e+400", std::nullopt},
        {std::string(320, '0') + ".1e310", std::nullopt}, {"1e", std::nullopt}, {"1e+", std::nullopt},
        {"e5", std::nullopt}, {".", std::nullopt}, {"1.2.3", std::nullopt}, {"1x", std::nullopt}, {"", std::nullopt},
        {"+-1", std::nullopt}, {"1 2", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumericValue(c.text), c.expected) << c.text;
    }
}

// Fifteen significant digits, no trailing zeros, an upper-case exponent, and no minus zero.
TEST(GeneralNumberText, WritesFifteenSignificantDigits) {
    const struct { double value; const char* expected; } cases[] = {
        {35.6, "35.6"}, {-180, "-180"}, {1.0 / 3, "0.333333333333333"}, {2.0 / 3, "0.666666666666667"},
        {1e-5, "1E-05"}, {123456789012345678.0, "1.23456789012346E+17"}, {-0.0, "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GeneralNumberText(c.value), c.expected) << c.value;
    }
}

// Each conversion closes its converter, or a long session runs out of them. A converter left
// open holds tens of kilobytes of the C library's heap, which its counters show; the sanitizers'
// allocator leaves them at zero, and its leak check reports the converter at exit instead.
TEST(ToAnsiCharacters, EachConversionGivesItsConverterBack) {
    const std::size_t before = mallinfo2().uordblks;
    void* const volatile probe = std::malloc(64 * 1024);
    const bool counted = mallinfo2().uordblks >= before + 64 * 1024;
    std::free(probe);
    if (!counted) GTEST_SKIP() << "the C library's heap counters stand still under this allocator";
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(ToAnsiCharacters("\xE3\x81\x82")[0].bytes, "\x82\xA0");
    EXPECT_LT(mallinfo2().uordblks, before + 64 * 1024);
}

// Zero and minus zero compare equal but can be told apart by their bits, which makes the
// stability visible; full passes reach the last element.
TEST(BubbleSort, SortsAscendingAndKeepsEqualValuesInOrder) {
    const struct { std::vector<double> values, expected; } cases[] = {
        {{3, 1, 2}, {1, 2, 3}}, {{2, -0.0, 1, 0.0, -1}, {-1, -0.0, 0.0, 1, 2}}, {{0.0, -0.0}, {0.0, -0.0}},
        {{5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}}, {{7}, {7}}, {{}, {}},
    };
    for (auto c : cases) {
        BubbleSort(c.values);
        ASSERT_EQ(c.values.size(), c.expected.size());
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(c.values[i]), std::bit_cast<std::uint64_t>(c.expected[i])) << i;
        }
    }
}

}  // namespace
}  // namespace kartivo
