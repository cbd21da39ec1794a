// The output grid and colour table on numbers alone: where the picture lands, what is cut at the
// end of Web Mercator, how large the bitmap gets, which entry shows white, and what each pixel
// read with its alpha becomes in the bitmap.

#include "geoimport/OutputGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace kartivo::geoimport {
namespace {

// A north-up source 1,000 m per pixel whose top-left corner lies at (x0, y0), with points off
// the Earth wherever offEarth says.
PixelTransform Affine(double x0, double y0, double pixel, std::function<bool(double, double)> offEarth = {}) {
    return [=](int count, double* x, double* y, int* ok) {
        for (int i = 0; i < count; ++i) {
            ok[i] = !offEarth || !offEarth(x[i], y[i]);
            x[i] = x0 + x[i] * pixel;
            y[i] = y0 - y[i] * pixel;
        }
    };
}

TEST(OutputGrid, WarpedGridCoversTheOutlineAndCutsAtTheEndOfWebMercator) {
    const struct {
        const char* name;
        double top;        // the source's top edge in metres
        std::int32_t rows;  // expected
        bool cut;
    } cases[] = {
        {"inside", 1e6, 30, false},
        {"reaching past the top", MercatorLimitY + 10500, 20, true},  // 10.5 rows beyond: 10 cut, the rest shrunk
        {"wholly beyond", MercatorLimitY + 40000, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        const auto grid = WarpedGrid(40, 30, Affine(5e5, c.top, 1000), why);
        ASSERT_TRUE(grid);
        EXPECT_EQ(grid->height, c.rows);
        if (c.rows == 0) continue;
        EXPECT_EQ(grid->width, 40);
        EXPECT_EQ(grid->cut, c.cut);
        EXPECT_DOUBLE_EQ(grid->geoTransform[0], 5e5);
        EXPECT_DOUBLE_EQ(grid->geoTransform[3], std::min(c.top, MercatorLimitY));
        EXPECT_NEAR(grid->geoTransform[3] + c.rows * grid->geoTransform[5], c.top - 30000, 1e-6);
        EXPECT_NEAR(grid->geoTransform[1], 1000, 1e-9);
    }
    std::string why;
    // Rows that shrink towards the bottom, as latitudes do towards the equator: the last row's
    // step sets the pixel height, or rows of the source are lost.
    const PixelTransform shrinking = [](int count, double*, double* y, int* ok) {
        for (int i = 0; i < count; ++i, ++ok) {
            *ok = true;
            y[i] = -1000 * (11 * y[i] - y[i] * y[i] / 2);
        }
    };
    EXPECT_EQ(WarpedGrid(40, 10, shrinking, why)->height, 60);
    // A pole inside the picture: its edges stay far from the end of Web Mercator, its middle passes it.
    const PixelTransform domed = [](int count, double* x, double* y, int* ok) {
        for (int i = 0; i < count; ++i, ++ok) {
            *ok = true;
            y[i] = MercatorLimitY * (1.5 - std::hypot(x[i] - 50, y[i] - 50) / 50);
            x[i] *= 1000;
        }
    };
    const auto pole = WarpedGrid(100, 100, domed, why);
    ASSERT_TRUE(pole);
    EXPECT_TRUE(pole->cut);
    EXPECT_DOUBLE_EQ(pole->geoTransform[3], MercatorLimitY);
    EXPECT_FALSE(WarpedGrid(100, 100, Affine(0, 0, 1000, [](double, double) { return true; }), why));
    EXPECT_NE(why.find("does not transform"), std::string::npos) << why;
}

// About 16 MiB a strip, never more rows than the picture has, and never none: a row larger than a
// strip is a strip of its own.
TEST(OutputGrid, StripsHoldAbout16MiBOfWholeRows) {
    const struct { std::int32_t width, bitCount, height, rows; } cases[] = {
        {1000, 24, 100000, 5592},  // rows of 3000 bytes
        {4096, 8, 100000, 4096},
        {1000, 24, 10, 10},
        {6000000, 24, 10, 1},  // a row of 18 MB
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StripRows(c.width, c.bitCount, c.height), c.rows) << c.width << " x " << c.height;
    }
}

TEST(OutputGrid, CopiedGridKeepsTheRowsWhoseCentresLieInsideTheSquare) {
    std::int32_t first = -1;
    const std::array<double, 6> g{0, 1000, 0, MercatorLimitY + 2400, 0, -1000};
    const OutputGrid grid = CopiedGrid(g, 40, 30, first);
    EXPECT_EQ(first, 2);  // the centres of rows 0 and 1 lie beyond, row 2's at 100 m inside
    EXPECT_EQ(grid.height, 28);
    EXPECT_TRUE(grid.cut);
    EXPECT_DOUBLE_EQ(grid.geoTransform[3], MercatorLimitY + 400);
}

// A box is widened outward to whole pixels, but an edge typed along a pixel edge gains none; it is
// cut to the grid, and across 180 keeps both ends of a grid round the world, west first.
TEST(OutputGrid, CropToBoxKeepsTheWholePixelsTheBoxTouches) {
    const auto lon = [](double x) { return x / MercatorLimitY * 180; };
    const auto lat = [](double y) { return std::atan(std::sinh(y / MercatorLimitY * M_PI)) * 180 / M_PI; };
    const OutputGrid grid{.geoTransform = {0, 1000, 0, 0, 0, -1000}, .width = 40, .height = 30};
    const OutputGrid world{.geoTransform = {-MercatorLimitY, MercatorLimitY / 180, 0, 1e6, 0, -1e4}, .width = 360, .height = 30};
    const struct { OutputGrid grid; MapCorners box; std::vector<std::array<std::int32_t, 4>> windows; } cases[] = {
        {grid, {lat(-20000), lon(5000), lat(-10000), lon(15000)}, {{5, 10, 10, 10}}},
        {grid, {lat(-19800), lon(5200), lat(-10200), lon(14800)}, {{5, 10, 10, 10}}},
        {grid, {lat(-80000), lon(-5000), lat(10), lon(39001)}, {{0, 0, 40, 30}}},
        {world, {lat(8e5), 170, lat(9e5), -170}, {{350, 10, 10, 10}, {0, 10, 10, 10}}},
    };
    for (const auto& c : cases) {
        ImportStatus status;
        std::vector<std::array<std::int32_t, 4>> windows;
        for (const GridWindow& w : CropToBox({c.grid}, c.box, status)) {
            windows.push_back({w.column, w.row, w.grid.width, w.grid.height});
            EXPECT_DOUBLE_EQ(w.grid.geoTransform[0], c.grid.geoTransform[0] + w.column * c.grid.geoTransform[1]);
        }
        EXPECT_EQ(windows, c.windows) << c.box.left;
    }
    ImportStatus status;
    // Cut at the end of Web Mercator only where the window keeps the grid's edge that was cut there.
    const OutputGrid top{.geoTransform = {0, 1000, 0, MercatorLimitY, 0, -1000}, .width = 40, .height = 30, .cut = true};
    EXPECT_TRUE(CropToBox({top}, {lat(MercatorLimitY - 5000), 0, 89, 1}, status)[0].grid.cut);
    EXPECT_FALSE(CropToBox({top}, {lat(MercatorLimitY - 8e4), 0, lat(MercatorLimitY - 5000), 1}, status)[0].grid.cut);
    EXPECT_TRUE(CropToBox({grid}, {10, 10, 11, 11}, status).empty());
    EXPECT_EQ(status.message, "the box (10.000000,10.000000,11.000000,11.000000) does not meet the picture, which spans "
                              "(-0.269494,0.000000,0.000000,0.359326) (bottom, left, top, right in degrees)");
}

TEST(OutputGrid, SizeCountsTheWhiteAWarpedPaletteGainsAndStopsAtTheBitmapsLimit) {
    BandLayout palette{.kind = ColourKind::Palette, .colourBands = {1}, .palette = {{0, 0, 0, 255}, {9, 9, 9, 255}}};
    const OutputGrid grid{.width = 3, .height = 2};
    EXPECT_EQ(BitmapFileSize(grid, palette, false), 54u + 2 * 4 + 2 * 4);
    EXPECT_EQ(BitmapFileSize(grid, palette, true), 54u + 3 * 4 + 2 * 4);
    std::uint8_t fill = 0;
    BandLayout copied = palette;  // copied and not masked: no pixel needs white
    EXPECT_EQ(ColourTable(copied, false, fill), (std::vector<std::uint8_t>{0, 0, 0, 0, 9, 9, 9, 0}));
    EXPECT_EQ(ColourTable(palette, true, fill), (std::vector<std::uint8_t>{0, 0, 0, 0, 9, 9, 9, 0, 255, 255, 255, 0}));
    EXPECT_EQ(fill, 2);

    // A transparent entry is white already; a full table without white has none to give.
    BandLayout clear{.kind = ColourKind::Palette, .palette = {{0, 0, 0, 255}, {7, 7, 7, 0}}};
    EXPECT_EQ(WhiteEntry(clear), 1u);
    BandLayout full{.kind = ColourKind::Palette, .palette = std::vector<std::array<std::uint8_t, 4>>(256, {0, 0, 0, 255})};
    EXPECT_FALSE(WhiteEntry(full));
    full.palette[200] = {255, 255, 255, 255};
    EXPECT_EQ(WhiteEntry(full), 200u);

    // 24-bit rows of 4 * 178956970 bytes: the largest file a bitmap's size fields hold, and one row more.
    const BandLayout rgb{.kind = ColourKind::Rgb};
    const std::int32_t width = 4 * 178956970 / 3 + 1;
    const std::uint64_t rowBytes = ((std::uint64_t(width) * 24 + 31) / 32) * 4;
    const auto rowsFitting = static_cast<std::int32_t>((0x7FFFFFFFu - 54) / rowBytes);
    EXPECT_EQ(CheckSize({.width = width, .height = rowsFitting}, rgb, true).error, ImportError::None);
    EXPECT_EQ(CheckSize({.width = width, .height = rowsFitting + 1}, rgb, true).error, ImportError::TooLarge);
}

TEST(BandLayout, CompositeRowLaysClearPixelsOverWhiteOrTheFillEntry) {
    const BandLayout rgb{.kind = ColourKind::Rgb, .colourBands = {3, 2, 1}};
    const BandLayout grey{.kind = ColourKind::Grey, .colourBands = {1}};
    const BandLayout palette{.kind = ColourKind::Palette, .colourBands = {1}};
    const BandLayout paletteAsRgb{.kind = ColourKind::Palette, .colourBands = {1}, .paletteToRgb = true};
    const BandLayout rgbNoData{.kind = ColourKind::Rgb, .colourBands = {3, 2, 1}, .masked = true, .noData = {1, 2, 3}};
    std::vector<std::uint8_t> entries(256 * 4, 0);
    entries[4] = 11, entries[5] = 12, entries[6] = 13;  // index 1: blue, green, red
    const PaletteFill fill{.fillIndex = 7, .colours = entries};
    struct Case {
        const char* what;
        const BandLayout& layout;
        ClearFrom clearFrom;
        std::vector<std::uint8_t> in;  // each pixel's colours, then one byte
        std::vector<std::uint8_t> out;
    };
    const Case cases[] = {
        {"colours: opaque as they are, clear white, half over white", rgb, ClearFrom::AlphaByte,
         {10, 20, 30, 255, 10, 20, 30, 0, 0, 100, 200, 128}, {10, 20, 30, 255, 255, 255, 127, 177, 227}},
        {"grey the same", grey, ClearFrom::AlphaByte, {50, 255, 50, 0, 50, 128}, {50, 255, 152}},
        // An index cannot be half clear: it stays unless wholly clear.
        {"palette indexes: clear ones the fill entry", palette, ClearFrom::AlphaByte, {3, 255, 3, 0, 3, 128},
         {3, 7, 3}},
        {"a palette written as 24-bit: its entry's colours, clear ones white", paletteAsRgb, ClearFrom::AlphaByte,
         {1, 255, 1, 0, 1, 1}, {11, 12, 13, 255, 255, 255, 11, 12, 13}},
        // The byte after the colours is not read: a zero there would make the second pixel white.
        {"nodata: clear only where every band holds its value", rgbNoData, ClearFrom::NoData,
         {1, 2, 3, 255, 1, 2, 4, 0, 3, 2, 1, 0}, {255, 255, 255, 1, 2, 4, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        const auto width = static_cast<std::int32_t>(c.in.size() / (c.layout.colourBands.size() + 1));
        // One byte beyond the pixels: a row's padding, never written over.
        std::vector<std::uint8_t> out(c.out.size() + 1, 0xEE);
        CompositeRow(c.layout, c.clearFrom, fill, c.in.data(), width, out.data());
        EXPECT_EQ(out.back(), 0xEE) << c.what;
        out.pop_back();
        EXPECT_EQ(out, c.out) << c.what;
    }
}

}  // namespace
}  // namespace kartivo::geoimport
