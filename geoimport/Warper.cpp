#include "geoimport/Warper.h"

#include <cpl_conv.h>
#include <cpl_string.h>

namespace kartivo::geoimport {

GDALResampleAlg WarpAlgorithm(Resampling resampling) {
    switch (resampling) {
    case Resampling::Bilinear: return GRA_Bilinear;
    case Resampling::Cubic: return GRA_Cubic;
    case Resampling::Nearest: break;
    }
    return GRA_NearestNeighbour;
}

std::unique_ptr<Warper> Warper::Create(GDALDatasetH dataset, GenImgProjTransformer transformer,
                                       const OutputGrid& grid, const BandLayout& layout, Resampling resampling,
                                       std::int32_t stripRows) {
    std::unique_ptr<Warper> warper(new Warper);
    warper->geoTransform_ = grid.geoTransform;
    warper->approx_.reset(GDALCreateApproxTransformer(GDALGenImgProjTransform, transformer.get(), ApproxErrorPixels));
    warper->transformer_ = std::move(transformer);
    // The colour bands red first (or grey), whatever other bands the source holds; the strip
    // holds them in that order.
    const std::vector<int> redFirst(layout.colourBands.rbegin(), layout.colourBands.rend());
    const int colourBands = static_cast<int>(redFirst.size());
    // Every warped picture gets an alpha band: where it is clear the source does not reach,
    // and the bitmap shows white there.
    warper->strip_.reset(
        GDALCreate(GDALGetDriverByName("MEM"), "", grid.width, stripRows, colourBands + 1, GDT_Byte, nullptr));
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
    options->pfnTransformer = GDALApproxTransform;
    options->pTransformerArg = warper->approx_.get();
    // Each strip starts clear, so a strip never shows what the one before left.
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "INIT_DEST", "0");
    return warper;
}

// A warp operation keeps what it learnt of the source's place in the output, so each strip,
// whose grid differs, gets an operation of its own: one kept over all strips reads ever larger
// windows of the source.
bool Warper::Warp(std::int32_t top, std::int32_t width, std::int32_t rows, GDALProgressFunc progress,
                  void* progressData) {
    std::array<double, 6> g = geoTransform_;
    g[3] += top * g[5];
    GDALSetGenImgProjTransformerDstGeoTransform(transformer_.get(), g.data());
    options_->pfnProgress = progress != nullptr ? progress : GDALDummyProgress;
    options_->pProgressArg = progressData;
    const WarpOperation operation(GDALCreateWarpOperation(options_.get()));
    return operation && GDALChunkAndWarpImage(operation.get(), 0, 0, width, rows) == CE_None;
}

}  // namespace kartivo::geoimport
