#include "geo/CoordinateText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace kartivo {
namespace {

TEST(DegreeText, WritesSignAndTenRoundedDecimals) {
    // A negative value that rounds to zero keeps its sign, like the pattern's negative section.
    const struct { double value; const char* expected; } cases[] = {
        {0, "+0.0000000000"}, {-0.0, "+0.0000000000"}, {35.6895, "+35.6895000000"}, {-139.6917, "-139.6917000000"},
        {2.0 / 3, "+0.6666666667"}, {-1e-11, "-0.0000000000"}, {std::numeric_limits<double>::quiet_NaN(), ""},
        {std::numeric_limits<double>::infinity(), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DegreeText(c.value), c.expected) << c.value;
    }
}

TEST(DegreeToDmsText, WritesDegreesMinutesAndRoundedSeconds) {
    const struct { double value; const char* expected; } cases[] = {
        {0, "+0°00' 00.0000''"}, {-0.0, "+0°00' 00.0000''"}, {35.5, "+35°30' 00.0000''"}, {-0.5, "-0°30' 00.0000''"},
        {139.7671, "+139°46' 01.5600''"}, {-180, "-180°00' 00.0000''"}, {12.3456789, "+12°20' 44.4440''"},
        // Held just below a whole minute as doubles, the seconds carry into the minutes, unless
        // they are more than half the last step below (0.000072 s here); 0.99999999 carries into
        // the degrees.
        {35.05, "+35°03' 00.0000''"}, {35.05 - 1e-9, "+35°03' 00.0000''"}, {35.05 - 2e-8, "+35°02' 59.9999''"},
        {0.99999999, "+1°00' 00.0000''"},
        // A negative value too small to show keeps its "-"; it reads back as minus zero. 1/512
        // degree is exactly 7.03125 seconds: the half goes away from zero. Degrees beyond 32 bits
        // give no text.
        {-1e-11, "-0°00' 00.0000''"}, {-0.001953125, "-0°00' 07.0313''"},
        {std::numeric_limits<double>::quiet_NaN(), ""}, {3e9, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DegreeToDmsText(c.value), c.expected) << c.value;
    }
}

TEST(DmsTextToDegree, ReadsAndRefusesLikeTheGrammarSays) {
    constexpr double Kept = 1234.5;  // refused before a value was read: the value stays as it was
    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    constexpr double Full = 35 + 41 / 60.0 + 22.2 / 3600;
    const struct { const char* text; std::int32_t limit; bool accepted; double value; } cases[] = {
        // Minus zero degrees keeps its sign.
        {"-0", 90, true, -0.0}, {"-0°30' ", 90, true, -0.5}, {"35°41' 22.2''", 90, true, Full},
        // The minutes end only at an apostrophe followed by a space; the seconds need no closing marks.
        {"35°41'22.2''", 90, false, Kept}, {"35°41'", 90, false, Kept}, {"35°41' ", 90, true, 35 + 41 / 60.0},
        {"35°41' 22.2", 90, true, Full},
        // An apostrophe and a space inside the trailing text start a new minutes piece, cutting
        // the seconds piece to 22.2' which is not numeric.
        {"35°41' 22.2'' N", 90, false, Kept},
        // Blanks around each number; pieces of spaces; pieces after a second degree sign.
        {" 35 ° 41 ' 22.2 ''", 90, true, Full}, {"35°   ' 30", 90, true, 35 + 30 / 3600.0},
        {"35°30'   ''", 90, true, 35.5}, {"35°30' °junk", 90, true, 35.5},
        // Decimal degrees are rounded, halves to even.
        {"35.7", 90, true, 36.0}, {"36.5", 90, true, 36.0},
        // A readable text beyond the limit still hands back its value.
        {"90°30' ", 90, false, 90.5}, {"90", 90, true, 90.0}, {"-90", 90, true, -90.0}, {"91", 90, false, Kept},
        {"-91°", 90, false, Kept}, {"180°00' 00''", 180, true, 180.0},
        {"180°00' 00.0001''", 180, false, 180 + 0.0001 / 3600},
        // Minutes and seconds out of range, or minutes that round to sixty.
        {"0°60' ", 90, false, Kept}, {"0°59.5' ", 90, false, Kept}, {"0°0' 60", 90, false, Kept},
        {"0°-1' ", 90, false, Kept}, {"0°0' -1", 90, false, Kept}, {"0°x' ", 90, false, Kept},
        {"0°59' 59.9999''", 90, true, 59 / 60.0 + 59.9999 / 3600}, {"0°0' x''", 90, false, Kept},
        {"", 90, false, Kept}, {"°30' ", 90, false, Kept}, {"3000000000", Max, false, Kept},
        {"2147483647", Max, true, 2147483647.0},
    };
    for (const auto& c : cases) {
        double value = Kept;
        EXPECT_EQ(DmsTextToDegree(c.text, c.limit, value), c.accepted) << c.text;
        EXPECT_NEAR(value, c.value, 1e-12) << c.text;
        EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
    }
}

TEST(CoordinateTextToDegree, ReadsEveryFormStrictlyInsideTheLimit) {
    // Decimal degrees before "°" are not rounded.
    const struct { const char* text; std::int32_t limit; double expected; } cases[] = {
        {"35.5", 90, 35.5}, {" 35.5 ° ", 90, 35.5}, {"35.7°", 90, 35.7}, {"35°", 90, 35.0}, {"35°30' 0''", 90, 35.5}, {"-0°30' 00.0000''", 90, -0.5}, {"1e1", 90, 10.0},
        {"90", 90, 0.0}, {"-90", 90, 0.0}, {"-180", 180, 0.0}, {"-179.9", 180, -179.9}, {"139.6", 90, 0.0},
        {"abc°", 90, 0.0}, {"", 90, 0.0}, {"°", 90, 0.0},
        // Trimming drops the space the minutes' apostrophe needs, so minutes need seconds here.
        {"35°41' ", 90, 0.0}, {"35°41' 0", 90, 35 + 41 / 60.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(CoordinateTextToDegree(c.text, c.limit), c.expected, 1e-12) << c.text << " limit " << c.limit;
    }
}

}  // namespace
}  // namespace kartivo
