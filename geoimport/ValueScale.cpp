#include "geoimport/ValueScale.h"

#include <gdal_utils.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace kartivo::geoimport {

namespace {

// The percentiles are taken over a sample of at most this many columns and rows, read by
// nearest neighbour: a strip of the picture's rows, not the picture, however large it is.
constexpr int SampleSide = 1024;
constexpr int Values = 65536;

// GDAL's histogram of a band's values over the sample, nodata left out. The sample lies in a
// picture in memory: a histogram of the source itself would be kept in an .aux.xml beside it.
std::optional<std::vector<std::uint64_t>> SampleHistogram(GDALRasterBandH band) {
    const int width = GDALGetRasterBandXSize(band);
    const int height = GDALGetRasterBandYSize(band);
    const int sampleWidth = std::min(width, SampleSide);
    const int sampleHeight = std::min(height, SampleSide);
    const Dataset sample(
        GDALCreate(GDALGetDriverByName("MEM"), "", sampleWidth, sampleHeight, 1, GDT_UInt16, nullptr));
    if (!sample) return std::nullopt;
    GDALRasterBandH sampled = GDALGetRasterBand(sample.get(), 1);
    std::vector<std::uint16_t> values(std::size_t(sampleWidth) * sampleHeight);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_NearestNeighbour;
    if (GDALRasterIOEx(band, GF_Read, 0, 0, width, height, values.data(), sampleWidth, sampleHeight, GDT_UInt16, 0, 0,
                       &extra) != CE_None ||
        GDALRasterIO(sampled, GF_Write, 0, 0, sampleWidth, sampleHeight, values.data(), sampleWidth, sampleHeight,
                     GDT_UInt16, 0, 0) != CE_None) {
        return std::nullopt;
    }
    int hasNoData = FALSE;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    if (hasNoData != FALSE) GDALSetRasterNoDataValue(sampled, noData);
    std::vector<GUIntBig> counts(Values);
    if (GDALGetRasterHistogramEx(sampled, -0.5, Values - 0.5, Values, counts.data(), FALSE, FALSE, GDALDummyProgress,
                                 nullptr) != CE_None) {
        return std::nullopt;
    }
    return std::vector<std::uint64_t>(counts.begin(), counts.end());
}

// A satellite composite keeps 12 bits or fewer in its 16: NBITS says so, or its values do.
bool UsesPartOfTheRange(GDALRasterBandH band, const std::vector<std::uint64_t>& histogram) {
    if (const char* nbits = GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE")) {
        const int bits = std::atoi(nbits);
        if (bits > 0 && bits < 16) return true;
    }
    return std::all_of(histogram.begin() + 4096, histogram.end(), [](std::uint64_t n) { return n == 0; });
}

std::string NumberArgument(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

ScaleBounds PercentileBounds(const std::vector<std::uint64_t>& histogram) {
    std::uint64_t total = 0;
    for (const std::uint64_t n : histogram) total += n;
    if (total == 0) return {0, double(histogram.size() - 1)};
    const auto at = [&](double share) {
        std::uint64_t seen = 0;
        for (std::size_t v = 0; v < histogram.size(); ++v) {
            seen += histogram[v];
            if (double(seen) >= share * double(total)) return double(v);
        }
        return double(histogram.size() - 1);
    };
    ScaleBounds bounds{at(0.02), at(0.98)};
    // A band of one value has nothing to stretch: it keeps a step of one value.
    if (bounds.high <= bounds.low) {
        if (bounds.low >= double(histogram.size() - 1)) --bounds.low;
        bounds.high = bounds.low + 1;
    }
    return bounds;
}

std::optional<ScaledColours> ScaleColours(GDALDatasetH source, const BandLayout& layout, const ValueScaling& scaling,
                                          ImportStatus& status) {
    const auto refuse = [&](const char* what) {
        status = Refusal(ImportError::ReadFailed, std::string("Cannot scale its 16-bit colours: ") + LastGdalError(what));
        return std::nullopt;
    };
    ScaledColours scaled;
    const std::vector<int> redFirst(layout.colourBands.rbegin(), layout.colourBands.rend());
    std::vector<std::vector<std::uint64_t>> histograms;
    bool partOfTheRange = true;
    if (scaling.rule == ScaleRule::Auto || scaling.rule == ScaleRule::Stretch) {
        for (const int band : redFirst) {
            std::optional<std::vector<std::uint64_t>> histogram = SampleHistogram(GDALGetRasterBand(source, band));
            if (!histogram) return refuse("GDAL's histogram failed");
            partOfTheRange = partOfTheRange && UsesPartOfTheRange(GDALGetRasterBand(source, band), *histogram);
            histograms.push_back(std::move(*histogram));
        }
    }
    scaled.rule = scaling.rule != ScaleRule::Auto ? scaling.rule : partOfTheRange ? ScaleRule::Stretch : ScaleRule::Full;
    CPLStringList arguments;
    for (const char* a : {"-of", "VRT", "-ot", "Byte", "-a_nodata", "none"}) arguments.AddString(a);
    const auto addBand = [&](int band, int position, ScaleBounds bounds) {
        arguments.AddString("-b");
        arguments.AddString(std::to_string(band).c_str());
        arguments.AddString(("-scale_" + std::to_string(position)).c_str());
        for (const double value : {bounds.low, bounds.high, 0.0, 255.0}) arguments.AddString(NumberArgument(value).c_str());
    };
    for (std::size_t i = 0; i < redFirst.size(); ++i) {
        const ScaleBounds bounds = scaled.rule == ScaleRule::Stretch ? PercentileBounds(histograms[i])
                                   : scaled.rule == ScaleRule::Range ? ScaleBounds{scaling.low, scaling.high}
                                                                     : ScaleBounds{0, 65535};
        scaled.bounds.push_back(bounds);
        addBand(redFirst[i], int(i) + 1, bounds);
    }
    std::string interpretations = redFirst.size() == 3 ? "red,green,blue" : "gray";
    if (layout.alphaBand != 0) {
        // Transparency is never stretched: its whole range is clear to opaque.
        const bool wide = GDALGetRasterDataType(GDALGetRasterBand(source, layout.alphaBand)) == GDT_UInt16;
        addBand(layout.alphaBand, int(redFirst.size()) + 1, wide ? ScaleBounds{0, 65535} : ScaleBounds{0, 255});
        interpretations += ",alpha";
    }
    arguments.AddString("-colorinterp");
    arguments.AddString(interpretations.c_str());
    // Where the source is clear is read from its own values, unscaled, as GDAL's mask of it.
    const bool masked = layout.alphaBand == 0 && (GDALGetMaskFlags(GDALGetRasterBand(source, 1)) & GMF_ALL_VALID) == 0;
    arguments.AddString("-mask");
    arguments.AddString(masked ? "mask,1" : "none");

    GDALTranslateOptions* options = GDALTranslateOptionsNew(arguments.List(), nullptr);
    if (options == nullptr) return refuse("GDAL refused the scaling");
    CPLErrorReset();
    scaled.dataset.reset(GDALTranslate("", source, options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!scaled.dataset) return refuse("GDAL refused the scaling");
    return scaled;
}

}  // namespace kartivo::geoimport
