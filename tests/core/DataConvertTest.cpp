#include "common/DataConvert.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace kartivo {
namespace {

using Four = std::array<std::uint8_t, 4>;

TEST(DataConvert, FieldsAreLittleEndianTwosComplementBothWays) {
    const struct { Four bytes; std::int32_t value; } cases[] = {
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678}, {{0xFF, 0xFF, 0xFF, 0xFF}, -1}, {{0xA8, 0xFD, 0xFF, 0xFF}, -600},
        {{0x00, 0x00, 0x00, 0x80}, std::numeric_limits<std::int32_t>::min()},
        {{0xFF, 0xFF, 0xFF, 0x7F}, std::numeric_limits<std::int32_t>::max()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(BytesToLong(c.bytes, 0), c.value);
        std::array<std::uint8_t, 6> field{};  // the bytes either side must stay untouched
        LongToBytes(c.value, field, 1);
        EXPECT_EQ(field, (std::array<std::uint8_t, 6>{0, c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3], 0}));
    }
    // Sixteen-bit fields keep their sign too.
    const struct { std::array<std::uint8_t, 2> bytes; std::int16_t value; } shorts[] = {
        {{0x7F, 0x00}, 127}, {{0xFF, 0xFF}, -1}, {{0x00, 0x80}, -32768}, {{0xFF, 0x7F}, 32767}, {{0x40, 0x9C}, -25536},
    };
    for (const auto& c : shorts) {
        EXPECT_EQ(BytesToInteger(c.bytes, 0), c.value);
        std::array<std::uint8_t, 2> field{};
        IntegerToBytes(c.value, field, 0);
        EXPECT_EQ(field, c.bytes);
    }
}

TEST(DataConvert, ShortArraysNeitherReadNorWritePastTheirEnd) {
    const std::vector<std::uint8_t> bytes{'B', 'M', 'x'};
    EXPECT_EQ(BytesToLong(bytes, 1), 'M' | 'x' << 8);
    EXPECT_EQ(BytesToLong(bytes, 5), 0);
    std::array<std::uint8_t, 3> three{};
    LongToBytes(-1, three, 1);
    EXPECT_EQ(three, (std::array<std::uint8_t, 3>{0, 0xFF, 0xFF}));
    EXPECT_EQ(BytesToString(bytes, 2, 0), "BM");
    EXPECT_EQ(BytesToString(bytes, 5, 1), "Mx");
    EXPECT_EQ(BytesToString(bytes, 2, 3), "");
}

// あ is 0x82A0 in Shift-JIS, so its low byte is A0; é is not there and becomes "?".
TEST(DataConvert, StringToBytesStoresOneLowByteACharacterAndCountsThem) {
    EXPECT_EQ(StringToHex("BMあé", HexModeLowByte), "424DA03F");
    EXPECT_EQ(StringToHex("BM", 1), "") << "an unknown mode";
    Four bytes{};
    EXPECT_EQ(StringToBytes("BM", bytes, 0, HexModeLowByte), 2U);
    EXPECT_EQ(StringToBytes("あBM", bytes, 2, HexModeLowByte), 2U) << "only two bytes fit after index 2";
    EXPECT_EQ(bytes, (Four{0x42, 0x4D, 0xA0, 0x42}));
}

}  // namespace
}  // namespace kartivo
