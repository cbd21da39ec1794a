#include "bitmap/BitmapPixels.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace kartivo {
namespace {

using namespace test;
using Pixels = std::vector<std::uint32_t>;

// Reduced reads must pick exactly the pixels of the full decode that the step names, whatever
// the bit count, stored order, rectangle corner and step; only RLE pictures are refused.
TEST(BitmapPixels, ReducedReadsOfTheSuiteSampleTheFullDecode) {
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(KARTIVO_BMPSUITE_DIR) / "g")) {
        MemoryFile file(ReadAll(entry.path().string()));
        const PixelLayoutResult layout = ReadPixelLayout(file);
        const bool rle = entry.path().filename().string().find("rle") != std::string::npos;
        ASSERT_EQ(layout.error, rle ? PixelReadError::Unsupported : PixelReadError::None) << entry.path();
        if (rle) continue;
        const std::int32_t w = layout.layout.width, h = layout.layout.height;
        const Pixels full = ReadReducedPicture(file, layout.layout, {0, 0, w, h}, 1).picture.pixels;
        for (const PictureRect rect : {PictureRect{0, 0, w, h}, PictureRect{w / 3, h / 4, w / 2, h / 2 + 1}}) {
            for (const std::int32_t step : {2, 3, 7}) {
                Pixels expected;
                for (std::int32_t y = rect.top; y < rect.top + rect.height; y += step) {
                    for (std::int32_t x = rect.left; x < rect.left + rect.width; x += step) expected.push_back(full[y * w + x]);
                }
                const ReducedPicture reduced = ReadReducedPicture(file, layout.layout, rect, step).picture;
                EXPECT_EQ(reduced.width, ReducedLength(rect.width, step)) << entry.path();
                EXPECT_EQ(reduced.pixels, expected) << entry.path() << " step " << step << " left " << rect.left;
            }
        }
    }
}

// Each channel has its own value, so swapped channels, a wrong row order or a misplaced bit
// all show. Rows are given as stored, padding included; pixels top row first.
TEST(BitmapPixels, DecodesEachPixelFormExactly) {
    const Bytes rows24 = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const std::tuple<const char*, TestBitmap, Bytes, Pixels> cases[] = {
        {"24 bottom-up", {.width = 2, .height = 2}, rows24, {0xff090807, 0xff0c0b0a, 0xff030201, 0xff060504}},
        {"24 top-down", {.width = 2, .height = -2}, rows24, {0xff030201, 0xff060504, 0xff090807, 0xff0c0b0a}},
        {"1-bit palette", {.width = 3, .height = 2, .bitCount = 1, .colorTable = {0, 0, 0xff, 0, 0x10, 0x20, 0x30, 0}},
         {0xa0, 0, 0, 0, 0x40, 0, 0, 0}, {0xffff0000, 0xff302010, 0xffff0000, 0xff302010, 0xffff0000, 0xff302010}},
        {"16 five-five-five", {.width = 2, .height = 1, .bitCount = 16}, {0x3f, 0x40, 0x01, 0x80}, {0xff8008f8, 0xff000008}},
        {"16 bit fields 5-6-5", {.width = 1, .height = 1, .bitCount = 16, .compression = 3, .colorTable = {0x00, 0xf8, 0, 0, 0xe0, 0x07, 0, 0, 0x1f, 0, 0, 0}},
         {0x10, 0x0c, 0, 0}, {0xff088080}},
    };
    for (const auto& [what, bitmap, rows, expected] : cases) {
        Bytes bytes = MakeBitmap(bitmap);
        std::copy(rows.begin(), rows.end(), bytes.end() - static_cast<std::ptrdiff_t>(rows.size()));
        // The same bytes read as a 52-byte header, which holds the bit-field masks itself.
        for (const bool longHeader : {false, true}) {
            if (longHeader && bitmap.compression != 3) continue;
            if (longHeader) bytes[14] = 52;
            MemoryFile file(bytes);
            const PixelLayout l = ReadPixelLayout(file).layout;  // a refused layout reads no pixels
            EXPECT_EQ(ReadReducedPicture(file, l, {0, 0, l.width, l.height}, 1).picture.pixels, expected) << what;
        }
    }
}

// Hostile and odd pictures end in a result or an error, never a crash or a read outside the
// file (the sanitizer build watches); a cut picture is too short for its top rows only.
TEST(BitmapPixels, SurvivesHostilePicturesAndNamesACutOne) {
    for (const char* folder : {"b", "q"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(KARTIVO_BMPSUITE_DIR) / folder)) {
            MemoryFile file(ReadAll(entry.path().string()));
            const PixelLayout l = ReadPixelLayout(file).layout;
            for (const std::int32_t step : {1, 5}) ReadReducedPicture(file, l, {0, 0, l.width, l.height}, step);
        }
    }
    const Bytes whole = MakeBitmap({.width = 8, .height = 8});
    MemoryFile file(Bytes(whole.begin(), whole.end() - 1));
    const PixelLayout layout = ReadPixelLayout(file).layout;
    EXPECT_EQ(ReadReducedPicture(file, layout, {0, 0, 8, 8}, 1).error, PixelReadError::FileTooShort);
    EXPECT_EQ(ReadReducedPicture(file, layout, {0, 1, 8, 7}, 1).error, PixelReadError::None);
    // A 2^31 - 1 square is refused before anything the size of its claim is allocated.
    Bytes huge = MakeBitmap({.width = 1, .height = 1, .bitCount = 1});
    for (const std::size_t at : {18, 22}) huge[at] = huge[at + 1] = huge[at + 2] = 0xff, huge[at + 3] = 0x7f;
    MemoryFile hugeFile(huge);
    const PixelLayout hugeLayout = ReadPixelLayout(hugeFile).layout;
    EXPECT_EQ(ReadReducedPicture(hugeFile, hugeLayout, {0, 0, 0x7fffffff, 0x7fffffff}, 1).error, PixelReadError::BadRegion);
    EXPECT_EQ(ReadReducedPicture(hugeFile, hugeLayout, {0, 0, 4, 4}, 1).error, PixelReadError::FileTooShort);
}

// A layout made by hand is checked as strictly as one read from a file, and a rectangle must lie
// within the picture; a refused read reads nothing. A colour count past 256 reads no more
// colours than an 8-bit index reaches.
TEST(BitmapPixels, RefusesLayoutsNoPictureHasAndRectanglesOutsideIt) {
    MemoryFile file(MakeBitmap({.width = 4, .height = 4}));
    const PixelLayout good = ReadPixelLayout(file).layout;
    const auto with = [&](auto change) {
        PixelLayout layout = good;
        change(layout);
        return layout;
    };
    const std::tuple<const char*, PixelLayout, PictureRect, PixelReadError> cases[] = {
        {"no width", with([](PixelLayout& l) { l.width = 0; }), {0, 0, 1, 1}, PixelReadError::BadHeader},
        {"no height", with([](PixelLayout& l) { l.height = 0; }), {0, 0, 1, 1}, PixelReadError::BadHeader},
        {"3 bits", with([](PixelLayout& l) { l.bitCount = 3; }), {0, 0, 1, 1}, PixelReadError::BadHeader},
        {"rows shorter than 4 pixels", with([](PixelLayout& l) { l.rowSize = 8; }), {0, 0, 1, 1},
         PixelReadError::BadHeader},
        {"no rows", good, {0, 0, 4, 0}, PixelReadError::BadRegion},
        {"no columns", good, {0, 0, 0, 4}, PixelReadError::BadRegion},
        {"left of the picture", good, {-1, 0, 2, 2}, PixelReadError::BadRegion},
        {"above the picture", good, {0, -1, 2, 2}, PixelReadError::BadRegion},
        {"past the right edge", good, {1, 0, 4, 4}, PixelReadError::BadRegion},
        {"past the bottom", good, {0, 1, 4, 4}, PixelReadError::BadRegion},
        {"the whole picture", good, {0, 0, 4, 4}, PixelReadError::None},
    };
    for (const auto& [what, layout, rect, error] : cases) {
        const std::size_t before = file.BytesRead();
        EXPECT_EQ(ReadReducedPicture(file, layout, rect, 1).error, error) << what;
        EXPECT_EQ(file.BytesRead() == before, error != PixelReadError::None) << what;
    }
    MemoryFile manyColours(
        MakeBitmap({.width = 1, .height = 1, .bitCount = 8, .clrUsed = 300, .colorTable = Bytes(1200, 7)}));
    EXPECT_EQ(ReadPixelLayout(manyColours).layout.palette.size(), 256u);
    // Without a count, the bits say how many: 16 for 4 bits, however much room the table has.
    MemoryFile roomy(MakeBitmap({.width = 1, .height = 1, .bitCount = 4, .colorTable = Bytes(200, 7)}));
    EXPECT_EQ(ReadPixelLayout(roomy).layout.palette.size(), 16u);
    // A picture no pixel wide is no picture, however its other fields read.
    MemoryFile noWidth(MakeBitmap({.width = 0, .height = 4}));
    EXPECT_EQ(ReadPixelLayout(noWidth).error, PixelReadError::BadHeader);
}

// An overview reads one row in sixteen, and of each only the bytes up to its last column.
TEST(BitmapPixels, ReadsOnlyTheRowsAndBytesShown) {
    MemoryFile file(MakeBitmap({.width = 64, .height = 256}));
    const PixelLayout layout = ReadPixelLayout(file).layout;
    const std::size_t before = file.BytesRead();
    const ReducedPicture overview = ReadReducedPicture(file, layout, {0, 0, 64, 256}, 16).picture;
    EXPECT_EQ(file.BytesRead() - before, 16u * 49 * 3);  // columns 0 to 48 of rows 0, 16, ... 240
    for (std::int32_t j = 0; j < overview.height; ++j) EXPECT_EQ(overview.pixels[j * 4] & 0xff, RowMarker(255 - j * 16));
}

}  // namespace
}  // namespace kartivo
