#pragma once
// How a source's bands become a bitmap's colours: RGB, grey or a colour table, with the
// transparency laid over white.

#include "geoimport/ImportTypes.h"

#include <gdal.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

enum class ColourKind { Rgb, Grey, Palette };

struct BandLayout {
    ColourKind kind = ColourKind::Rgb;
    std::vector<int> colourBands;  // in the order the bitmap stores them: blue, green, red; or one band
    int alphaBand = 0;             // 0: none
    std::vector<std::array<std::uint8_t, 4>> palette;  // red, green, blue, alpha
    bool paletteToRgb = false;  // a warped or masked palette without room for white: written as 24-bit colours
    // Where the source is clear, as GDAL's mask of its first band tells: a mask (internal or
    // .msk), an alpha band or nodata values. With noData, one per colour band in their order,
    // a pixel is clear where every band holds its own; else the mask band is read.
    bool masked = false;
    std::vector<double> noData;
    bool sixteenBit = false;   // colours of 16 bits, to be scaled to bytes before anything else
    std::vector<int> leftOut;  // bands neither colour nor alpha
};

// "band 4 (undefined)" for each band left out.
std::vector<std::string> LeftOutTexts(GDALDatasetH dataset, const BandLayout& layout);

// Nothing, with status set, for bands that are no picture.
std::optional<BandLayout> ReadBandLayout(GDALDatasetH dataset, ImportStatus& status);

// The same bands for showing, never refused: values of any type, read as GDAL converts them to
// bytes (16-bit colours as the import scales them), and bands the import refuses shown as their
// first three colours or their first grey.
BandLayout ReadShownBandLayout(GDALDatasetH dataset);

// With nodata values: whether a pixel's colour bytes, in the layout's band order, are clear.
bool ClearByNoData(const BandLayout& layout, const std::uint8_t* colours);

// Colours with an alpha value, laid over white.
std::uint8_t OverWhite(std::uint8_t colour, std::uint8_t alpha);

// The entry of a palette that shows white where the source is not: one white already, else a
// free place. Nothing when a full table holds no white.
std::optional<std::size_t> WhiteEntry(const BandLayout& layout);

// The bitmap's colour table, blue, green, red, 0 per entry; for a palette written as 24-bit,
// the colours each index becomes. A palette that needs white gains it (fillIndex) where it has room.
std::vector<std::uint8_t> ColourTable(BandLayout& layout, bool warped, std::uint8_t& fillIndex);

// A palette shows white where the warp does not reach and where the source is clear.
bool NeedsWhite(const BandLayout& layout, bool warped);

std::int16_t BitCount(const BandLayout& layout);

// Where a pixel read for compositing is clear: by the byte after its colours (alpha, or GDAL's
// mask: 0 clear, 255 opaque), or where its colours hold the layout's nodata values.
enum class ClearFrom { AlphaByte, NoData };

// What a palette's clear pixels become: fillIndex in an 8-bit bitmap; for a palette written as
// 24-bit, white, its other pixels their index's colour in colours (blue, green, red, 0 each).
struct PaletteFill {
    std::uint8_t fillIndex = 0;
    std::vector<std::uint8_t> colours;
};

// One row of width pixels, each read as the layout's colour bytes and one byte more, into the
// bitmap's pixels: a palette's indexes or their colours, clear ones as fill says; colours laid
// over white by their alpha, clear ones white.
void CompositeRow(const BandLayout& layout, ClearFrom clearFrom, const PaletteFill& fill, const std::uint8_t* in,
                  std::int32_t width, std::uint8_t* out);

}  // namespace kartivo::geoimport
