#include "bitmap/BitmapHeader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kartivo {
namespace {

using test::Bytes;
using test::MakeBitmap;
using Texts = std::vector<std::string>;

// 3000 gives 76.2 and 2953 gives 75.0062; 59 gives 1.4986 and 60 gives 1.524. Compression codes
// without a name say which code they are.
TEST(BitmapHeader, DotsPerInchRoundsHalvesToEvenAndShowsZeroAs96) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {3780, 96}, {2835, 72}, {0, 96}, {19, 96}, {20, 1}, {-3780, -96}, {3000, 76}, {59, 1}, {60, 2}};
    for (const auto& [pelsPerMeter, dpi] : cases) EXPECT_EQ(DotsPerInch(pelsPerMeter), dpi) << pelsPerMeter;
    for (const auto& [code, text] : {std::pair{3, "Bitfields"}, {4, "Unknown (4)"}, {-1, "Unknown (-1)"}}) {
        EXPECT_EQ(CompressionText(code), text);
    }
}

// A generated picture with some of its first bytes replaced.
Bytes Patched(Bytes bytes, std::initializer_list<std::pair<std::size_t, std::uint8_t>> changes) {
    for (const auto& [offset, value] : changes) bytes.at(offset) = value;
    return bytes;
}

TEST(BitmapHeader, RecognisesTheTwoFormsAndRefusesEverythingElse) {
    const Bytes windows = MakeBitmap({});
    const std::tuple<const char*, Bytes, HeaderError> cases[] = {
        {"windows", windows, HeaderError::None},
        {"os2", MakeBitmap({.os2 = true}), HeaderError::None},
        {"lower-case bm", Patched(windows, {{0, 'b'}, {1, 'm'}}), HeaderError::NotBitmap},
        {"empty file", Bytes{}, HeaderError::NotBitmap},
        {"only BM", Bytes{'B', 'M'}, HeaderError::UnknownForm},
        {"header 108", Patched(windows, {{14, 108}}), HeaderError::UnknownForm},
        {"header -40", Patched(windows, {{14, 0xD8}, {15, 0xFF}, {16, 0xFF}, {17, 0xFF}}), HeaderError::UnknownForm},
    };
    for (const auto& [what, bytes, error] : cases) EXPECT_EQ(RecognizeBitmap(bytes).error, error) << what;
}

// File size, width, height, colour depth, compression and both resolutions as shown.
TEST(BitmapHeader, PropertyTextsShowWhatTheHeaderHolds) {
    const Bytes windows = MakeBitmap({.width = 800, .height = -600, .bitCount = 8, .compression = 1,
                                      .xPelsPerMeter = 0, .yPelsPerMeter = 11811});
    // A 1x1 core picture is 30 bytes, shorter than loading reads: the rest reads as zeros, and
    // no pixel byte may show as compression or resolution.
    const Bytes tiny = MakeBitmap({.width = 1, .height = 1, .bitCount = 8, .os2 = true});
    // bcWidth 40000 is held as a signed 16-bit field, bfSize 2^31 as a signed 32-bit one.
    const Bytes big = Patched(MakeBitmap({.width = 1, .height = 1, .os2 = true}),
                              {{18, 0x40}, {19, 0x9C}, {2, 0}, {3, 0}, {4, 0}, {5, 0x80}});
    const std::string none = NoDataText;
    const std::pair<Bytes, Texts> cases[] = {
        {windows, {std::to_string(windows.size()), "800", "-600", "8", "RLE8 (RunLength 8 bits/pixel)", "96", "300"}},
        {tiny, {"30", "1", "1", "8", none, none, none}},
        {big, {"-2147483648", "-25536", "1", "24", none, none, none}},
    };
    for (const auto& [bytes, texts] : cases) {
        const BitmapPropertyTexts t = PropertyTexts(RecognizeBitmap(bytes));
        EXPECT_EQ((Texts{t.fileSize, t.width, t.height, t.colorDepth, t.compression, t.resolutionWidth, t.resolutionHeight}),
                  texts);
    }
}

}  // namespace
}  // namespace kartivo
