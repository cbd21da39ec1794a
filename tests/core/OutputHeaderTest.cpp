#include "bitmap/OutputHeader.h"

#include "geo/CoordinateText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kartivo {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr double Infinity = std::numeric_limits<double>::infinity();

// Bytes from hex digits; spaces only group the fields for reading.
Bytes FromHex(std::string hex) {
    std::erase(hex, ' ');
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

OutputHeaderFields Fields(std::int32_t width, std::int32_t height, std::int16_t bitCount, HeaderForm form = HeaderForm::Windows) {
    return {.form = form, .width = width, .height = height, .bitCount = bitCount, .xPelsPerMeter = 3780,
            .yPelsPerMeter = 2835};
}

// Colour counts are copied as they stand, whatever they mean; a carried colour table moves the
// pixels; compression keeps the raw image size; the core form has no place for either.
TEST(OutputHeaderTest, HeadersAreWrittenByteForByte) {
    const std::tuple<OutputHeaderFields, std::uint32_t, const char*> cases[] = {
        {{.width = 100, .height = 100, .bitCount = 24, .xPelsPerMeter = 3780, .yPelsPerMeter = 2835, .clrUsed = 7,
          .clrImportant = -2},
         0, "424D 66750000 00000000 36000000 28000000 64000000 64000000 0100 1800 00000000 30750000 "
            "C40E0000 130B0000 07000000 FEFFFFFF"},
        {{.width = 100, .height = 100, .bitCount = 8, .compression = 1, .xPelsPerMeter = 3780, .yPelsPerMeter = 2835},
         1024, "424D 462B0000 00000000 36040000 28000000 64000000 64000000 0100 0800 01000000 10270000 "
               "C40E0000 130B0000 00000000 00000000"},
        {{.form = HeaderForm::Os2, .width = 3, .height = 2, .bitCount = 8, .compression = 1, .clrUsed = 5},
         768, "424D 22030000 00000000 1A030000 0C000000 0300 0200 0100 0800"},
    };
    for (const auto& [fields, carried, hex] : cases) {
        EXPECT_EQ(BuildOutputHeader(fields, carried), FromHex(hex)) << hex;
        EXPECT_EQ(OutputHeaderLength(fields.form), FromHex(hex).size()) << hex;
    }
}

TEST(OutputHeaderTest, RefusesWhatItsFieldsCannotHold) {
    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    const std::tuple<const char*, OutputHeaderFields, std::uint32_t, bool> cases[] = {
        {"negative width", Fields(-1, 1, 24), 0, false},
        {"negative height", Fields(1, -1, 24), 0, false},
        {"no bits", Fields(1, 1, 0), 0, false},
        {"row beyond 32 bits", Fields(Max, 1, 32), 0, false},
        {"image beyond 32 bits", Fields(10000, 100000, 24), 0, false},
        // 2147483592 pixel bytes fit, and with the headers and one carried byte they reach the limit.
        {"file size exactly the limit", Fields(1, 536870898, 32), 1, true},
        {"one carried byte too many", Fields(1, 536870898, 32), 2, false},
        {"empty picture", Fields(0, 0, 24), 0, true},
        {"pixels starting at the limit", Fields(0, 0, 24), Max - 54, true},
        {"pixels starting beyond it", Fields(0, 0, 24), Max - 53, false},
        {"core width beyond 16 bits", Fields(32768, 1, 1, HeaderForm::Os2), 0, false},
        {"core at its limits", Fields(32767, 32767, 1, HeaderForm::Os2), 0, true},
    };
    for (const auto& [name, fields, carried, accepted] : cases) {
        EXPECT_EQ(BuildOutputHeader(fields, carried).has_value(), accepted) << name;
    }
}

// Resolution texts as typed; 0.0127, 0.0635 and 0.1397 dpi give exactly 0.5, 2.5 and 5.5.
TEST(OutputHeaderTest, PelsPerMeterFromDpiTextRoundsHalvesToEven) {
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {"72", 2835}, {" 96 ", 3780}, {"1", 39}, {"-96", -3780}, {"0.0127", 0}, {"0.0635", 2}, {"0.1397", 6},
        {"54546084", 2147483622}, {"54546085", std::nullopt}, {"-54546085", std::nullopt}, {"abc", std::nullopt},
    };
    for (const auto& [dpi, pelsPerMeter] : cases) EXPECT_EQ(PelsPerMeterFromDpiText(dpi), pelsPerMeter) << dpi;
    EXPECT_EQ(PelsPerMeterFromDpi(std::nan("")), std::nullopt);
    EXPECT_EQ(PelsPerMeterFromDpi(Infinity), std::nullopt);
}

// A Degree box keeps ten decimals of what is typed and writes fifteen significant digits.
TEST(OutputHeaderTest, DegreeBoxesKeepWhatTheirTextsShow) {
    EXPECT_DOUBLE_EQ(HeldByDegreeBox(0.12345678904), 0.123456789);
    EXPECT_DOUBLE_EQ(HeldByDegreeBox(-35.00000000006), -35.0000000001);
    EXPECT_EQ(HeldByDegreeBox(Infinity), Infinity);
    EXPECT_DOUBLE_EQ(WrittenIntoDegreeBox(1.0 / 3.0), 0.333333333333333);
    EXPECT_DOUBLE_EQ(WrittenIntoDegreeBox(-139.9999999999999), -140.0);
}

}  // namespace
}  // namespace kartivo
