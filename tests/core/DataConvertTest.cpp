#include "common/DataConvert.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace kartivo {
namespace {

TEST(DataConvert, LongRoundTripsAtTheLimitsOfThirtyTwoBits) {
    const std::int32_t values[] = {0, 1, -1, 255, 256, 30054, -600, std::numeric_limits<std::int32_t>::max(),
                                   std::numeric_limits<std::int32_t>::min()};
    for (const std::int32_t value : values) {
        std::array<std::uint8_t, 6> bytes{};
        LongToBytes(value, bytes, 1);
        EXPECT_EQ(BytesToLong(bytes, 1), value);
        EXPECT_EQ(bytes[0], 0) << "byte before the field touched";
        EXPECT_EQ(bytes[5], 0) << "byte after the field touched";
    }
}

TEST(DataConvert, ReadsLittleEndianWithTwosComplementSign) {
    const struct {
        std::array<std::uint8_t, 4> bytes;
        std::int32_t expected;
    } cases[] = {
        {{0x36, 0x00, 0x00, 0x00}, 54},
        {{0x66, 0x75, 0x00, 0x00}, 30054},
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{0x00, 0x00, 0x00, 0x80}, std::numeric_limits<std::int32_t>::min()},
        {{0xFF, 0xFF, 0xFF, 0x7F}, std::numeric_limits<std::int32_t>::max()},
        {{0xA8, 0xFD, 0xFF, 0xFF}, -600},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToLong(c.bytes, 0), c.expected);
    }
}

TEST(DataConvert, WritesLeastSignificantByteFirst) {
    std::array<std::uint8_t, 4> bytes{};
    LongToBytes(0x12345678, bytes, 0);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0x78, 0x56, 0x34, 0x12}));
    LongToBytes(-2, bytes, 0);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(DataConvert, SixteenBitFieldsKeepTheirSign) {
    std::array<std::uint8_t, 2> bytes{};
    for (const std::int16_t value : {std::int16_t{0}, std::int16_t{127}, std::int16_t{-1}, std::int16_t{-32768},
                                     std::int16_t{32767}}) {
        IntegerToBytes(value, bytes, 0);
        EXPECT_EQ(BytesToInteger(bytes, 0), value);
    }
    const std::array<std::uint8_t, 2> big{0x40, 0x9C};  // 40000 as stored
    EXPECT_EQ(BytesToInteger(big, 0), -25536);
}

TEST(DataConvert, ShortArraysNeitherReadNorWritePastTheirEnd) {
    const std::vector<std::uint8_t> two{0x42, 0x4D};
    EXPECT_EQ(BytesToLong(two, 0), 0x4D42);
    EXPECT_EQ(BytesToLong(two, 5), 0);
    std::array<std::uint8_t, 3> three{};
    LongToBytes(-1, three, 1);
    EXPECT_EQ(three, (std::array<std::uint8_t, 3>{0, 0xFF, 0xFF}));
}

TEST(DataConvert, BytesToStringIsCutShortAtTheEndOfTheArray) {
    const std::vector<std::uint8_t> bytes{'B', 'M', 'x'};
    EXPECT_EQ(BytesToString(bytes, 2, 0), "BM");
    EXPECT_EQ(BytesToString(bytes, 5, 1), "Mx");
    EXPECT_EQ(BytesToString(bytes, 2, 3), "");
    EXPECT_EQ(BytesToString(bytes, 2, 10), "");
    EXPECT_EQ(BytesToString(bytes, 0, 0), "");
}

TEST(DataConvert, StringToHexInEachMode) {
    const struct {
        const char* text;
        int mode;
        const char* hex;
    } cases[] = {
        {"BM", HexModeLowByte, "424D"},
        {"BM", HexModeAnsi, "424D"},
        {"BM", HexModeUtf16, "42004D00"},
        {"", HexModeAnsi, ""},
        // あ is 0x82A0 in Shift-JIS and U+3042 in UTF-16.
        {"あ", HexModeLowByte, "A0"},
        {"あ", HexModeAnsi, "82A0"},
        {"あ", HexModeUtf16, "4230"},
        {"\xEF\xBD\xB1", HexModeAnsi, "B1"},  // half-width katakana: one byte in Shift-JIS
        {"é", HexModeAnsi, "3F"},             // not in Shift-JIS: "?"
        {"BM", 3, ""},
        {"BM", -1, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StringToHex(c.text, c.mode), c.hex) << c.text << " mode " << c.mode;
    }
}

TEST(DataConvert, StringToBytesStoresTheHexBytesAndCountsThem) {
    std::array<std::uint8_t, 4> bytes{};
    EXPECT_EQ(StringToBytes("BM", bytes, 0, HexModeLowByte), 2U);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0x42, 0x4D, 0, 0}));
    EXPECT_EQ(StringToBytes("地図", bytes, 1, HexModeAnsi), 3U) << "only three bytes fit after index 1";
    EXPECT_EQ(bytes[1], 0x92);
    EXPECT_EQ(bytes[2], 0x6E);
    EXPECT_EQ(bytes[3], 0x90);
}

TEST(DataConvert, DegreeToRadianUsesTheFifteenDigitPi) {
    EXPECT_EQ(DegreeToRadian(180.0), 3.14159265358979);
    EXPECT_EQ(DegreeToRadian(35.0), 35.0 * 3.14159265358979 / 180.0);
    EXPECT_NE(DegreeToRadian(180.0), 3.141592653589793);
}

}  // namespace
}  // namespace kartivo
