// A picture GDAL reads, shown at a reduced size. Memory is the reduced picture's, whatever the
// file's size: GDAL is asked for the samples only and decides itself which overview or blocks
// give them.

#include "geoimport/GeoImport.h"

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/SourceGeoreference.h"

#include <cpl_error.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace kartivo::geoimport {

struct ForeignPixels::Source {
    Dataset dataset;
    BandLayout layout;
    // Nodata values compared as bytes hold only for bytes; clamped values of other types would
    // meet them by chance, so those are left to GDAL's mask, which compares them unconverted.
    bool byNoData = false;
    GDALRasterBandH mask = nullptr;  // where clear is read from GDAL's mask; owned by the dataset
};

ForeignPixels::ForeignPixels(std::unique_ptr<Source> source, std::int32_t width, std::int32_t height,
                             std::vector<FileIdentity> files)
    : source_(std::move(source)), width_(width), height_(height), files_(std::move(files)) {}

ForeignPixels::~ForeignPixels() = default;

void ForeignPixels::SourceCloser::operator()(Source* source) const { delete source; }

std::unique_ptr<ForeignPixels> ForeignPixels::Open(const std::string& path) {
    auto source = std::make_unique<Source>();
    source->dataset = OpenRaster(path);
    GDALDatasetH dataset = source->dataset.get();
    if (!dataset || GDALGetRasterCount(dataset) < 1) return nullptr;
    source->layout = ReadShownBandLayout(dataset);
    const BandLayout& layout = source->layout;
    const bool bytes = std::all_of(layout.colourBands.begin(), layout.colourBands.end(), [dataset](int band) {
        return GDALGetRasterDataType(GDALGetRasterBand(dataset, band)) == GDT_Byte;
    });
    source->byNoData = !layout.noData.empty() && bytes;
    if (layout.masked && !source->byNoData) source->mask = GDALGetMaskBand(GDALGetRasterBand(dataset, 1));
    const std::int32_t width = GDALGetRasterXSize(dataset);
    const std::int32_t height = GDALGetRasterYSize(dataset);
    std::vector<FileIdentity> files = SourceFiles(dataset, path);
    return std::make_unique<ForeignPixels>(std::move(source), width, height, std::move(files));
}

namespace {

// How many samples a side gives at the step: the count a bitmap's reduced read gives, worked
// out here so the module needs none of the core's reading of bitmaps.
std::int32_t Samples(std::int32_t length, std::int32_t step) {
    return length / step + (length % step != 0 ? 1 : 0);
}

bool Within(std::int32_t start, std::int32_t length, std::int32_t size) {
    return start >= 0 && length >= 0 && std::int64_t{start} + length <= size;
}

std::uint32_t Rgb32(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return 0xff000000u | std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
}

}  // namespace

ReducedPictureResult ForeignPixels::Read(const PictureRect& rect, std::int32_t step) {
    ReducedPictureResult result;
    ReducedPicture& picture = result.picture;
    picture.rect = rect;
    picture.step = step;
    if (step < 1 || !Within(rect.left, rect.width, width_) || !Within(rect.top, rect.height, height_)) {
        result.error = PixelReadError::BadRegion;
        return result;
    }
    picture.width = Samples(rect.width, step);
    picture.height = Samples(rect.height, step);
    if (picture.width == 0 || picture.height == 0) return result;

    const Source& s = *source_;
    const BandLayout& layout = s.layout;
    const int colourCount = static_cast<int>(layout.colourBands.size());
    const bool alpha = s.mask != nullptr;
    const int bandCount = colourCount + (alpha ? 1 : 0);
    const std::size_t count = std::size_t(picture.width) * std::size_t(picture.height);
    std::vector<std::uint8_t> samples(count * std::size_t(bandCount));
    std::vector<int> bands = layout.colourBands;

    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_NearestNeighbour;
    const GSpacing line = GSpacing(picture.width) * bandCount;
    CPLErrorReset();
    CPLErr read = GDALDatasetRasterIOEx(s.dataset.get(), GF_Read, rect.left, rect.top, rect.width, rect.height,
                                        samples.data(), picture.width, picture.height, GDT_Byte, colourCount,
                                        bands.data(), bandCount, line, 1, &extra);
    if (read == CE_None && alpha) {
        read = GDALRasterIOEx(s.mask, GF_Read, rect.left, rect.top, rect.width, rect.height,
                              samples.data() + colourCount, picture.width, picture.height, GDT_Byte, bandCount,
                              line, &extra);
    }
    if (read != CE_None) {
        result.error = PixelReadError::ReadFailed;
        return result;
    }

    picture.pixels.resize(count);
    const std::uint8_t* in = samples.data();
    for (std::uint32_t& out : picture.pixels) {
        const std::uint8_t a = s.byNoData ? (ClearByNoData(layout, in) ? 0 : 255) : alpha ? in[colourCount] : 255;
        std::array<std::uint8_t, 3> rgb{in[0], in[0], in[0]};
        if (layout.kind == ColourKind::Palette) {
            // An index beyond the table shows black, as in a bitmap.
            static constexpr std::array<std::uint8_t, 4> Black{0, 0, 0, 255};
            const auto& e = in[0] < layout.palette.size() ? layout.palette[in[0]] : Black;
            rgb = {OverWhite(e[0], e[3]), OverWhite(e[1], e[3]), OverWhite(e[2], e[3])};
        } else if (colourCount == 3) {
            rgb = {in[2], in[1], in[0]};  // the layout lists blue, green, red, as a bitmap stores them
        }
        out = Rgb32(OverWhite(rgb[0], a), OverWhite(rgb[1], a), OverWhite(rgb[2], a));
        in += bandCount;
    }
    return result;
}

}  // namespace kartivo::geoimport
