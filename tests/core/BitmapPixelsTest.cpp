#include "bitmap/BitmapPixels.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kartivo {
namespace {

using namespace test;
using Pixels = std::vector<std::uint32_t>;
namespace fs = std::filesystem;

ReducedPictureResult ReadWhole(MemoryFile& file, const PixelLayout& layout, std::int32_t step = 1) {
    return ReadReducedPicture(file, layout, {0, 0, layout.width, layout.height}, step);
}

// Reduced reads must pick exactly the pixels of the full decode that the step names, whatever
// the bit count, stored order, rectangle corner and step; only RLE pictures are refused.
TEST(BitmapPixels, ReducedReadsOfTheSuiteSampleTheFullDecode) {
    int accepted = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(KARTIVO_BMPSUITE_DIR) / "g")) {
        MemoryFile file(ReadAll(entry.path().string()));
        const PixelLayoutResult layout = ReadPixelLayout(file);
        const bool rle = entry.path().filename().string().find("rle") != std::string::npos;
        ASSERT_EQ(layout.error, rle ? PixelReadError::Unsupported : PixelReadError::None) << entry.path();
        if (rle) continue;
        ++accepted;
        const std::int32_t w = layout.layout.width, h = layout.layout.height;
        const Pixels full = ReadWhole(file, layout.layout).picture.pixels;
        for (const PictureRect rect : {PictureRect{0, 0, w, h}, PictureRect{w / 3, h / 4, w / 2, h / 2 + 1}}) {
            for (const std::int32_t step : {2, 3, 7}) {
                Pixels expected;
                for (std::int32_t y = rect.top; y < rect.top + rect.height; y += step) {
                    for (std::int32_t x = rect.left; x < rect.left + rect.width; x += step) expected.push_back(full[y * w + x]);
                }
                const ReducedPicture part = ReadReducedPicture(file, layout.layout, rect, step).picture;
                EXPECT_EQ(part.width, ReducedLength(rect.width, step)) << entry.path();
                EXPECT_EQ(part.pixels, expected) << entry.path() << " step " << step << " left " << rect.left;
            }
        }
    }
    EXPECT_EQ(accepted, 25);
}

// Each channel has its own value, so swapped channels, a wrong row order or a misplaced bit
// all show. Rows are given as stored, padding included; pixels top row first.
TEST(BitmapPixels, DecodesEachPixelFormExactly) {
    const Bytes masks565 = {0x00, 0xf8, 0, 0, 0xe0, 0x07, 0, 0, 0x1f, 0, 0, 0};
    const Bytes palette = {0, 0, 0xff, 0, 0x10, 0x20, 0x30, 0};
    const Bytes rows24 = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const std::tuple<const char*, TestBitmap, Bytes, Pixels> cases[] = {
        {"24 bottom-up", {.width = 2, .height = 2}, rows24, {0xff090807, 0xff0c0b0a, 0xff030201, 0xff060504}},
        {"24 top-down", {.width = 2, .height = -2}, rows24, {0xff030201, 0xff060504, 0xff090807, 0xff0c0b0a}},
        {"1-bit palette", {.width = 3, .height = 2, .bitCount = 1, .colorTable = palette}, {0xa0, 0, 0, 0, 0x40, 0, 0, 0},
         {0xffff0000, 0xff302010, 0xffff0000, 0xff302010, 0xffff0000, 0xff302010}},
        {"16 five-five-five", {.width = 2, .height = 1, .bitCount = 16}, {0x3f, 0x40, 0x01, 0x80}, {0xff8408ff, 0xff000008}},
        {"16 bit fields 5-6-5", {.width = 1, .height = 1, .bitCount = 16, .compression = 3, .colorTable = masks565},
         {0x10, 0x0c, 0, 0}, {0xff088284}},
    };
    for (const auto& [what, spec, rows, expected] : cases) {
        Bytes bytes = MakeBitmap(spec);
        std::copy(rows.begin(), rows.end(), bytes.end() - static_cast<std::ptrdiff_t>(rows.size()));
        MemoryFile file(bytes);
        const PixelLayoutResult layout = ReadPixelLayout(file);
        ASSERT_EQ(layout.error, PixelReadError::None) << what;
        EXPECT_EQ(ReadWhole(file, layout.layout).picture.pixels, expected) << what;
    }
}

// Hostile and odd pictures end in a result or an error, never a crash or a read outside the
// file (the sanitizer build watches); a cut picture is too short for its top rows only.
TEST(BitmapPixels, SurvivesHostilePicturesAndNamesACutOne) {
    for (const char* folder : {"b", "q"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(KARTIVO_BMPSUITE_DIR) / folder)) {
            MemoryFile file(ReadAll(entry.path().string()));
            const PixelLayoutResult layout = ReadPixelLayout(file);
            if (layout.error == PixelReadError::None) ReadWhole(file, layout.layout), ReadWhole(file, layout.layout, 5);
        }
    }
    Bytes cut = MakeBitmap({.width = 8, .height = 8});
    cut.pop_back();
    MemoryFile file(cut);
    const PixelLayout layout = ReadPixelLayout(file).layout;
    EXPECT_EQ(ReadWhole(file, layout).error, PixelReadError::FileTooShort);
    EXPECT_EQ(ReadReducedPicture(file, layout, {0, 1, 8, 7}, 1).error, PixelReadError::None);
    // A 2^31 - 1 square is refused before anything the size of its claim is allocated.
    Bytes huge = MakeBitmap({.width = 1, .height = 1, .bitCount = 1});
    for (const std::size_t at : {18, 22}) huge[at] = huge[at + 1] = huge[at + 2] = 0xff, huge[at + 3] = 0x7f;
    MemoryFile hugeFile(huge);
    const PixelLayout hugeLayout = ReadPixelLayout(hugeFile).layout;
    EXPECT_EQ(ReadWhole(hugeFile, hugeLayout).error, PixelReadError::BadRegion);
    EXPECT_EQ(ReadReducedPicture(hugeFile, hugeLayout, {0, 0, 4, 4}, 1).error, PixelReadError::FileTooShort);
}

// An overview reads one row in sixteen, and a narrow rect only its own bytes of each row.
TEST(BitmapPixels, ReadsOnlyTheRowsAndBytesShown) {
    MemoryFile file(MakeBitmap({.width = 64, .height = 256}));
    const PixelLayout layout = ReadPixelLayout(file).layout;
    std::size_t before = file.BytesRead();
    const ReducedPicture overview = ReadWhole(file, layout, 16).picture;
    EXPECT_EQ(file.BytesRead() - before, 16u * 49 * 3);  // columns 0 to 48 of rows 0, 16, ... 240
    for (std::int32_t j = 0; j < overview.height; ++j) EXPECT_EQ(overview.pixels[j * 4] & 0xff, RowMarker(255 - j * 16));
    before = file.BytesRead();
    ReadReducedPicture(file, layout, {10, 0, 2, 256}, 1);
    EXPECT_EQ(file.BytesRead() - before, 256u * 6);
}

}  // namespace
}  // namespace kartivo
