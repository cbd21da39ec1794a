#include "bitmap/BitmapPixels.h"
#include "common/DataConvert.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kartivo {
namespace {

using test::Bytes;
using test::MakeBitmap;
using test::MemoryFile;
using Pixels = std::vector<std::uint32_t>;
namespace fs = std::filesystem;

std::vector<fs::path> Suite(const char* folder) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(fs::path(KARTIVO_BMPSUITE_DIR) / folder)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

ReducedPictureResult ReadWhole(MemoryFile& file, const PixelLayout& layout, std::int32_t step = 1) {
    return ReadReducedPicture(file, layout, {0, 0, layout.width, layout.height}, step);
}

// Reduced reads must pick exactly the pixels of the full decode that the step names, whatever
// the bit count, stored order, rectangle corner and step; only RLE pictures are refused.
TEST(BitmapPixels, ReducedReadsOfTheSuiteSampleTheFullDecode) {
    int accepted = 0;
    for (const fs::path& path : Suite("g")) {
        MemoryFile file(test::ReadAll(path.string()));
        const PixelLayoutResult layout = ReadPixelLayout(file);
        const bool rle = path.filename().string().find("rle") != std::string::npos;
        ASSERT_EQ(layout.error, rle ? PixelReadError::Unsupported : PixelReadError::None) << path;
        if (rle) continue;
        ++accepted;
        const ReducedPicture full = ReadWhole(file, layout.layout).picture;
        const std::int32_t w = layout.layout.width, h = layout.layout.height;
        for (const PictureRect rect : {PictureRect{0, 0, w, h}, PictureRect{w / 3, h / 4, w / 2, h / 2 + 1}}) {
            for (const std::int32_t step : {2, 3, 7}) {
                const ReducedPictureResult part = ReadReducedPicture(file, layout.layout, rect, step);
                ASSERT_EQ(part.error, PixelReadError::None);
                ASSERT_EQ(part.picture.width, ReducedLength(rect.width, step));
                ASSERT_EQ(part.picture.height, ReducedLength(rect.height, step));
                for (std::int32_t j = 0; j < part.picture.height; ++j) {
                    for (std::int32_t i = 0; i < part.picture.width; ++i) {
                        const auto x = rect.left + i * step, y = rect.top + j * step;
                        ASSERT_EQ(part.picture.pixels[j * part.picture.width + i], full.pixels[y * w + x])
                            << path << " step " << step << " at " << i << "," << j;
                    }
                }
            }
        }
    }
    EXPECT_EQ(accepted, 25);
}

// A generated picture whose stored rows (file order) hold the given bytes.
Bytes WithRows(const test::TestBitmap& spec, const std::vector<Bytes>& storedRows) {
    Bytes bytes = MakeBitmap(spec);
    const std::size_t rowSize = test::RowSize(spec.width, spec.bitCount);
    auto at = bytes.end() - static_cast<std::ptrdiff_t>(rowSize * storedRows.size());
    for (const Bytes& row : storedRows) at = std::copy(row.begin(), row.end(), at) + static_cast<std::ptrdiff_t>(rowSize - row.size());
    return bytes;
}

// Each channel has its own value, so swapped channels, a wrong row order or a misplaced bit
// all show. Pixels are given top row first.
TEST(BitmapPixels, DecodesEachPixelFormExactly) {
    const Bytes masks565 = {0x00, 0xf8, 0, 0, 0xe0, 0x07, 0, 0, 0x1f, 0, 0, 0};
    const Bytes palette = {0, 0, 0xff, 0, 0x10, 0x20, 0x30, 0};
    const std::tuple<const char*, test::TestBitmap, std::vector<Bytes>, Pixels> cases[] = {
        {"24 bottom-up", {.width = 2, .height = 2}, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
         {0xff090807, 0xff0c0b0a, 0xff030201, 0xff060504}},
        {"24 top-down", {.width = 2, .height = -2}, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
         {0xff030201, 0xff060504, 0xff090807, 0xff0c0b0a}},
        {"1-bit palette", {.width = 3, .height = 2, .bitCount = 1, .colorTable = palette}, {{0xa0}, {0x40}},
         {0xffff0000, 0xff302010, 0xffff0000, 0xff302010, 0xffff0000, 0xff302010}},
        {"1-bit core palette", {.width = 2, .height = 1, .bitCount = 1, .os2 = true, .colorTable = {1, 2, 3, 4, 5, 6}},
         {{0x40}}, {0xff030201, 0xff060504}},
        {"16 five-five-five", {.width = 2, .height = 1, .bitCount = 16}, {{0x3f, 0x40, 0x01, 0x80}}, {0xff8408ff, 0xff000008}},
        {"16 bit fields 5-6-5", {.width = 1, .height = 1, .bitCount = 16, .compression = 3, .colorTable = masks565},
         {{0x10, 0x0c}}, {0xff088284}},
        {"32 top byte ignored", {.width = 1, .height = 1, .bitCount = 32}, {{0x11, 0x22, 0x33, 0x44}}, {0xff332211}},
    };
    for (const auto& [what, spec, rows, expected] : cases) {
        MemoryFile file(WithRows(spec, rows));
        const PixelLayoutResult layout = ReadPixelLayout(file);
        ASSERT_EQ(layout.error, PixelReadError::None) << what;
        EXPECT_EQ(ReadWhole(file, layout.layout).picture.pixels, expected) << what;
    }
}

// Hostile and odd pictures end in a result or an error, never a crash or a read outside the
// file (the sanitizer build watches); a cut picture is too short for its top rows only.
TEST(BitmapPixels, SurvivesHostilePicturesAndNamesACutOne) {
    for (const char* folder : {"b", "q"}) {
        for (const fs::path& path : Suite(folder)) {
            MemoryFile file(test::ReadAll(path.string()));
            const PixelLayoutResult layout = ReadPixelLayout(file);
            if (layout.error != PixelReadError::None) continue;
            for (const std::int32_t step : {1, 5}) {
                const ReducedPictureResult read = ReadWhole(file, layout.layout, step);
                const std::size_t pixels = std::size_t(read.picture.width) * std::size_t(read.picture.height);
                EXPECT_TRUE(read.error != PixelReadError::None || read.picture.pixels.size() == pixels) << path;
            }
        }
    }
    Bytes cut = MakeBitmap({.width = 8, .height = 8});
    cut.pop_back();
    MemoryFile file(cut);
    const PixelLayout layout = ReadPixelLayout(file).layout;
    EXPECT_EQ(ReadWhole(file, layout).error, PixelReadError::FileTooShort);
    EXPECT_EQ(ReadReducedPicture(file, layout, {0, 1, 8, 7}, 1).error, PixelReadError::None);
    // 2^31 - 1 square: refused before anything the size of the claim is allocated.
    Bytes huge = MakeBitmap({.width = 1, .height = 1, .bitCount = 1});
    LongToBytes(0x7fffffff, huge, 18), LongToBytes(0x7fffffff, huge, 22);
    MemoryFile hugeFile(huge);
    const PixelLayout hugeLayout = ReadPixelLayout(hugeFile).layout;
    EXPECT_EQ(ReadWhole(hugeFile, hugeLayout).error, PixelReadError::BadRegion);
    EXPECT_EQ(ReadReducedPicture(hugeFile, hugeLayout, {0, 0, 4, 4}, 1).error, PixelReadError::FileTooShort);
}

// An overview reads one row in sixteen, and a narrow rect only its own bytes of each row.
TEST(BitmapPixels, ReadsOnlyTheRowsAndBytesShown) {
    MemoryFile file(MakeBitmap({.width = 64, .height = 256}));
    const PixelLayout layout = ReadPixelLayout(file).layout;
    const std::size_t before = file.BytesRead();
    const ReducedPicture overview = ReadWhole(file, layout, 16).picture;
    EXPECT_EQ(file.BytesRead() - before, 16u * 49 * 3);  // columns 0 to 48 of rows 0, 16, ... 240
    for (std::int32_t j = 0; j < overview.height; ++j) {
        EXPECT_EQ(overview.pixels[j * overview.width] & 0xff, test::RowMarker(255 - j * 16)) << j;
    }
    const std::size_t beforeColumn = file.BytesRead();
    ReadReducedPicture(file, layout, {10, 0, 2, 256}, 1);
    EXPECT_EQ(file.BytesRead() - beforeColumn, 256u * 6);
}

}  // namespace
}  // namespace kartivo
