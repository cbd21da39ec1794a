#pragma once
// GDAL's warp, run strip by strip into an in-memory picture of one strip.

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/ImportTypes.h"
#include "geoimport/OutputGrid.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kartivo::geoimport {

// What gdalwarp allows by default between the exact and the interpolated transformation, in
// output pixels; the same value keeps an import equal to gdalwarp's own result.
inline constexpr double ApproxErrorPixels = 0.125;
// The warper's working memory: the same whatever the picture's size, so peak memory stays flat;
// 32 MiB warps as fast as 64 did against gdalwarp in the benchmarks.
inline constexpr double WarpMemoryBytes = 32.0 * 1024 * 1024;

GDALResampleAlg WarpAlgorithm(Resampling resampling);

// GDAL's interpolating transformer fits each row it is handed between that row's ends and middle,
// so where a pixel's source lies depends on where the row asked for begins and ends: a window of
// the grid, or a chunk GDAL cuts by memory, would take other source pixels than the whole grid's
// row. This one interpolates every row of pixel centres as the whole grid's row and hands out the
// share asked for, so each pixel is warped alike however the grid is cut. Positions are in the
// window's pixels; the transformer under it works in the whole grid's.
class WholeRowTransform {
public:
    WholeRowTransform(void* approx, std::int32_t gridWidth, std::int32_t column)
        : approx_(approx), gridWidth_(gridWidth), column_(column) {}
    void SetFirstRow(std::int32_t row) { row_ = row; }  // the grid row of the window's row 0
    static int Transform(void* self, int dstToSrc, int count, double* x, double* y, double* z, int* ok);

private:
    void* approx_;
    std::int32_t gridWidth_;
    std::int32_t column_;
    std::int32_t row_ = 0;
    std::vector<double> x_, y_, z_;  // a whole row
    std::vector<int> ok_;
};

class Warper {
public:
    // Nothing when GDAL refuses; LastGdalError says why.
    // The window's pixels of the grid are warped, each as a warp of the whole grid makes it.
    static std::unique_ptr<Warper> Create(GDALDatasetH dataset, GenImgProjTransformer transformer,
                                          const OutputGrid& grid, const GridWindow& window, const BandLayout& layout,
                                          Resampling resampling, std::int32_t stripRows);

    // Warps the window's rows top .. top + rows - 1 into the strip picture; progress (may be
    // null) hears of each chunk GDAL finishes and can cancel.
    bool Warp(std::int32_t top, std::int32_t width, std::int32_t rows, GDALProgressFunc progress,
              void* progressData);

    // The colour bands, then alpha.
    GDALDatasetH Strip() const { return strip_.get(); }

private:
    Warper() = default;

    GenImgProjTransformer transformer_;  // source pixels to output georeference, over the whole grid
    ApproxTransformer approx_;           // the interpolating transformer over it, as gdalwarp uses
    std::unique_ptr<WholeRowTransform> rows_;  // over that, in the window's strips
    WarpOptions options_;                // lends the transformers, never owns them
    Dataset strip_;
    std::int32_t firstRow_ = 0;  // the window's top row in the grid
};

}  // namespace kartivo::geoimport
