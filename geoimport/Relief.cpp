#include "geoimport/Relief.h"

#include "geoimport/Warper.h"

#include <cpl_conv.h>
#include <gdal_utils.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <vector>

namespace kartivo::geoimport {

namespace {

using DemOptions = std::unique_ptr<GDALDEMProcessingOptions, Destroyer<GDALDEMProcessingOptionsFree>>;

// Where the source names no nodata value, the area the warp does not reach still needs one:
// gdaldem leaves it unshaded, and the bitmap shows it white. The type's lowest value is the one
// elevation models use for it anyway.
double MarkOfNoData(GDALDataType type) {
    switch (type) {
    case GDT_Int16: return SHRT_MIN;
    case GDT_UInt16: return USHRT_MAX;
    case GDT_Int32: return INT_MIN;
    default: break;
    }
    return -FLT_MAX;  // read as Float32 by gdaldem, so no lower double
}

bool IsElevationType(GDALDataType type) {
    return type == GDT_Int16 || type == GDT_Int32 || type == GDT_Float32 || type == GDT_Float64;
}

// The shares of a strip's progress: the warp is most of the work.
constexpr double WarpShare = 0.7;

// The ramp is looked up rather than worked out for each pixel: 1024 steps keep each colour
// within half a level of the ramp's own.
constexpr std::size_t RampSteps = 1024;

}  // namespace

std::optional<double> ElevationUnitScale(const char* unitType) {
    std::string unit = unitType != nullptr ? unitType : "";
    std::transform(unit.begin(), unit.end(), unit.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* metres : {"m", "metre", "metres", "meter", "meters"}) {
        if (unit == metres) return 1.0;
    }
    // The US survey foot is 2 millionths longer than the foot: nothing a shade shows.
    for (const char* feet : {"ft", "foot", "feet", "us survey foot", "ftus"}) {
        if (unit == feet) return 1 / 0.3048;
    }
    return std::nullopt;
}

ImportStatus RefuseElevations(GDALDatasetH dataset) {
    if (GDALGetRasterCount(dataset) != 1) return {};
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    if (!IsElevationType(type) && !(type == GDT_UInt16 && ElevationUnitScale(GDALGetRasterUnitType(band)))) return {};
    return Refusal(ImportError::Elevations, std::string("its band holds ") + GDALGetDataTypeName(type) +
                                                " values, elevations rather than a picture's colours: --relief "
                                                "imports them as shaded relief (--relief color: over colours by "
                                                "height)");
}

std::optional<BandLayout> ReadReliefLayout(GDALDatasetH dataset, Relief relief, ImportStatus& status) {
    const int count = GDALGetRasterCount(dataset);
    if (count != 1) {
        status = Refusal(ImportError::NotColours, "its " + std::to_string(count) +
                                                      " bands are not the single band of elevations --relief shades");
        return std::nullopt;
    }
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    // UInt16 without a unit is as often a grey picture; --relief says it is elevations.
    if (!IsElevationType(type) && type != GDT_UInt16) {
        status = Refusal(ImportError::NotColours, std::string("its band holds ") + GDALGetDataTypeName(type) +
                                                      " values, not elevations --relief shades (Int16, UInt16, "
                                                      "Int32, Float32 or Float64)");
        return std::nullopt;
    }
    BandLayout layout;
    layout.kind = relief == Relief::Colour ? ColourKind::Rgb : ColourKind::Grey;
    return layout;
}

std::array<std::uint8_t, 3> RampColour(double fraction) {
    // Lowlands green, hills light green and tan, mountains brown, summits snow.
    static constexpr std::array<std::array<double, 4>, 6> Stops{{
        {0.00, 46, 120, 60},
        {0.20, 120, 170, 90},
        {0.45, 215, 200, 130},
        {0.70, 160, 110, 70},
        {0.88, 200, 180, 170},
        {1.00, 255, 255, 255},
    }};
    const double t = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    std::size_t i = 1;
    while (i + 1 < Stops.size() && t > Stops[i][0]) ++i;
    const auto& low = Stops[i - 1];
    const auto& high = Stops[i];
    const double share = (t - low[0]) / (high[0] - low[0]);
    std::array<std::uint8_t, 3> colour{};
    for (std::size_t c = 0; c < 3; ++c) {
        colour[c] = static_cast<std::uint8_t>(std::lround(low[c + 1] + share * (high[c + 1] - low[c + 1])));
    }
    return colour;
}

std::unique_ptr<ReliefShader> ReliefShader::Create(GDALDatasetH dataset, GenImgProjTransformer transformer,
                                                   const OutputGrid& grid, const GridWindow& window,
                                                   Resampling resampling, Relief relief, std::int32_t firstRow) {
    std::unique_ptr<ReliefShader> shader(new ReliefShader);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    shader->source_ = dataset;
    shader->relief_ = relief;
    shader->geoTransform_ = grid.geoTransform;
    shader->width_ = grid.width;
    shader->height_ = grid.height;
    shader->window_ = window;
    shader->left_ = std::max(0, window.column - 1);
    shader->firstRow_ = firstRow;
    shader->type_ = GDALGetRasterDataType(band);
    int hasNoData = FALSE;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    shader->noData_ = hasNoData != FALSE ? noData : MarkOfNoData(shader->type_);
    shader->scale_ = ElevationUnitScale(GDALGetRasterUnitType(band)).value_or(1);
    if (!transformer) return shader;

    GDALSetGenImgProjTransformerDstGeoTransform(transformer.get(), grid.geoTransform.data());
    shader->approx_.reset(GDALCreateApproxTransformer(GDALGenImgProjTransform, transformer.get(), ApproxErrorPixels));
    shader->transformer_ = std::move(transformer);
    if (!shader->approx_) return nullptr;
    shader->rows_ = std::make_unique<WholeRowTransform>(shader->approx_.get(), grid.width, shader->left_);
    shader->options_.reset(GDALCreateWarpOptions());
    GDALWarpOptions* options = shader->options_.get();
    options->hSrcDS = dataset;
    options->eResampleAlg = WarpAlgorithm(resampling);
    options->dfWarpMemoryLimit = WarpMemoryBytes;
    options->nBandCount = 1;
    options->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int)));
    options->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int)));
    options->panSrcBands[0] = options->panDstBands[0] = 1;
    // As gdalwarp does with a source's nodata: no elevation is resampled from it, and the output
    // starts as nodata, so what the warp does not reach is nodata too.
    if (hasNoData != FALSE) {
        options->padfSrcNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double)));
        options->padfSrcNoDataReal[0] = noData;
    }
    options->padfDstNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double)));
    options->padfDstNoDataReal[0] = shader->noData_;
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "INIT_DEST", "NO_DATA");
    // Whole rows, as the picture's warper takes them.
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "NUM_THREADS", "1");
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "STREAMABLE_OUTPUT", "YES");
    options->pfnTransformer = WholeRowTransform::Transform;
    options->pTransformerArg = shader->rows_.get();
    return shader;
}

// The grid's rows first .. first + count - 1, width columns from left_, into the strip, in the
// source's own type, as gdalwarp would write them.
bool ReliefShader::ReadElevations(GDALDatasetH strip, std::int32_t first, std::int32_t count, std::int32_t width,
                                  GDALProgressFunc progress, void* progressData) {
    if (!transformer_) {
        std::vector<std::uint8_t> rows(std::size_t(width) * count * GDALGetDataTypeSizeBytes(type_));
        return GDALRasterIO(GDALGetRasterBand(source_, 1), GF_Read, left_, firstRow_ + first, width, count,
                            rows.data(), width, count, type_, 0, 0) == CE_None &&
               GDALRasterIO(GDALGetRasterBand(strip, 1), GF_Write, 0, 0, width, count, rows.data(), width, count,
                            type_, 0, 0) == CE_None;
    }
    rows_->SetFirstRow(first);
    options_->hDstDS = strip;
    options_->pfnProgress = progress;
    options_->pProgressArg = progressData;
    // An operation of its own per strip, as the picture's warper has: one kept reads ever more.
    const WarpOperation operation(GDALCreateWarpOperation(options_.get()));
    return operation && GDALChunkAndWarpImage(operation.get(), 0, 0, width, count) == CE_None;
}

// The band's range as GDAL finds it quickly (its statistics, overviews or a sample): the colours
// need only its span, not its exact ends.
// A band all nodata has none, and is all white.
void ReliefShader::FindRange() {
    std::array<double, 2> minMax{0, 0};
    if (GDALComputeRasterMinMax(GDALGetRasterBand(source_, 1), TRUE, minMax.data()) != CE_None) minMax = {0, 0};
    range_ = minMax;
    ramp_.resize(RampSteps);
    for (std::size_t i = 0; i < RampSteps; ++i) ramp_[i] = RampColour(double(i) / (RampSteps - 1));
}

bool ReliefShader::Shade(std::int32_t top, std::int32_t rows, std::uint8_t* lowest, std::int32_t rowSize,
                         GDALProgressFunc progress, void* progressData) {
    if (relief_ == Relief::Colour && !range_) FindRange();
    if (progress == nullptr) progress = GDALDummyProgress;
    // A row more above and below, and a column more on either side, where the grid has them: the
    // neighbours the edge pixels need. The grid's own edges are left to gdaldem, as for the whole.
    const std::int32_t width = window_.grid.width;
    const std::int32_t gridTop = window_.row + top;
    const std::int32_t first = std::max(0, gridTop - 1);
    const std::int32_t count = std::min(height_, gridTop + rows + 1) - first;
    const std::int32_t stripWidth = std::min(width_, window_.column + width + 1) - left_;
    const Dataset strip(GDALCreate(GDALGetDriverByName("MEM"), "", stripWidth, count, 1, type_, nullptr));
    if (!strip) return false;
    std::array<double, 6> g = geoTransform_;
    g[0] += left_ * g[1];
    g[3] += first * g[5];
    GDALSetGeoTransform(strip.get(), g.data());
    GDALSetRasterNoDataValue(GDALGetRasterBand(strip.get(), 1), noData_);
    {
        const ScaledProgress warpProgress(GDALCreateScaledProgress(0, WarpShare, progress, progressData));
        if (!ReadElevations(strip.get(), first, count, stripWidth, GDALScaledProgress, warpProgress.get())) return false;
    }

    CPLStringList arguments;
    for (const char* a : {"-of", "MEM", "-az", "315", "-alt", "45", "-s"}) arguments.AddString(a);
    // The shortest text that reads back as the same double, whatever the locale.
    std::array<char, 32> scale{};
    std::to_chars(scale.data(), scale.data() + scale.size() - 1, scale_);
    arguments.AddString(scale.data());
    const DemOptions options(GDALDEMProcessingOptionsNew(arguments.List(), nullptr));
    if (!options) return false;
    const ScaledProgress shadeProgress(GDALCreateScaledProgress(WarpShare, 1, progress, progressData));
    GDALDEMProcessingOptionsSetProgress(options.get(), GDALScaledProgress, shadeProgress.get());
    const Dataset shaded(GDALDEMProcessing("", strip.get(), "hillshade", nullptr, options.get(), nullptr));
    if (!shaded) return false;

    // gdaldem shades 1 to 255 and leaves 0 for nodata: where the source is clear, at the grid's
    // edges, and beside either.
    const std::int32_t column = window_.column - left_;
    std::vector<std::uint8_t> shade(std::size_t(width) * rows);
    if (GDALRasterIO(GDALGetRasterBand(shaded.get(), 1), GF_Read, column, gridTop - first, width, rows, shade.data(),
                     width, rows, GDT_Byte, 0, 0) != CE_None) {
        return false;
    }
    std::vector<float> heights;
    if (relief_ == Relief::Colour) {
        heights.resize(shade.size());
        if (GDALRasterIO(GDALGetRasterBand(strip.get(), 1), GF_Read, column, gridTop - first, width, rows,
                         heights.data(), width, rows, GDT_Float32, 0, 0) != CE_None) {
            return false;
        }
    }
    const double low = range_ ? (*range_)[0] : 0;
    const double span = range_ ? (*range_)[1] - (*range_)[0] : 0;
    const double toStep = span > 0 ? (RampSteps - 1) / span : 0;
    for (std::int32_t r = 0; r < rows; ++r) {
        std::uint8_t* out = lowest + std::size_t(rows - 1 - r) * rowSize;
        const std::uint8_t* in = shade.data() + std::size_t(r) * width;
        if (relief_ != Relief::Colour) {
            for (std::int32_t x = 0; x < width; ++x) out[x] = in[x] == 0 ? 255 : in[x];
            continue;
        }
        const float* height = heights.data() + std::size_t(r) * width;
        for (std::int32_t x = 0; x < width; ++x, out += 3) {
            if (in[x] == 0) {
                out[0] = out[1] = out[2] = 255;
                continue;
            }
            // Beyond the range GDAL found (it may have sampled) the ramp's ends hold.
            const double step = (height[x] - low) * toStep;
            const std::array<std::uint8_t, 3>& colour =
                ramp_[!(step > 0) ? 0 : step >= RampSteps - 1 ? RampSteps - 1 : std::size_t(step + 0.5)];
            // The bitmap keeps blue, green, red; each darkened by the shade.
            for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>((colour[2 - c] * in[x] + 127) / 255);
        }
    }
    return true;
}

}  // namespace kartivo::geoimport
