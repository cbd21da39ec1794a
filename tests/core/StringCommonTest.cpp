#include "common/SortCommon.h"
#include "common/StringCommon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace kartivo {
namespace {

TEST(ReplacePlaceholders, FillsEachPlaceholderWithTheTextOfItsValue) {
    const std::array<PlaceholderValue, 8> digits = {std::string("0"), std::string("1"), std::string("2"),
                                                    std::string("3"), std::string("4"), std::string("5"),
                                                    std::string("6"), std::string("7")};
    const struct {
        const char* templ;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"no placeholders here", "no placeholders here"},
        {"%7%%6%%5%%4%%3%%2%%1%%0%", "76543210"},
        {"<%0%|%0%>", "<0|0>"},
        {"%3%%3%%3%", "333"},
        // Only the exact texts "%0%".."%7%" are placeholders.
        {"%8% %01% % 1% %1 % 1%", "%8% %01% % 1% %1 % 1%"},
        {"%%1%%", "%1%"},
        {"100%", "100%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplacePlaceholders(c.templ, digits), c.expected) << c.templ;
    }
}

TEST(ReplacePlaceholders, WritesWholeNumbersInDecimalDigits) {
    EXPECT_EQ(ReplacePlaceholders("%0%/%1%/%2%/%3%", {0, -42, std::numeric_limits<std::int32_t>::max(),
                                                      std::numeric_limits<std::int32_t>::min()}),
              "0/-42/2147483647/-2147483648");
}

TEST(ReplacePlaceholders, ValuesLeftOutAreEmpty) {
    EXPECT_EQ(ReplacePlaceholders("a%0%b%5%c%7%d", {std::string("x")}), "axbcd");
}

TEST(ReplacePlaceholders, LaterStepsSeeWhatEarlierStepsInserted) {
    const struct {
        const char* note;
        const char* templ;
        std::array<PlaceholderValue, 8> values;
        std::string expected;
    } cases[] = {
        {"a higher placeholder inside a lower value is filled", "%0%",
         {std::string("x%1%y"), std::string("B")}, "xBy"},
        {"a lower placeholder inside a higher value stays", "%0%%1%",
         {std::string("A"), std::string("[%0%]")}, "A[%0%]"},
        {"a value holding its own placeholder is not rescanned", "%2%.%2%",
         {std::string(), std::string(), std::string("%2%")}, "%2%.%2%"},
        {"an inserted text can complete a later placeholder", "%0%2%",
         {std::string("%"), std::string(), std::string("two")}, "two"},
        {"an inserted text cannot complete its own placeholder", "%0%0%",
         {std::string("%")}, "%0%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplacePlaceholders(c.templ, c.values), c.expected) << c.note;
    }
}

std::vector<double> Sorted(std::vector<double> values, bool ascending) {
    BubbleSort(values, ascending);
    return values;
}

TEST(BubbleSort, SortsAscendingOrDescending) {
    const struct {
        std::vector<double> input;
        std::vector<double> ascending;
        std::vector<double> descending;
    } cases[] = {
        {{}, {}, {}},
        {{7.5}, {7.5}, {7.5}},
        {{3, 1, 2}, {1, 2, 3}, {3, 2, 1}},
        {{1, 2, 3, 4}, {1, 2, 3, 4}, {4, 3, 2, 1}},
        {{4, 3, 2, 1}, {1, 2, 3, 4}, {4, 3, 2, 1}},
        {{35.7, 35.6}, {35.6, 35.7}, {35.7, 35.6}},
        {{0, -10, 2, -10, 2}, {-10, -10, 0, 2, 2}, {2, 2, 0, -10, -10}},
        {{1e300, -1e-300, -1e300, 1e-300}, {-1e300, -1e-300, 1e-300, 1e300}, {1e300, 1e-300, -1e-300, -1e300}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sorted(c.input, true), c.ascending);
        EXPECT_EQ(Sorted(c.input, false), c.descending);
    }
}

// Zero and minus zero compare equal but can be told apart, which makes the stability visible.
TEST(BubbleSort, AgreesWithAStableSortOnRandomArrays) {
    const double pool[] = {-2.5, -1, -0.0, 0.0, 1, 2.5, 35.6, 139.8};
    std::mt19937_64 generator(20240607);
    for (int round = 0; round < 200; ++round) {
        std::vector<double> values(generator() % 40);
        for (double& v : values) v = pool[generator() % std::size(pool)];
        for (const bool ascending : {true, false}) {
            std::vector<double> expected = values;
            std::stable_sort(expected.begin(), expected.end(),
                             [ascending](double a, double b) { return ascending ? a < b : a > b; });
            const std::vector<double> actual = Sorted(values, ascending);
            ASSERT_EQ(actual.size(), expected.size());
            for (std::size_t i = 0; i < actual.size(); ++i) {
                // Bit patterns, so that 0 and -0 in the wrong order count as a difference.
                EXPECT_EQ(std::bit_cast<std::uint64_t>(actual[i]), std::bit_cast<std::uint64_t>(expected[i]))
                    << "round " << round << " index " << i;
            }
        }
    }
}

}  // namespace
}  // namespace kartivo
