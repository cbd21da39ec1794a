#include "bitmap/OutputHeader.h"

#include "common/DataConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kartivo {
namespace {

using Bytes = std::vector<std::uint8_t>;

OutputHeaderFields Fields(std::int32_t width, std::int32_t height, std::int16_t bitCount) {
    OutputHeaderFields fields;
    fields.width = width;
    fields.height = height;
    fields.bitCount = bitCount;
    fields.xPelsPerMeter = 3780;
    fields.yPelsPerMeter = 2835;
    return fields;
}

TEST(OutputHeaderTest, PlainTwentyFourBitHeaderIsByteForByte) {
    OutputHeaderFields fields = Fields(100, 100, 24);
    fields.clrUsed = 7;
    fields.clrImportant = -2;  // copied as it stands, whatever it means
    const Bytes expected = {
        'B', 'M',                // bfType
        0x66, 0x75, 0x00, 0x00,  // bfSize 30054
        0x00, 0x00, 0x00, 0x00,  // reserved
        0x36, 0x00, 0x00, 0x00,  // bfOffBits 54
        0x28, 0x00, 0x00, 0x00,  // biSize 40
        0x64, 0x00, 0x00, 0x00,  // biWidth 100
        0x64, 0x00, 0x00, 0x00,  // biHeight 100
        0x01, 0x00,              // biPlanes
        0x18, 0x00,              // biBitCount 24
        0x00, 0x00, 0x00, 0x00,  // biCompression
        0x30, 0x75, 0x00, 0x00,  // biSizeImage 30000
        0xC4, 0x0E, 0x00, 0x00,  // biXPelsPerMeter 3780
        0x13, 0x0B, 0x00, 0x00,  // biYPelsPerMeter 2835
        0x07, 0x00, 0x00, 0x00,  // biClrUsed
        0xFE, 0xFF, 0xFF, 0xFF,  // biClrImportant
    };
    EXPECT_EQ(BuildOutputHeader(fields, 0), expected);
}

TEST(OutputHeaderTest, CarriedColourTableMovesPixelOffsetAndCompressionKeepsTheRawSize) {
    OutputHeaderFields fields = Fields(100, 100, 8);
    fields.compression = 1;
    const auto header = BuildOutputHeader(fields, 1024);
    ASSERT_TRUE(header);
    ASSERT_EQ(header->size(), 54u);  // the table itself is the caller's to copy
    EXPECT_EQ(BytesToLong(*header, 2), 11078);
    EXPECT_EQ(BytesToLong(*header, 10), 1078);
    EXPECT_EQ(BytesToLong(*header, 30), 1);
    EXPECT_EQ(BytesToLong(*header, 34), 10000);
}

TEST(OutputHeaderTest, CoreFormHasTwelveByteHeader) {
    OutputHeaderFields fields = Fields(3, 2, 8);
    fields.form = HeaderForm::Os2;
    fields.compression = 1;  // the core form has no place for these
    fields.clrUsed = 5;
    const Bytes expected = {
        'B', 'M',
        0x22, 0x03, 0x00, 0x00,  // bfSize 802: 26 + 768 + 2 rows of 4
        0x00, 0x00, 0x00, 0x00,
        0x1A, 0x03, 0x00, 0x00,  // bfOffBits 794
        0x0C, 0x00, 0x00, 0x00,  // bcSize 12
        0x03, 0x00,              // bcWidth
        0x02, 0x00,              // bcHeight
        0x01, 0x00,              // bcPlanes
        0x08, 0x00,              // bcBitCount
    };
    EXPECT_EQ(BuildOutputHeader(fields, 768), expected);
    EXPECT_EQ(OutputHeaderLength(HeaderForm::Os2), 26u);
    EXPECT_EQ(OutputHeaderLength(HeaderForm::Windows), 54u);
}

TEST(OutputHeaderTest, ImageSizeUsesPaddedRows) {
    struct Case {
        std::int32_t width;
        std::int16_t bitCount;
        std::int32_t rowSize;
    };
    const Case cases[] = {{1, 1, 4}, {3, 24, 12}, {5, 4, 4}, {10, 16, 20}, {640, 1, 80}, {33, 1, 8}, {1, 32, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.bitCount);
        const auto header = BuildOutputHeader(Fields(c.width, 3, c.bitCount), 0);
        ASSERT_TRUE(header);
        EXPECT_EQ(BytesToLong(*header, 34), 3 * c.rowSize);
        EXPECT_EQ(BytesToLong(*header, 2), 54 + 3 * c.rowSize);
    }
}

TEST(OutputHeaderTest, RefusesWhatItsFieldsCannotHold) {
    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    struct Case {
        const char* name;
        OutputHeaderFields fields;
        std::uint32_t carried;
        bool accepted;
    };
    auto core = [](std::int32_t width, std::int32_t height) {
        OutputHeaderFields fields = Fields(width, height, 1);
        fields.form = HeaderForm::Os2;
        return fields;
    };
    const Case cases[] = {
        {"negative width", Fields(-1, 1, 24), 0, false},
        {"negative height", Fields(1, -1, 24), 0, false},
        {"no bits", Fields(1, 1, 0), 0, false},
        {"row beyond 32 bits", Fields(Max, 1, 32), 0, false},
        {"image beyond 32 bits", Fields(10000, 100000, 24), 0, false},
        // 2147483596 pixel bytes fit, but not with the headers in front of them.
        {"file beyond 32 bits", Fields(1, 536870899, 32), 0, false},
        {"file size exactly the limit", Fields(1, 536870898, 32), 1, true},
        {"one carried byte too many", Fields(1, 536870898, 32), 2, false},
        {"empty picture", Fields(0, 0, 24), 0, true},
        {"core width beyond 16 bits", core(32768, 1), 0, false},
        {"core height beyond 16 bits", core(1, 32768), 0, false},
        {"core at its limits", core(32767, 32767), 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildOutputHeader(c.fields, c.carried).has_value(), c.accepted);
    }
}

TEST(OutputHeaderTest, PelsPerMeterFromDpiRoundsHalvesToEven) {
    struct Case {
        double dpi;
        std::optional<std::int32_t> pelsPerMeter;
    };
    const Case cases[] = {
        {72, 2835},     {96, 3780},  {100, 3937}, {300, 11811}, {254, 10000}, {0, 0},
        {1, 39},        {-96, -3780},
        {0.0127, 0},    // exactly 0.5
        {0.0635, 2},    // exactly 2.5
        {0.1397, 6},    // exactly 5.5
        {54546084, 2147483622},
        {54546085, std::nullopt},
        {-54546085, std::nullopt},
        {std::nan(""), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(PelsPerMeterFromDpi(c.dpi), c.pelsPerMeter);
    }
}

}  // namespace
}  // namespace kartivo
