#pragma once
// The output's grid in Web Mercator metres, worked out from the source's outline alone: no
// GDAL here, so every rule of it is tested on numbers.

#include "bitmap/TileGrid.h"
#include "geoimport/BandLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

// Half the side of Web Mercator's square in metres: the ordinate of 85.0511 degrees.
inline constexpr double MercatorLimitY = WebMercatorHalfSide;

struct OutputGrid {
    std::array<double, 6> geoTransform{};
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool cut = false;  // rows beyond the end of Web Mercator were left out
    // A warped grid's widest column that loses no source column, before the columns shrink to
    // fill the extent: the width any part of it is cut to again.
    double columnStep = 0;
};

// Source pixel positions (column, row) to output metres, in place; ok[i] false where a point
// does not transform.
using PixelTransform = std::function<void(int count, double* x, double* y, int* ok)>;

// The rows read, warped and written at once: about 16 MiB of output.
std::int32_t StripRows(std::int32_t width, std::int32_t bitCount, std::int32_t height);

bool IsNorthUp(const std::array<double, 6>& g);

// The rows of a Web Mercator source whose centres lie inside the square; firstRow is the
// source row the grid starts at.
OutputGrid CopiedGrid(const std::array<double, 6>& g, std::int32_t width, std::int32_t height,
                      std::int32_t& firstRow);

// The grid a warp of a width x height source fills; nothing, with why, when no part of it
// transforms. An empty grid when it lies wholly beyond the end of Web Mercator.
std::optional<OutputGrid> WarpedGrid(std::int32_t width, std::int32_t height, const PixelTransform& transform,
                                     std::string& why);

// The longitudes an outline reaches, unwrapped along it: one may lie beyond 180 degrees.
struct LongitudeSpan {
    double west = 0;
    double east = 0;
};

// The longitudes a picture spans when it crosses the 180th meridian, or its Web Mercator
// abscissas jump there; all of them (-180 to 180) when it spans the world or holds a pole;
// nothing when it lies within one turn as Web Mercator has it. toWebMercator as for WarpedGrid.
std::optional<LongitudeSpan> SpanAcross180(std::int32_t width, std::int32_t height, const PixelTransform& toWebMercator);

// A grid made in a Mercator centred on centreLongitude (degrees in (-180, 180]) cut at the
// 180th meridian into the part west of it and the part east of it, each with columns of its
// own no wider than the grid's column step, both moved into Web Mercator metres. A part thinner than half
// a column is left out.
std::vector<OutputGrid> SplitAt180(const OutputGrid& grid, double centreLongitude);

// Whole pixels of one part's grid: what a box crops it to.
struct GridWindow {
    std::size_t part = 0;     // the grid it lies in
    std::int32_t column = 0;  // its top-left pixel there
    std::int32_t row = 0;
    OutputGrid grid;          // the window as a grid of its own: the origin moved by whole pixels
};

// Each grid whole: the picture without a box.
std::vector<GridWindow> WholeGrids(const std::vector<OutputGrid>& grids);

// The windows of the grids (west first) that the box (signed degrees; left east of right: across
// the 180th meridian) covers, widened outward to whole pixels of each grid and cut to it: one
// per grid it meets, two where it crosses the meridian over a grid that spans the world. None,
// with status refusing it and naming both extents, when it meets no grid.
std::vector<GridWindow> CropToBox(const std::vector<OutputGrid>& grids, const MapCorners& box, ImportStatus& status);

// Header, colour table (a warped or masked palette may gain white) and rows, in 64 bits.
std::uint64_t BitmapFileSize(const OutputGrid& grid, const BandLayout& layout, bool warped);

// Refused when the bitmap would not fit the size fields of a bitmap file.
ImportStatus CheckSize(const OutputGrid& grid, const BandLayout& layout, bool warped);

}  // namespace kartivo::geoimport
