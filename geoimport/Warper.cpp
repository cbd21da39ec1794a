#include "geoimport/Warper.h"

#include <cpl_conv.h>
#include <cpl_string.h>

#include <algorithm>

namespace kartivo::geoimport {

GDALResampleAlg WarpAlgorithm(Resampling resampling) {
    switch (resampling) {
    case Resampling::Bilinear: return GRA_Bilinear;
    case Resampling::Cubic: return GRA_Cubic;
    case Resampling::Nearest: break;
    }
    return GRA_NearestNeighbour;
}

int WholeRowTransform::Transform(void* self, int dstToSrc, int count, double* x, double* y, double* z, int* ok) {
    auto& t = *static_cast<WholeRowTransform*>(self);
    if (!dstToSrc) {
        const int done = GDALApproxTransform(t.approx_, FALSE, count, x, y, z, ok);
        for (int i = 0; i < count; ++i) x[i] -= t.column_, y[i] -= t.row_;
        return done;
    }
    for (int i = 0; i < count; ++i) x[i] += t.column_, y[i] += t.row_;
    // The warp kernel asks for a row of pixel centres; anything else (the edges GDAL samples for
    // the source window) goes as it is.
    const double first = x[0] - 0.5;
    const bool row = count > 1 && first >= 0 && first == std::floor(first) && first + count <= t.gridWidth_ &&
                     std::all_of(y, y + count, [&](double v) { return v == y[0]; }) &&
                     x[count - 1] == x[0] + (count - 1);
    if (!row || count == t.gridWidth_) return GDALApproxTransform(t.approx_, TRUE, count, x, y, z, ok);
    t.x_.resize(std::size_t(t.gridWidth_));
    for (std::size_t i = 0; i < t.x_.size(); ++i) t.x_[i] = double(i) + 0.5;
    t.y_.assign(t.x_.size(), y[0]);
    t.z_.assign(t.x_.size(), 0);
    t.ok_.resize(t.x_.size());
    const int done =
        GDALApproxTransform(t.approx_, TRUE, t.gridWidth_, t.x_.data(), t.y_.data(), t.z_.data(), t.ok_.data());
    const auto from = static_cast<std::ptrdiff_t>(first);
    std::copy_n(t.x_.begin() + from, count, x);
    std::copy_n(t.y_.begin() + from, count, y);
    std::copy_n(t.z_.begin() + from, count, z);
    std::copy_n(t.ok_.begin() + from, count, ok);
    return done;
}

std::unique_ptr<Warper> Warper::Create(GDALDatasetH dataset, GenImgProjTransformer transformer,
                                       const OutputGrid& grid, const GridWindow& window, const BandLayout& layout,
                                       Resampling resampling, std::int32_t stripRows) {
    std::unique_ptr<Warper> warper(new Warper);
    GDALSetGenImgProjTransformerDstGeoTransform(transformer.get(), grid.geoTransform.data());
    warper->approx_.reset(GDALCreateApproxTransformer(GDALGenImgProjTransform, transformer.get(), ApproxErrorPixels));
    warper->transformer_ = std::move(transformer);
    warper->rows_ = std::make_unique<WholeRowTransform>(warper->approx_.get(), grid.width, window.column);
    warper->firstRow_ = window.row;
    // The colour bands red first (or grey), whatever other bands the source holds; the strip
    // holds them in that order.
    const std::vector<int> redFirst(layout.colourBands.rbegin(), layout.colourBands.rend());
    const int colourBands = static_cast<int>(redFirst.size());
    // Every warped picture gets an alpha band: where it is clear the source does not reach,
    // and the bitmap shows white there.
    warper->strip_.reset(
        GDALCreate(GDALGetDriverByName("MEM"), "", window.grid.width, stripRows, colourBands + 1, GDT_Byte, nullptr));
    if (!warper->approx_ || !warper->strip_) return nullptr;

    warper->options_.reset(GDALCreateWarpOptions());
    GDALWarpOptions* options = warper->options_.get();
    options->hSrcDS = dataset;
    options->hDstDS = warper->strip_.get();
    options->eResampleAlg = WarpAlgorithm(resampling);
    options->dfWarpMemoryLimit = WarpMemoryBytes;
    options->nBandCount = colourBands;
    options->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int) * colourBands));
    options->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int) * colourBands));
    for (int i = 0; i < colourBands; ++i) {
        options->panSrcBands[i] = redFirst[std::size_t(i)];
        options->panDstBands[i] = i + 1;
    }
    options->nSrcAlphaBand = layout.alphaBand;
    // Without nodata values GDAL reads the source's own mask; with them, what they leave clear
    // is no colour to resample from, so no edge is blended with the border they mark.
    if (!layout.noData.empty()) {
        options->padfSrcNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double) * colourBands));
        // The layout lists its values blue first, as it lists the bands.
        for (std::size_t i = 0; i < layout.noData.size(); ++i) {
            options->padfSrcNoDataReal[layout.noData.size() - 1 - i] = layout.noData[i];
        }
        // Clear only where every band holds its value, as GDAL's mask and the copy count it.
        options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "UNIFIED_SRC_NODATA", "YES");
    }
    options->nDstAlphaBand = colourBands + 1;
    options->pfnTransformer = WholeRowTransform::Transform;
    options->pTransformerArg = warper->rows_.get();
    // Each strip starts clear, so a strip never shows what the one before left.
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "INIT_DEST", "0");
    // GDAL's threads would each need a copy of the whole-row transformer, which it cannot make of
    // one not its own (GDAL_NUM_THREADS would hang the warp).
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "NUM_THREADS", "1");
    // Chunks of whole rows: the halves GDAL would cut a wide strip in once its source outgrows the
    // memory would each have their rows interpolated whole again.
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "STREAMABLE_OUTPUT", "YES");
    return warper;
}

// A warp operation keeps what it learnt of the source's place in the output, so each strip,
// whose grid differs, gets an operation of its own: one kept over all strips reads ever larger
// windows of the source.
bool Warper::Warp(std::int32_t top, std::int32_t width, std::int32_t rows, GDALProgressFunc progress,
                  void* progressData) {
    rows_->SetFirstRow(firstRow_ + top);
    options_->pfnProgress = progress != nullptr ? progress : GDALDummyProgress;
    options_->pProgressArg = progressData;
    const WarpOperation operation(GDALCreateWarpOperation(options_.get()));
    return operation && GDALChunkAndWarpImage(operation.get(), 0, 0, width, rows) == CE_None;
}

}  // namespace kartivo::geoimport
