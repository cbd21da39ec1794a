#include "bitmap/BitmapHeader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace kartivo {
namespace {

using test::Bytes;
using test::MakeBitmap;
using test::TestBitmap;

TEST(BitmapHeader, InfoHeaderRoundTripsFieldByField) {
    BITMAPINFOHEADER h;
    h.biSize = 40;
    h.biWidth = -7;
    h.biHeight = -600;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = 3;
    h.biSizeImage = 123456;
    h.biXPelsPerMeter = 2835;
    h.biYPelsPerMeter = -3780;
    h.biClrUsed = 256;
    h.biClrImportant = 16;
    std::array<std::uint8_t, InfoHeaderSize> bytes{};
    WriteInfoHeader(h, bytes);
    EXPECT_EQ(bytes[8], 0xA8) << "biHeight starts at offset 8 of the record, low byte first";
    EXPECT_EQ(bytes[14], 24) << "biBitCount at offset 14";
    const BITMAPINFOHEADER back = ReadInfoHeader(bytes);
    EXPECT_EQ(back.biWidth, -7);
    EXPECT_EQ(back.biHeight, -600);
    EXPECT_EQ(back.biBitCount, 24);
    EXPECT_EQ(back.biCompression, 3);
    EXPECT_EQ(back.biSizeImage, 123456);
    EXPECT_EQ(back.biYPelsPerMeter, -3780);
    EXPECT_EQ(back.biClrImportant, 16);
}

TEST(BitmapHeader, DotsPerInchRoundsHalvesToEvenAndShowsZeroAs96) {
    const struct {
        std::int32_t pelsPerMeter;
        std::int32_t dpi;
    } cases[] = {
        {3780, 96}, {2835, 72}, {11811, 300}, {0, 96}, {1, 96}, {19, 96}, {20, 1}, {-3780, -96},
        // 3000 gives 76.2 and 2953 gives 75.0062; 59 gives 1.4986 and 60 gives 1.524.
        {3000, 76}, {59, 1}, {60, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DotsPerInch(c.pelsPerMeter), c.dpi) << c.pelsPerMeter;
    }
}

TEST(BitmapHeader, RecognisesTheTwoFormsAndRefusesEverythingElse) {
    const struct {
        const char* what;
        Bytes bytes;
        HeaderError error;
    } cases[] = {
        {"windows", MakeBitmap({}), HeaderError::None},
        {"os2", MakeBitmap({.os2 = true}), HeaderError::None},
        {"lower-case bm", [] { Bytes b = MakeBitmap({}); b[0] = 'b'; b[1] = 'm'; return b; }(), HeaderError::NotBitmap},
        {"empty file", Bytes{}, HeaderError::NotBitmap},
        {"only BM", Bytes{'B', 'M'}, HeaderError::UnknownForm},
        {"header 64", [] { Bytes b = MakeBitmap({}); b[14] = 64; return b; }(), HeaderError::UnknownForm},
        {"header 108", [] { Bytes b = MakeBitmap({}); b[14] = 108; return b; }(), HeaderError::UnknownForm},
        {"header 124", [] { Bytes b = MakeBitmap({}); b[14] = 124; return b; }(), HeaderError::UnknownForm},
        {"header -40", [] { Bytes b = MakeBitmap({}); b[14] = 0xD8; b[15] = b[16] = b[17] = 0xFF; return b; }(),
         HeaderError::UnknownForm},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RecognizeBitmap(c.bytes).error, c.error) << c.what;
    }
}

TEST(BitmapHeader, PropertyTextsOfTheWindowsForm) {
    const Bytes bytes = MakeBitmap({.width = 800, .height = -600, .bitCount = 8, .compression = 1,
                                    .xPelsPerMeter = 0, .yPelsPerMeter = 11811});
    const BitmapHeaders headers = RecognizeBitmap(bytes);
    ASSERT_EQ(headers.error, HeaderError::None);
    const BitmapPropertyTexts texts = PropertyTexts(headers);
    EXPECT_EQ(texts.fileSize, std::to_string(bytes.size()));
    EXPECT_EQ(texts.width, "800");
    EXPECT_EQ(texts.height, "-600");
    EXPECT_EQ(texts.colorDepth, "8");
    EXPECT_EQ(texts.compression, "RLE8 (RunLength 8 bits/pixel)");
    EXPECT_EQ(texts.resolutionWidth, "96");
    EXPECT_EQ(texts.resolutionHeight, "300");
}

TEST(BitmapHeader, Os2FormShowsOnlyWhatTheCoreHeaderHolds) {
    Bytes bytes = MakeBitmap({.width = 5, .height = 3, .bitCount = 24, .os2 = true});
    // Bytes 26..53 are pixel bytes, which a 40-byte reading would take as compression and
    // resolution; none of them may show.
    const BitmapPropertyTexts texts = PropertyTexts(RecognizeBitmap(bytes));
    EXPECT_EQ(texts.width, "5");
    EXPECT_EQ(texts.height, "3");
    EXPECT_EQ(texts.colorDepth, "24");
    EXPECT_EQ(texts.compression, "No Data");
    EXPECT_EQ(texts.resolutionWidth, "No Data");
    EXPECT_EQ(texts.resolutionHeight, "No Data");
}

TEST(BitmapHeader, ShortFilesReadAsZerosAndLargeFieldsShowTheirSignedValues) {
    // A 1x1 OS/2 picture is 30 bytes: shorter than the 54 bytes loading reads.
    Bytes tiny = MakeBitmap({.width = 1, .height = 1, .bitCount = 8, .os2 = true});
    ASSERT_LT(tiny.size(), HeaderReadSize);
    EXPECT_EQ(PropertyTexts(RecognizeBitmap(tiny)).width, "1");

    Bytes big = MakeBitmap({.width = 1, .height = 1, .os2 = true});
    big[18] = 0x40;  // bcWidth 40000 is held as a signed 16-bit field
    big[19] = 0x9C;
    big[2] = big[3] = big[4] = 0;
    big[5] = 0x80;  // bfSize 2^31
    const BitmapPropertyTexts texts = PropertyTexts(RecognizeBitmap(big));
    EXPECT_EQ(texts.width, "-25536");
    EXPECT_EQ(texts.fileSize, "-2147483648");
}

TEST(BitmapHeader, CompressionCodesWithoutANameSayWhichCodeTheyAre) {
    EXPECT_EQ(CompressionText(0), "RGB (無圧縮)");
    EXPECT_EQ(CompressionText(3), "Bitfields");
    EXPECT_EQ(CompressionText(4), "Unknown (4)");
    EXPECT_EQ(CompressionText(-1), "Unknown (-1)");
}

// Every picture of the public test suite gives property texts or exactly one failure.
TEST(BitmapHeader, EveryBmpSuitePictureGivesTextsOrOneFailure) {
    const std::filesystem::path suite = KARTIVO_BMPSUITE_DIR;
    if (!std::filesystem::exists(suite)) GTEST_SKIP() << "no picture suite at " << suite;
    int seen = 0;
    std::set<HeaderError> outcomes;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(suite)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".bmp") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes first(HeaderReadSize);
        in.read(reinterpret_cast<char*>(first.data()), static_cast<std::streamsize>(first.size()));
        first.resize(static_cast<std::size_t>(in.gcount()));
        const BitmapHeaders headers = RecognizeBitmap(first);
        outcomes.insert(headers.error);
        if (headers.error == HeaderError::None) {
            const BitmapPropertyTexts texts = PropertyTexts(headers);
            EXPECT_FALSE(texts.width.empty()) << entry.path();
            EXPECT_FALSE(texts.compression.empty()) << entry.path();
        }
        ++seen;
    }
    EXPECT_GT(seen, 50);
    EXPECT_TRUE(outcomes.contains(HeaderError::None));
    EXPECT_TRUE(outcomes.contains(HeaderError::UnknownForm)) << "the suite holds v4/v5 headers";
}

}  // namespace
}  // namespace kartivo
