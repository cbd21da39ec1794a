#include "bitmap/Resample.h"

#include "bitmap/OutputHeader.h"
#include "common/DataConvert.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace kartivo {
namespace {

using test::Bytes;
using test::MemoryFile;
using test::TestBitmap;

constexpr std::int32_t B = BlankRow;
// Not a row of the input at all: the bytes are neither a copied row nor a blank one.
constexpr std::int32_t Garbage = -2;

struct RowCase {
    const char* name;
    double inBottom, inTop;
    std::int32_t inputRows;
    double outBottom, outTop;
    std::int32_t outputRows;
    std::vector<std::int32_t> rows;  // the input row each output row copies, bottom row first
};

const std::vector<RowCase>& RowCases() {
    static const std::vector<RowCase> cases = {
        {"same range and height", 35, 36, 11, 35, 36, 11, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        // Row 4 is passed over and row 3 copied twice.
        {"sixty degrees", 0, 60, 7, 0, 60, 7, {0, 1, 2, 3, 3, 5, 6}},
        {"output beyond the input", 0, 60, 7, -10, 70, 9, {B, 0, 1, 2, 3, 3, 5, 6, B}},
        {"denser output", 35, 36, 5, 35, 36, 9, {0, 0, 1, 1, 2, 2, 3, 3, 4}},
        {"sparser output", 35, 36, 9, 35, 36, 5, {0, 2, 4, 6, 8}},
        {"narrower output", 35, 36, 4, 35.2, 35.8, 4, {1, 1, 2, 2}},
        {"single output row lies at the bottom latitude", 35, 36, 4, 35.2, 35.8, 1, {1}},
        {"output wholly below the input", 35, 36, 4, 20, 30, 3, {B, B, B}},
        // The choice never goes back down the input, so the top row reached first is kept.
        {"output running downwards", 0, 60, 7, 60, 0, 7, {6, 6, 6, 6, 6, 6, 6}},
        {"input running downwards", 60, 0, 7, 0, 60, 7, {6, 6, 6, 6, 6, 6, 6}},
        {"no output rows", 35, 36, 4, 35, 36, 0, {}},
    };
    return cases;
}

TEST(ResampleTest, LatitudeAccumulatesByRepeatedAddition) {
    // 0.1 added 500 times gives 50.00000000000044, not 50. The input's top latitude is tuned so
    // that a half-row boundary falls between the two: the accumulated latitude chooses input row
    // 767438, while 0 + 500 * 0.1 would choose 767437.
    const RowMapping mapping{0, 60.0000116714376, 0, 50, 1000001, 501};
    for (const WalkOrder order : {WalkOrder::BottomFirst, WalkOrder::TopFirst}) {
        std::int32_t top = Garbage;
        WalkOutputRows(mapping, order, [&](std::int32_t out, std::int32_t in) {
            if (out == 500) top = in;
            return true;
        });
        EXPECT_EQ(top, 767438);
    }
}

TEST(ResampleTest, MercatorOrdinateUsesTheProgramsPi) {
    // ln(1 / cos r + tan r) with r from the 15-digit pi. The full-precision pi moves every one
    // of these by more than the four units in the last place that EXPECT_DOUBLE_EQ allows.
    const std::pair<double, double> cases[] = {
        {0, 0}, {10, 0.17542582965181813}, {45, 0.8813735870195418}, {80, 2.436246053715869},
        {89.9, 7.043958984746043}, {-45, -0.8813735870195419},
    };
    for (const auto& [latitude, ordinate] : cases) {
        SCOPED_TRACE(latitude);
        EXPECT_DOUBLE_EQ(LatitudeToMercatorY(latitude), ordinate);
    }
}

TEST(ResampleTest, WithoutTwoInputRowsEveryRowIsBlank) {
    // One input row gives no ordinate step to divide by.
    for (const WalkOrder order : {WalkOrder::BottomFirst, WalkOrder::TopFirst}) {
        std::vector<std::int32_t> rows(3, Garbage);
        WalkOutputRows({35, 36, 35, 36, 1, 3}, order, [&](std::int32_t out, std::int32_t in) {
            rows.at(static_cast<std::size_t>(out)) = in;
            return true;
        });
        EXPECT_EQ(rows, (std::vector<std::int32_t>{B, B, B}));
    }
}

// The input row an output row copies, told by the marker every generated row carries.
std::int32_t GeographicRowOf(std::span<const std::uint8_t> row, std::int32_t inputRows, bool topDown) {
    if (std::all_of(row.begin(), row.end(), [](std::uint8_t b) { return b == 0; })) return B;
    if (!std::all_of(row.begin(), row.end(), [&](std::uint8_t b) { return b == row[0]; })) return Garbage;
    for (std::int32_t stored = 0; stored < inputRows; ++stored) {
        if (test::RowMarker(stored) == row[0]) return topDown ? inputRows - 1 - stored : stored;
    }
    return Garbage;
}

MakeRequest RequestFor(const TestBitmap& input, double inBottom, double inTop, double outBottom, double outTop,
                       std::int32_t outputRows) {
    MakeRequest request;
    request.inBottomLatitude = inBottom;
    request.inTopLatitude = inTop;
    request.outBottomLatitude = outBottom;
    request.outTopLatitude = outTop;
    request.form = input.os2 ? HeaderForm::Os2 : HeaderForm::Windows;
    request.width = input.width;
    request.bitCount = input.bitCount;
    request.compression = input.compression;
    request.inputRows = std::abs(input.height);
    request.inputTopDown = input.height < 0;
    request.inputPixelOffset = static_cast<std::int32_t>((input.os2 ? 26 : 54) + input.colorTable.size());
    request.clrUsed = input.clrUsed;
    request.clrImportant = input.clrImportant;
    request.outputRows = outputRows;
    request.xPelsPerMeter = input.xPelsPerMeter;
    request.yPelsPerMeter = input.yPelsPerMeter;
    return request;
}

// The input row each output row copies, from the output's bytes; checks the header on the way.
std::vector<std::int32_t> CopiedRows(const Bytes& output, const MakeRequest& request) {
    const auto rowSize = static_cast<std::size_t>(test::RowSize(request.width, request.bitCount));
    const auto pixels = static_cast<std::size_t>(BytesToLong(output, 10));
    EXPECT_EQ(static_cast<std::size_t>(BytesToLong(output, 2)), output.size());
    EXPECT_EQ(output.size(), pixels + rowSize * static_cast<std::size_t>(request.outputRows));
    if (request.form == HeaderForm::Windows) {
        EXPECT_EQ(BytesToLong(output, 22), request.outputRows);
    }
    std::vector<std::int32_t> rows;
    for (std::size_t start = pixels; start + rowSize <= output.size(); start += rowSize) {
        rows.push_back(GeographicRowOf(std::span(output).subspan(start, rowSize), request.inputRows,
                                       request.inputTopDown));
    }
    return rows;
}

TEST(ResampleTest, EveryOutputRowCopiesItsChosenInputRow) {
    // Narrow rows fit many to a block; rows of 1.8 MB fit two, so blocks are refilled, rows
    // passed over with seeks and output blocks written one after another.
    for (const std::int32_t width : {3, 600000}) {
        for (const bool topDown : {false, true}) {
            for (const RowCase& c : RowCases()) {
                SCOPED_TRACE(testing::Message() << c.name << ", width " << width << (topDown ? ", top-down" : ""));
                TestBitmap picture;
                picture.width = width;
                picture.height = topDown ? -c.inputRows : c.inputRows;
                MemoryFile input(test::MakeBitmap(picture));
                MemoryFile output;
                const MakeRequest request =
                    RequestFor(picture, c.inBottom, c.inTop, c.outBottom, c.outTop, c.outputRows);
                ASSERT_EQ(Resample(request, input, output), MakeError::None);
                EXPECT_EQ(CopiedRows(output.Bytes(), request), c.rows);
            }
        }
    }
}

TEST(ResampleTest, ZeroOutputHeightWritesTheHeaderAlone) {
    TestBitmap picture;
    picture.height = 4;
    MemoryFile input(test::MakeBitmap(picture));
    MemoryFile output;
    const MakeRequest request = RequestFor(picture, 35, 36, 35, 36, 0);
    ASSERT_EQ(Resample(request, input, output), MakeError::None);
    OutputHeaderFields fields;
    fields.width = picture.width;
    fields.bitCount = picture.bitCount;
    fields.xPelsPerMeter = fields.yPelsPerMeter = 3780;
    ASSERT_EQ(output.Bytes().size(), 54u);
    EXPECT_EQ(output.Bytes(), BuildOutputHeader(fields, 0));
}

TEST(ResampleTest, SameRangeCopiesByteForByteAndCutsALongerExistingOutput) {
    TestBitmap picture;
    picture.width = 5;  // rows of 15 bytes padded to 16
    picture.height = 11;
    MemoryFile input(test::MakeBitmap(picture));
    MemoryFile output(Bytes(5000, 0xEE));
    ASSERT_EQ(Resample(RequestFor(picture, 35, 36, 35, 36, 11), input, output), MakeError::None);
    EXPECT_EQ(output.Bytes(), input.Bytes());
}

// Pictures whose colour table or masks must reach the output unchanged.
TEST(ResampleTest, BytesBetweenHeadersAndPixelsAreCarriedOver) {
    Bytes palette(1024);
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<std::uint8_t>(i * 13 + 5);
    struct Case {
        const char* name;
        TestBitmap picture;
    };
    TestBitmap paletted;
    paletted.width = 7;
    paletted.bitCount = 8;
    paletted.height = 7;
    paletted.clrUsed = 256;
    paletted.clrImportant = 3;
    paletted.colorTable = palette;
    TestBitmap os2 = paletted;
    os2.os2 = true;
    os2.colorTable.resize(768);  // three bytes per entry in the core form
    TestBitmap masks;
    masks.width = 3;
    masks.bitCount = 16;
    masks.height = 7;
    masks.compression = 3;
    masks.colorTable = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    TestBitmap topDown = paletted;
    topDown.height = -7;
    TestBitmap gap = paletted;  // pixels start well after the table: the gap comes along too
    gap.colorTable.resize(1500, 0xAB);

    for (const Case& c : {Case{"8-bit paletted", paletted}, Case{"OS/2", os2}, Case{"bit-field masks", masks},
                          Case{"top-down", topDown}, Case{"gap after the table", gap}}) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = test::MakeBitmap(c.picture);
        MemoryFile input(bytes);
        MemoryFile output;
        const MakeRequest request = RequestFor(c.picture, 0, 60, 0, 60, 7);
        ASSERT_EQ(Resample(request, input, output), MakeError::None);
        const Bytes& out = output.Bytes();
        const std::size_t headers = c.picture.os2 ? 26 : 54;
        ASSERT_GE(out.size(), request.inputPixelOffset);
        EXPECT_EQ(BytesToLong(out, 10), request.inputPixelOffset);
        EXPECT_TRUE(std::equal(out.begin() + static_cast<std::ptrdiff_t>(headers),
                               out.begin() + request.inputPixelOffset,
                               bytes.begin() + static_cast<std::ptrdiff_t>(headers)));
        EXPECT_EQ(BytesToLong(out, 14), static_cast<std::int32_t>(headers - 14));
        if (!c.picture.os2) {
            EXPECT_EQ(BytesToLong(out, 30), c.picture.compression);
            EXPECT_EQ(BytesToLong(out, 46), c.picture.clrUsed);
            EXPECT_EQ(BytesToLong(out, 50), c.picture.clrImportant);
        } else {
            EXPECT_EQ(BytesToInteger(out, 20), 7);
        }
        EXPECT_EQ(CopiedRows(out, request), (std::vector<std::int32_t>{0, 1, 2, 3, 3, 5, 6}));
    }
}

#ifdef KARTIVO_BMPSUITE_DIR
// Every uncompressed picture of the suite comes out with its own colour table and its rows in
// their chosen order.
TEST(ResampleTest, SuitePicturesAreCopiedFaithfully) {
    const std::filesystem::path folder = std::filesystem::path(KARTIVO_BMPSUITE_DIR) / "g";
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no picture suite at " << folder;
    int copied = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".bmp") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes bytes = test::ReadAll(entry.path().string());
        const BitmapHeaders headers = RecognizeBitmap(bytes);
        if (headers.error != HeaderError::None) continue;  // header forms the program does not read
        const bool os2 = headers.form == HeaderForm::Os2;
        if (!os2 && (headers.info.biCompression == 1 || headers.info.biCompression == 2)) continue;

        MakeRequest request;
        request.inBottomLatitude = 35;
        request.inTopLatitude = 36;
        request.outBottomLatitude = 35.1;
        request.outTopLatitude = 35.9;
        request.form = headers.form;
        request.width = os2 ? headers.core.bcWidth : headers.info.biWidth;
        request.bitCount = os2 ? headers.core.bcBitCount : headers.info.biBitCount;
        request.compression = os2 ? 0 : headers.info.biCompression;
        const std::int32_t height = os2 ? headers.core.bcHeight : headers.info.biHeight;
        request.inputRows = std::abs(height);
        request.inputTopDown = height < 0;
        request.inputPixelOffset = headers.file.bfOffBits();
        request.clrUsed = headers.info.biClrUsed;
        request.clrImportant = headers.info.biClrImportant;
        request.outputRows = request.inputRows + 5;
        MemoryFile input(bytes);
        MemoryFile output;
        ASSERT_EQ(Resample(request, input, output), MakeError::None);

        const Bytes& out = output.Bytes();
        const auto offset = static_cast<std::size_t>(request.inputPixelOffset);
        const std::size_t headerEnd = os2 ? 26 : 54;
        ASSERT_EQ(static_cast<std::size_t>(BytesToLong(out, 10)), offset);
        EXPECT_TRUE(std::equal(out.begin() + static_cast<std::ptrdiff_t>(headerEnd),
                               out.begin() + static_cast<std::ptrdiff_t>(offset),
                               bytes.begin() + static_cast<std::ptrdiff_t>(headerEnd)));
        const auto rowSize = test::RowSize(request.width, request.bitCount);
        const std::int32_t inLast = request.inputRows - 1;
        WalkOutputRows({35, 36, 35.1, 35.9, request.inputRows, request.outputRows}, WalkOrder::BottomFirst,
                       [&](std::int32_t o, std::int32_t in) {
                           const auto outRow = std::span(out).subspan(offset + rowSize * static_cast<std::size_t>(o),
                                                                      rowSize);
                           if (in == B) {
                               EXPECT_TRUE(std::all_of(outRow.begin(), outRow.end(), [](auto b) { return b == 0; }));
                               return true;
                           }
                           const std::int32_t stored = request.inputTopDown ? inLast - in : in;
                           const auto inRow = std::span(bytes).subspan(
                               offset + rowSize * static_cast<std::size_t>(stored), rowSize);
                           EXPECT_TRUE(std::equal(outRow.begin(), outRow.end(), inRow.begin())) << "output row " << o;
                           return true;
                       });
        ++copied;
    }
    EXPECT_GE(copied, 20);
}
#endif

MakeRequest ValidRequest() {
    TestBitmap picture;
    picture.height = 4;
    return RequestFor(picture, 35, 36, 35, 36, 4);
}

TEST(ResampleTest, RefusesBeforeTouchingEitherFile) {
    const std::uint64_t size = test::MakeBitmap(TestBitmap{}).size();  // 54 + 4 rows of 12
    struct Case {
        const char* name;
        void (*change)(MakeRequest&);
        std::uint64_t inputSize;
        MakeError error;
    };
    const Case cases[] = {
        {"valid", [](MakeRequest&) {}, size, MakeError::None},
        {"one input row", [](MakeRequest& r) { r.inputRows = 1; }, size, MakeError::InputTooFewRows},
        {"no input rows", [](MakeRequest& r) { r.inputRows = 0; }, size, MakeError::InputTooFewRows},
        {"negative output height", [](MakeRequest& r) { r.outputRows = -1; }, size, MakeError::NegativeOutputHeight},
        {"input top at 90", [](MakeRequest& r) { r.inTopLatitude = 90; }, size, MakeError::LatitudeOutOfRange},
        {"input bottom beyond -90", [](MakeRequest& r) { r.inBottomLatitude = -90.5; }, size,
         MakeError::LatitudeOutOfRange},
        {"output bottom at -90", [](MakeRequest& r) { r.outBottomLatitude = -90; }, size,
         MakeError::LatitudeOutOfRange},
        {"output top not a number", [](MakeRequest& r) { r.outTopLatitude = std::numeric_limits<double>::quiet_NaN(); },
         size, MakeError::LatitudeOutOfRange},
        {"input top infinite", [](MakeRequest& r) { r.inTopLatitude = std::numeric_limits<double>::infinity(); }, size,
         MakeError::LatitudeOutOfRange},
        {"just inside the pole", [](MakeRequest& r) { r.outTopLatitude = 89.999999; }, size, MakeError::None},
        {"RLE8", [](MakeRequest& r) { r.compression = 1; }, size, MakeError::CompressedInput},
        {"RLE4", [](MakeRequest& r) { r.compression = 2; }, size, MakeError::CompressedInput},
        {"JPEG", [](MakeRequest& r) { r.compression = 4; }, size, MakeError::CompressedInput},
        {"bit fields are raw rows", [](MakeRequest& r) { r.compression = 3; }, size, MakeError::None},
        {"no width", [](MakeRequest& r) { r.width = 0; }, size, MakeError::InvalidPictureSize},
        {"no bits", [](MakeRequest& r) { r.bitCount = 0; }, size, MakeError::InvalidPictureSize},
        {"output beyond 32 bits", [](MakeRequest& r) { r.outputRows = 200000000; }, size, MakeError::SizeOverflow},
        {"core output beyond 16 bits",
         [](MakeRequest& r) {
             r.form = HeaderForm::Os2;
             r.outputRows = 40000;
         },
         size, MakeError::SizeOverflow},
        {"pixels inside the headers", [](MakeRequest& r) { r.inputPixelOffset = 53; }, size,
         MakeError::PixelOffsetInsideHeaders},
        {"negative pixel offset", [](MakeRequest& r) { r.inputPixelOffset = -1; }, size,
         MakeError::PixelOffsetInsideHeaders},
        {"input one byte short", [](MakeRequest&) {}, size - 1, MakeError::InputFileTooShort},
        {"pixels start later than the file allows", [](MakeRequest& r) { r.inputPixelOffset = 55; }, size,
         MakeError::InputFileTooShort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeRequest request = ValidRequest();
        c.change(request);
        EXPECT_EQ(ValidateMakeRequest(request, c.inputSize), c.error);
        if (c.error == MakeError::None) continue;

        Bytes inputBytes = test::MakeBitmap(TestBitmap{});
        inputBytes.resize(c.inputSize);
        MemoryFile input(inputBytes);
        MemoryFile output(Bytes(100, 0xEE));
        EXPECT_EQ(Resample(request, input, output), c.error);
        EXPECT_EQ(output.Bytes(), Bytes(100, 0xEE));
        EXPECT_EQ(output.BytesWritten(), 0u);
    }
}

TEST(ResampleTest, FailedWriteIsReportedAndLeavesNoPicture) {
    TestBitmap picture;
    picture.width = 600000;  // two rows to a block, so rows go out in several writes
    picture.height = 7;
    const Bytes bytes = test::MakeBitmap(picture);
    const std::size_t total = bytes.size();
    const std::size_t rowSize = 1800000;
    for (const bool topDown : {false, true}) {
        TestBitmap stored = picture;
        stored.height = topDown ? -7 : 7;
        const MakeRequest request = RequestFor(stored, 0, 60, 0, 60, 7);
        for (const std::size_t limit : {std::size_t{0}, std::size_t{10}, std::size_t{54}, 54 + 2 * rowSize,
                                        54 + 3 * rowSize + 1, total - 1}) {
            SCOPED_TRACE(testing::Message() << "fails after " << limit << (topDown ? ", top-down" : ""));
            MemoryFile input(test::MakeBitmap(stored));
            MemoryFile output;
            output.failWritesAfter = limit;
            EXPECT_EQ(Resample(request, input, output), MakeError::OutputWriteFailed);
            EXPECT_TRUE(output.Bytes().empty());
        }
        SCOPED_TRACE(topDown ? "top-down, room for exactly the picture" : "room for exactly the picture");
        MemoryFile input(test::MakeBitmap(stored));
        MemoryFile output;
        output.failWritesAfter = total;
        EXPECT_EQ(Resample(request, input, output), MakeError::None);
        EXPECT_EQ(output.Bytes().size(), total);
    }
}

TEST(ResampleTest, FailedSeeksAreReported) {
    TestBitmap picture;
    picture.height = 4;
    const MakeRequest request = RequestFor(picture, 35, 36, 35, 36, 4);
    {
        MemoryFile input(test::MakeBitmap(picture));
        input.failSeek = true;
        MemoryFile output;
        EXPECT_EQ(Resample(request, input, output), MakeError::InputReadFailed);
        EXPECT_TRUE(output.Bytes().empty());
    }
    {
        MemoryFile input(test::MakeBitmap(picture));
        MemoryFile output;
        output.failSeek = true;
        EXPECT_EQ(Resample(request, input, output), MakeError::OutputWriteFailed);
    }
}

}  // namespace
}  // namespace kartivo
