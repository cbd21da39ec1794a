#pragma once
// A single band of elevations made into a map picture: GDAL's hillshade (azimuth 315, altitude
// 45), as gdaldem hillshade makes it of the elevations warped to the output grid, grey or laid
// over colours by height. Strip by strip: each strip's elevations are warped with one row more
// above and below, which the 3 x 3 neighbourhood of the shading needs, so every pixel is the one
// gdaldem gives of the whole grid.

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/Importer.h"
#include "geoimport/OutputGrid.h"
#include "geoimport/Warper.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kartivo::geoimport {

// Elevation units per metre, as gdaldem's -s takes them over a grid in metres: 1 for metres,
// more for feet. Nothing for a unit that is no length GDAL's drivers name.
std::optional<double> ElevationUnitScale(const char* unitType);

// Refused, naming --relief, when the source is a single band of elevations: whole numbers that go
// below zero and floating point, which no picture's colours come in, and UInt16, as often a grey
// picture, where its unit is a length. Nothing to say of any other source.
ImportStatus RefuseElevations(GDALDatasetH dataset);

// The layout of a relief's bitmap: grey (8-bit with a grey table) or colours (24-bit). Nothing,
// with status set, when the source is not one band of elevations.
std::optional<BandLayout> ReadReliefLayout(GDALDatasetH dataset, Relief relief, ImportStatus& status);

// The colour a height takes at fraction (0 the band's lowest, 1 its highest) of its range:
// greens low, browns higher, white at the top; red, green, blue.
std::array<std::uint8_t, 3> RampColour(double fraction);

class ReliefShader {
public:
    // transformer empty: the source lies on the grid already, its rows from firstRow on (a copy).
    // The window's pixels are shaded, each as the whole grid's shading makes it.
    // Nothing when GDAL refuses; LastGdalError says why.
    static std::unique_ptr<ReliefShader> Create(GDALDatasetH dataset, GenImgProjTransformer transformer,
                                                const OutputGrid& grid, const GridWindow& window,
                                                Resampling resampling, Relief relief, std::int32_t firstRow);

    // The window's rows top .. top + rows - 1 as the bitmap's rows, lowest first from lowest, each
    // rowSize bytes apart; progress (may be null) can cancel. Clear pixels are white.
    bool Shade(std::int32_t top, std::int32_t rows, std::uint8_t* lowest, std::int32_t rowSize,
               GDALProgressFunc progress, void* progressData);

    // The bits of one elevation as the strips hold it, the source's own type.
    std::int32_t ElevationBits() const { return GDALGetDataTypeSizeBits(type_); }

private:
    ReliefShader() = default;
    bool ReadElevations(GDALDatasetH strip, std::int32_t first, std::int32_t count, std::int32_t width,
                        GDALProgressFunc progress, void* progressData);
    void FindRange();

    GDALDatasetH source_ = nullptr;
    Relief relief_ = Relief::Grey;
    std::array<double, 6> geoTransform_{};
    std::int32_t width_ = 0;  // the whole grid's
    std::int32_t height_ = 0;
    GridWindow window_;
    // The grid column the strips start at: a column before the window's, where the grid has one,
    // for the neighbours its edge columns are shaded with.
    std::int32_t left_ = 0;
    std::int32_t firstRow_ = 0;
    GDALDataType type_ = GDT_Float32;
    double noData_ = 0;
    // gdaldem's -s, elevation units per metre: the grid is in Web Mercator metres, so 1 for
    // elevations in metres, whatever system the source was in.
    double scale_ = 1;
    std::optional<std::array<double, 2>> range_;  // lowest and highest, found on the first strip
    std::vector<std::array<std::uint8_t, 3>> ramp_;  // RampColour in equal steps over the range
    GenImgProjTransformer transformer_;  // empty for a copy
    ApproxTransformer approx_;
    std::unique_ptr<WholeRowTransform> rows_;
    WarpOptions options_;
};

}  // namespace kartivo::geoimport
